// rovena-cli export: a stretch of a recording as an MP4 anyone can play, with time, speed and
// place drawn in, subtitles, a GPX track and an integrity record; and verify-export, which
// re-checks the hashes of such a record.
#include <algorithm>
#include <charconv>
#include <filesystem>
#include <optional>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "export/clip_export.h"
#include "cli/cli_commands.h"
#include "cli/drive_input.h"
#include "cli/export_redaction.h"
#include "core/ini_config.h"
#include "core/text_encoding.h"
#include "core/time_zone.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "cli/stretch_range.h"

namespace rovena::cli {
namespace {

// Seconds per picture, from a millisecond (the clip's time base: a shorter pace would give
// pictures the same time) to an hour.
std::optional<double> Pace(const std::string& text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !(value >= 0.001) || value > 3600) return std::nullopt;
  return value;
}

// Seconds of --before and --after: from 0 up to an hour, 10 when not given.
std::optional<double> Margin(const ParsedArgs& args, const std::string& name) {
  const std::string text = args.Option(name).value_or("10");
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !(value >= 0) || value > 3600) return std::nullopt;
  return value;
}

// --event N: the stretch around event N of the drive, numbered as `events` numbers them
// (with the same --limit), from --before seconds ahead of it to --after seconds past it.
std::string EventRanges(const ParsedArgs& args, CommandReport& report, std::vector<exporting::SourceRange>& ranges,
                        InputFiles& inputs, bool& usage) {
  usage = true;
  const auto number = PositiveNumber(*args.Option("--event"));
  const auto before = Margin(args, "--before"), after = Margin(args, "--after");
  const auto thresholds = ThresholdsOption(args);
  if (args.positional.size() != 1) return "name one recording or folder";
  if (args.Option("--from") || args.Option("--to")) return "--event goes without --from and --to";
  if (!number) return "--event takes an event's number as `events` lists it";
  if (!before || !after) return "--before and --after take seconds, from 0 to 3600";
  if (!thresholds) return kLimitUsage;
  usage = false;
  Drive drive;
  bool whole = true;
  if (std::string error = ReadDrive(args.positional[0], args.Flag("--quiet"), report, drive, whole); !error.empty())
    return error;
  // Every recording of the drive is an input, not only those around the event.
  inputs = InputFiles(drive.paths);
  const std::vector<EventRow> events = NumberedEvents(drive, *thresholds);
  if (*number > static_cast<long long>(events.size()))
    return "there is no event " + std::to_string(*number) + " (" + std::to_string(events.size()) + " found)";
  const auto [from, to] = StretchAround(drive.recordings, events[*number - 1].event, *before, *after);
  for (std::size_t r = from.recording; r <= to.recording; ++r)
    ranges.push_back({drive.paths[r], r == from.recording ? from.picture : 1, r == to.recording ? to.picture : 0});
  return {};
}

// The pictures to export: around an event, or as --from and --to name them.
std::string ExportRanges(const ParsedArgs& args, CommandReport& report, std::vector<exporting::SourceRange>& ranges,
                         InputFiles& inputs, bool& usage) {
  if (args.Option("--event")) return EventRanges(args, report, ranges, inputs, usage);
  usage = true;
  if (args.Option("--before") || args.Option("--after") || args.Option("--limit"))
    return "--before, --after and --limit go with --event";
  return ReadRanges(args, ranges, inputs, usage);
}

// Fills `request` from the options other than the pictures; returns the reason when they are
// not understood.
std::string ReadOptions(const ParsedArgs& args, exporting::ExportRequest& request) {
  const auto output = args.Option("-o");
  if (!output || output->empty()) return "name the MP4 with -o";
  const auto overlay = exporting::ParseOverlayList(args.Option("--overlay").value_or("time,speed"));
  if (!overlay) return "--overlay takes time, speed and position separated by commas, or none";
  const auto band = exporting::ParseBandPlace(args.Option("--band").value_or("below"));
  if (!band) return "--band takes below or over";
  if (const auto zone = args.Option("--tz")) {
    std::string error;
    const auto named = TimeZone::Named(*zone, error);
    if (!named) return "--tz: " + error;
    request.zone = *named;
  } else {
    request.zone = TimeZone::Local();
  }
  const auto scale = NumberInRange(args.Option("--scale").value_or("1"), 1, 2);
  if (!scale) return "--scale takes 1 or 2";
  const auto crf = NumberInRange(args.Option("--crf").value_or("18"), 0, 51);
  if (!crf) return "--crf takes a number from 0 to 51";
  const std::optional<int> jobs = JobsOption(args);
  if (!jobs) return kJobsUsage;
  if (const auto pace = args.Option("--pace")) {
    request.pace = Pace(*pace);
    if (!request.pace) return "--pace takes seconds per picture, from 0.001 to 3600";
  }
  request.output = *output;
  request.overlay = *overlay;
  request.band = *band;
  request.scale = static_cast<int>(*scale);
  request.crf = static_cast<int>(*crf);
  request.jobs = static_cast<int>(*jobs);
  request.sidecars = !args.Flag("--no-sidecars");
  request.ifExists = ReplaceChoice(args);
  request.playInterval = DefaultIniSettings().PlayInterval;
  return {};
}

std::string Duration(double seconds) {
  const long long ms = static_cast<long long>(seconds * 1000 + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60,
                ms % 1000);
  return text;
}

}  // namespace

int RunExport(const std::vector<std::string>& argv) {
  CommandReport report("export");
  const ParsedArgs args = ParseArgs(argv, "export");
  if (!args.error.empty()) return report.Usage(args.error);
  exporting::ExportRequest request;
  if (const std::string why = ReadOptions(args, request); !why.empty()) return report.Usage(why);
  bool usage = false;
  InputFiles inputs;
  if (const std::string why = ExportRanges(args, report, request.ranges, inputs, usage); !why.empty())
    return usage ? report.Usage(why) : report.Fail(why);
  if (const auto redaction = args.Option("--redact"))
    if (const std::string why = AddRedaction(*redaction, request); !why.empty()) return report.Fail(why);
  request.arguments = argv;
  request.arguments.insert(request.arguments.begin(), {"rovena-cli", "export"});

  // Drawn once the stretch has been found and its pictures counted.
  std::optional<Progress> progress;
  const exporting::ExportResult result = exporting::ExportClip(request, [&](std::int64_t done, std::int64_t total) {
    if (total > 0 && !progress) progress.emplace(args.Flag("--quiet"), total, "pictures");
    if (progress) progress->Update(done, done);
    return true;
  });
  if (progress) progress->Finish();
  // Nothing was written on a failure, so there is no clip for the damage to be passed over in.
  if (!result.error.empty()) return report.Fail(result.error);
  for (const exporting::DamagedPicture& damaged : result.damaged)
    report.Warn(NameText(damaged.recording) + ": picture " + std::to_string(damaged.number) + " (byte " +
                std::to_string(damaged.position) + ") could not be decoded; the picture before it is shown for its time");
  std::printf("%s: %lld pictures, %s long; %s\n", NameText(request.output).c_str(), static_cast<long long>(result.pictures),
              Duration(result.seconds).c_str(), RateText(progress ? progress->Elapsed() : 0, result.pictures, "pictures").c_str());
  for (std::size_t i = 1; i < result.written.size(); ++i) std::printf("%s\n", NameText(result.written[i]).c_str());
  return report.Finish(true);
}

namespace {

// Whether none of the record's sources is here: the receiver of a clip has only the outputs.
bool NoSourceHere(const std::vector<exporting::FileCheck>& checks) {
  return std::none_of(checks.begin(), checks.end(), [](const exporting::FileCheck& check) {
    return check.role == "source" && check.outcome != exporting::FileCheck::Outcome::Missing;
  });
}

}  // namespace

int RunVerifyExport(const std::vector<std::string>& argv) {
  CommandReport report("verify-export");
  const ParsedArgs args = ParseArgs(argv, "verify-export");
  if (!args.error.empty()) return report.Usage(args.error);
  if (args.positional.size() != 1) return report.Usage("name one integrity record");
  const bool outputsOnly = args.Flag("--outputs-only");
  std::vector<exporting::FileCheck> checks;
  if (const std::string error = exporting::VerifyRecord(args.positional[0], checks, outputsOnly); !error.empty())
    return report.Fail(error);
  if (!outputsOnly && NoSourceHere(checks)) {
    std::printf("no source recording is here: the outputs alone are checked against the record\n");
    std::erase_if(checks, [](const exporting::FileCheck& check) { return check.role == "source"; });
  }
  bool allMatch = true;
  for (const exporting::FileCheck& check : checks) {
    using Outcome = exporting::FileCheck::Outcome;
    // The boxes file stays with whoever reviewed it; a receiver of the clip alone has none.
    if (check.role == "boxes" && check.outcome == Outcome::Missing) {
      std::printf("boxes %s: not here; its hash is not checked\n", NameText(check.path).c_str());
      continue;
    }
    const char* outcome = check.outcome == Outcome::Match ? "matches" : check.outcome == Outcome::Mismatch ? "DIFFERS" : "MISSING";
    std::printf("%s %s: %s\n", check.role.c_str(), NameText(check.path).c_str(), outcome);
    allMatch = allMatch && check.outcome == Outcome::Match;
  }
  return report.Finish(allMatch, "not every file matches its record");
}

}  // namespace rovena::cli
