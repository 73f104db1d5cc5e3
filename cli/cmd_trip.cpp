// rovena-cli trip: the recordings of a folder in driving order, the gaps between them and a
// summary, as a table, CSV or JSON. By default every picture is read, so counts and distance
// are exact; --quick reads a few pictures at each end of each recording and estimates the count.
// Recordings that overlap in time are listed as overlaps, and their shared time counted once.
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/cli_commands.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "core/recording.h"
#include "core/text_encoding.h"
#include "core/trip.h"
#include "cli/trip_scan.h"

namespace rovena::cli {
namespace {

// Keys keep the order they are written in, so the file reads in the documented order.
using json = nlohmann::ordered_json;

const char* FormatName(int format) { return format == kFormatVga ? "VGA" : "CIF"; }

std::string FixTime(const std::optional<GpsFix>& fix) { return fix ? fix->utc : std::string(); }

std::optional<double> Length(const TripRecording& r) {
  if (!r.HasFix()) return std::nullopt;
  return r.lastFix->utcSeconds - r.firstFix->utcSeconds;
}

std::string Duration(std::optional<double> seconds) {
  if (!seconds) return "unknown";
  const long long s = std::llround(std::max(0.0, *seconds));
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  return text;
}

std::string Number(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string Pictures(std::int64_t count, bool exact) { return (exact ? "" : "~") + std::to_string(count); }

// What lies between recording `index` and the next one, as a row of the table.
std::string JoinRow(const Trip& trip, std::size_t index) {
  if (const TripGap* gap = trip.GapAfter(index)) return "      gap " + Duration(gap->seconds) + "\n";
  if (const TripOverlap* overlap = trip.OverlapAfter(index))
    return "      overlap " + Duration(overlap->seconds) + " with " + NameText(trip.Recordings()[overlap->earlier].name) + "\n";
  return {};
}

// "gaps 00:04:12", "gaps 00:04:12 and 2 of unknown length", "gaps 2 of unknown length".
std::string GapsText(const TripTotals& t) {
  const std::string unknown = std::to_string(t.unknownGaps) + " of unknown length";
  if (t.unknownGaps == 0) return "gaps " + Duration(t.gapSeconds);
  return "gaps " + (t.gapSeconds > 0 ? Duration(t.gapSeconds) + " and " + unknown : unknown);
}

std::string Text(const Trip& trip) {
  const auto& all = trip.Recordings();
  std::string out;
  char line[512];
  std::snprintf(line, sizeof line, "%4s  %-24s %-6s %8s  %-24s %-24s %s\n", "#", "name", "format", "pictures",
                "first fix", "last fix", "length");
  out += line;
  for (std::size_t i = 0; i < all.size(); ++i) {
    const TripRecording& r = all[i];
    std::snprintf(line, sizeof line, "%4zu  %-24s %-6s %8s  %-24s %-24s %s\n", i + 1, NameText(r.name).c_str(),
                  FormatName(r.format), Pictures(r.pictures, r.picturesExact).c_str(),
                  r.HasFix() ? r.firstFix->utc.c_str() : "-", r.HasFix() ? r.lastFix->utc.c_str() : "-",
                  Duration(Length(r)).c_str());
    out += line;
    out += JoinRow(trip, i);
  }
  for (const SkippedFile& s : trip.Skipped()) out += "skipped " + NameText(s.name) + ": " + s.reason + "\n";
  const TripTotals t = trip.Totals();
  out += "recordings " + std::to_string(all.size()) + ", pictures " + Pictures(t.pictures, t.picturesExact) +
         ", time " + Duration(t.seconds) + ", " + GapsText(t) +
         (trip.Overlaps().empty() ? "" : ", overlaps " + Duration(t.overlapSeconds)) + ", distance " +
         (t.distanceKm ? Number(*t.distanceKm, 2) + " km" : "not measured (--quick)") + "\n";
  return out;
}

std::string Optional(const std::optional<double>& value, int decimals) {
  return value ? Number(*value, decimals) : std::string();
}

std::string Csv(const Trip& trip) {
  const auto& all = trip.Recordings();
  std::string out = "type,name,format,pictures,first_fix,last_fix,seconds,distance_km\n";
  for (std::size_t i = 0; i < all.size(); ++i) {
    const TripRecording& r = all[i];
    out += "recording," + CsvField(NameText(r.name)) + "," + FormatName(r.format) + "," + std::to_string(r.pictures) + "," +
           FixTime(r.firstFix) + "," + FixTime(r.lastFix) + "," + Optional(Length(r), 3) + "," +
           Optional(r.distanceKm, 3) + "\n";
    if (const TripGap* gap = trip.GapAfter(i)) out += "gap,,,,,," + Optional(gap->seconds, 3) + ",\n";
    if (const TripOverlap* overlap = trip.OverlapAfter(i))
      out += "overlap," + CsvField(NameText(all[overlap->earlier].name)) + ",,,,," + Number(overlap->seconds, 3) + ",\n";
  }
  const TripTotals t = trip.Totals();
  out += "gaps,,,,,," + Number(t.gapSeconds, 3) + ",\n";
  if (!trip.Overlaps().empty()) out += "overlaps,,,,,," + Number(t.overlapSeconds, 3) + ",\n";
  out += "total,,," + std::to_string(t.pictures) + ",,," + Number(t.seconds, 3) + "," +
         Optional(t.distanceKm, 3) + "\n";
  return out;
}

json FixJson(const std::optional<GpsFix>& fix) { return fix ? json(fix->utc) : json(nullptr); }
json NumberJson(const std::optional<double>& value) { return value ? json(*value) : json(nullptr); }

std::string Json(const Trip& trip) {
  const auto& all = trip.Recordings();
  json recordings = json::array(), gaps = json::array(), overlaps = json::array(), skipped = json::array();
  for (const TripRecording& r : all)
    recordings.push_back({{"name", NameText(r.name)}, {"path", NameText(r.path)}, {"format", FormatName(r.format)},
                          {"pictures", r.pictures}, {"first_fix", FixJson(r.firstFix)},
                          {"last_fix", FixJson(r.lastFix)}});
  for (const TripGap& g : trip.Gaps())
    gaps.push_back({{"after", NameText(all[g.after].name)}, {"before", NameText(all[g.after + 1].name)},
                    {"seconds", NumberJson(g.seconds)}});
  for (const TripOverlap& o : trip.Overlaps())
    overlaps.push_back({{"earlier", NameText(all[o.earlier].name)}, {"later", NameText(all[o.later].name)},
                        {"seconds", o.seconds}});
  for (const SkippedFile& s : trip.Skipped()) skipped.push_back({{"name", NameText(s.name)}, {"reason", s.reason}});
  const TripTotals t = trip.Totals();
  const json summary = {{"recordings", trip.Size()},     {"pictures", t.pictures},
                        {"pictures_exact", t.picturesExact}, {"seconds", t.seconds},
                        {"gap_seconds", t.gapSeconds},   {"unknown_gaps", t.unknownGaps},
                        {"overlap_seconds", t.overlapSeconds}, {"distance_km", NumberJson(t.distanceKm)}};
  const json out = {{"recordings", recordings}, {"gaps", gaps}, {"overlaps", overlaps}, {"skipped", skipped},
                    {"summary", summary}};
  // Names are in their text form and reasons are ours; replacing stray bytes keeps a system
  // message from throwing all the same.
  return out.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace

Trip ScanTrip(const std::string& folder, bool walkWhole, bool quiet, std::string* error) {
  TripScanOptions options;
  options.walkWhole = walkWhole;
  std::optional<Progress> progress;  // made once the number of files is known
  options.progress = [&](std::size_t done, std::size_t total) {
    if (!progress) progress.emplace(quiet, static_cast<std::int64_t>(total), "files");
    progress->Update(static_cast<std::int64_t>(done), static_cast<std::int64_t>(done));
  };
  Trip trip = Trip::Scan(folder, options, error);
  if (progress) progress->Finish();
  return trip;
}

int RunTrip(const std::vector<std::string>& argv) {
  CommandReport report("trip");
  const ParsedArgs args = ParseArgs(argv, "trip");
  if (!args.error.empty()) return report.Usage(args.error);
  if (args.positional.size() != 1) return report.Usage("name one folder");
  const std::string format = args.Option("--format").value_or("text");
  if (format != "text" && format != "csv" && format != "json") return report.Usage("unknown format '" + format + "'");

  const std::string& folder = args.positional[0];
  const bool walkWhole = !args.Flag("--quick");
  std::string error;
  const Trip trip = ScanTrip(folder, walkWhole, args.Flag("--quiet"), &error);
  if (!error.empty()) return report.Fail(NameText(folder) + ": " + error);
  for (const TripRecording& r : trip.Recordings())
    if (walkWhole && !r.picturesExact)
      report.Warn(NameText(r.name) + ": damaged; its picture count is estimated across the damage, its distance leaves it out");

  const std::string text = format == "json" ? Json(trip) : format == "csv" ? Csv(trip) : Text(trip);
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
    return report.Fail("cannot write the listing");
  return report.Finish(!trip.Empty(), "no recordings in " + NameText(folder));
}

}  // namespace rovena::cli
