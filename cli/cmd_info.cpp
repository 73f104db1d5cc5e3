// rovena-cli info: what a user wants to know about a recording before opening it, found by
// walking it picture by picture as the viewer steps. Only the structure is checked: every
// picture is read whole, none is decoded (frames does that), and the output says so.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/cli_commands.h"
#include "core/gps_track.h"
#include "core/nmea.h"
#include "cli/options.h"
#include "cli/recording_input.h"
#include "core/text_encoding.h"

namespace rovena::cli {

namespace {

struct WalkSummary {
  int64_t pictures = 0;
  int64_t withSentence = 0;
  int64_t validFixes = 0;
  std::string firstUtc, lastUtc;  // ISO 8601
  std::string damage;  // why the walk stopped before the end of the file ("" when it did not)
};

// What info vouches for: the damage it reports is damage to the structure only.
constexpr char kChecked[] = "structure (every picture read whole; none decoded)";

const char* FormatName(int format) { return format == kFormatVga ? "640 x 480" : "320 x 240"; }

WalkSummary Walk(Recording& recording) {
  WalkSummary summary;
  PictureWalker walker(recording);
  while (walker.Next()) {
    const NmeaDisplay shown = ParseNmea(walker.Sentence());
    if (!shown.isGprmc) continue;
    ++summary.withSentence;
    if (shown.gpsValid) ++summary.validFixes;
    const std::optional<GpsFix> fix = ParseGprmc(walker.Sentence());
    if (fix && !fix->utc.empty()) {
      if (summary.firstUtc.empty()) summary.firstUtc = fix->utc;
      summary.lastUtc = fix->utc;
    }
  }
  summary.pictures = walker.Number();
  summary.damage = WalkDamage(walker.Outcome());
  return summary;
}

nlohmann::json Nullable(const std::string& text) { return text.empty() ? nlohmann::json() : nlohmann::json(text); }

void PrintText(const std::string& path, int format, std::int64_t length, const WalkSummary& summary) {
  std::printf("file: %s\n", NameText(path).c_str());
  std::printf("frame format: %s\n", FormatName(format));
  std::printf("length: %lld bytes\n", static_cast<long long>(length));
  std::printf("pictures: %lld\n", static_cast<long long>(summary.pictures));
  std::printf("gps sentences: %lld\n", static_cast<long long>(summary.withSentence));
  std::printf("valid fixes: %lld\n", static_cast<long long>(summary.validFixes));
  std::printf("checked: %s\n", kChecked);
  if (!summary.firstUtc.empty()) {
    std::printf("first gps time: %s\n", summary.firstUtc.c_str());
    std::printf("last gps time: %s\n", summary.lastUtc.c_str());
  }
}

void PrintJson(const std::string& path, int format, std::int64_t length, const WalkSummary& summary) {
  const nlohmann::json info = {
      {"file", NameText(path)},
      {"width", format == kFormatVga ? 640 : 320},
      {"height", format == kFormatVga ? 480 : 240},
      {"length_bytes", length},
      {"pictures", summary.pictures},
      {"gps_sentences", summary.withSentence},
      {"valid_fixes", summary.validFixes},
      {"first_gps_time", Nullable(summary.firstUtc)},
      {"last_gps_time", Nullable(summary.lastUtc)},
      {"checked", kChecked},
      {"damage", Nullable(summary.damage)},
  };
  std::printf("%s\n", info.dump(2).c_str());
}

}  // namespace

int RunInfo(const std::vector<std::string>& argv) {
  CommandReport report("info");
  const ParsedArgs args = ParseArgs(argv, "info");
  if (!args.error.empty()) return report.Usage(args.error);
  if (args.positional.size() != 1) return report.Usage("name one recording");
  const std::string& path = args.positional[0];
  Recording recording;
  int format = kFormatNone;
  if (const std::string error = OpenRecording(recording, path, &format); !error.empty())
    return report.Fail(NameText(path) + ": " + error);

  const WalkSummary summary = Walk(recording);
  if (args.Flag("--json"))
    PrintJson(path, format, recording.FileLen, summary);
  else
    PrintText(path, format, recording.FileLen, summary);
  return report.Finish(summary.damage.empty(), NameText(path) + ": " + summary.damage);
}

}  // namespace rovena::cli
