// rovena-cli trip: the recordings of a folder in driving order, the gaps between them and a
// summary, as a table, CSV or JSON. By default every picture is read, so counts and distance
// are exact; --quick reads a few pictures at each end of each recording and estimates the count.
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

struct Totals {
  std::int64_t pictures = 0;
  bool picturesExact = true;
  double seconds = 0;     // sum of the recordings' lengths
  double gapSeconds = 0;  // sum of the gaps of known length
  std::optional<double> distanceKm = 0;
};

Totals Summarise(const Trip& trip) {
  Totals t;
  for (const TripRecording& r : trip.Recordings()) {
    t.pictures += r.pictures;
    t.picturesExact = t.picturesExact && r.picturesExact;
    t.seconds += Length(r).value_or(0);
    if (!r.distanceKm) t.distanceKm.reset();
    if (t.distanceKm) *t.distanceKm += *r.distanceKm;
  }
  for (const TripGap& g : trip.Gaps()) t.gapSeconds += g.seconds.value_or(0);
  return t;
}

std::string Pictures(std::int64_t count, bool exact) { return (exact ? "" : "~") + std::to_string(count); }

std::string Text(const Trip& trip) {
  const auto& all = trip.Recordings();
  std::string out;
  char line[512];
  std::snprintf(line, sizeof line, "%4s  %-24s %-6s %8s  %-24s %-24s %s\n", "#", "name", "format", "pictures",
                "first fix", "last fix", "length");
  out += line;
  for (std::size_t i = 0; i < all.size(); ++i) {
    const TripRecording& r = all[i];
    std::snprintf(line, sizeof line, "%4zu  %-24s %-6s %8s  %-24s %-24s %s\n", i + 1, r.name.c_str(),
                  FormatName(r.format), Pictures(r.pictures, r.picturesExact).c_str(),
                  r.HasFix() ? r.firstFix->utc.c_str() : "-", r.HasFix() ? r.lastFix->utc.c_str() : "-",
                  Duration(Length(r)).c_str());
    out += line;
    if (const TripGap* gap = trip.GapAfter(i)) out += "      gap " + Duration(gap->seconds) + "\n";
  }
  for (const SkippedFile& s : trip.Skipped()) out += "skipped " + s.name + ": " + s.reason + "\n";
  const Totals t = Summarise(trip);
  out += "recordings " + std::to_string(all.size()) + ", pictures " + Pictures(t.pictures, t.picturesExact) +
         ", time " + Duration(t.seconds) + ", gaps " + Duration(t.gapSeconds) + ", distance " +
         (t.distanceKm ? Number(*t.distanceKm, 2) + " km" : "not measured (--quick)") + "\n";
  return out;
}

// Names with a comma, quote or line end are quoted; names that are not UTF-8 are made so.
std::string CsvField(const std::string& name) {
  const std::string text = ToValidUtf8(name);
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

std::string Optional(const std::optional<double>& value, int decimals) {
  return value ? Number(*value, decimals) : std::string();
}

std::string Csv(const Trip& trip) {
  const auto& all = trip.Recordings();
  std::string out = "type,name,format,pictures,first_fix,last_fix,seconds,distance_km\n";
  for (std::size_t i = 0; i < all.size(); ++i) {
    const TripRecording& r = all[i];
    out += "recording," + CsvField(r.name) + "," + FormatName(r.format) + "," + std::to_string(r.pictures) + "," +
           FixTime(r.firstFix) + "," + FixTime(r.lastFix) + "," + Optional(Length(r), 3) + "," +
           Optional(r.distanceKm, 3) + "\n";
    if (const TripGap* gap = trip.GapAfter(i)) out += "gap,,,,,," + Optional(gap->seconds, 3) + ",\n";
  }
  const Totals t = Summarise(trip);
  out += "gaps,,,,,," + Number(t.gapSeconds, 3) + ",\n";
  out += "total,,," + std::to_string(t.pictures) + ",,," + Number(t.seconds, 3) + "," +
         Optional(t.distanceKm, 3) + "\n";
  return out;
}

json FixJson(const std::optional<GpsFix>& fix) { return fix ? json(fix->utc) : json(nullptr); }
json NumberJson(const std::optional<double>& value) { return value ? json(*value) : json(nullptr); }

std::string Json(const Trip& trip) {
  json recordings = json::array(), gaps = json::array(), skipped = json::array();
  for (const TripRecording& r : trip.Recordings())
    recordings.push_back({{"name", ToValidUtf8(r.name)}, {"path", ToValidUtf8(r.path)}, {"format", FormatName(r.format)},
                          {"pictures", r.pictures}, {"first_fix", FixJson(r.firstFix)},
                          {"last_fix", FixJson(r.lastFix)}});
  for (const TripGap& g : trip.Gaps())
    gaps.push_back({{"after", ToValidUtf8(trip.Recordings()[g.after].name)},
                    {"before", ToValidUtf8(trip.Recordings()[g.after + 1].name)},
                    {"seconds", NumberJson(g.seconds)}});
  for (const SkippedFile& s : trip.Skipped()) skipped.push_back({{"name", ToValidUtf8(s.name)}, {"reason", s.reason}});
  const Totals t = Summarise(trip);
  const json summary = {{"recordings", trip.Size()},     {"pictures", t.pictures},
                        {"pictures_exact", t.picturesExact}, {"seconds", t.seconds},
                        {"gap_seconds", t.gapSeconds},   {"distance_km", NumberJson(t.distanceKm)}};
  const json all = {{"recordings", recordings}, {"gaps", gaps}, {"skipped", skipped}, {"summary", summary}};
  // The names are valid UTF-8 already; replacing stray bytes keeps a system message from throwing.
  return all.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
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
  const ParsedArgs args = ParseArgs(argv, {"--format"}, {"--quick"});
  if (!args.error.empty()) return report.Usage(args.error);
  if (args.positional.size() != 1) return report.Usage("name one folder");
  const std::string format = args.Option("--format").value_or("text");
  if (format != "text" && format != "csv" && format != "json") return report.Usage("unknown format '" + format + "'");

  const std::string& folder = args.positional[0];
  const bool walkWhole = !args.Flag("--quick");
  std::string error;
  const Trip trip = ScanTrip(folder, walkWhole, args.Flag("--quiet"), &error);
  if (!error.empty()) return report.Fail(folder + ": " + error);
  for (const TripRecording& r : trip.Recordings())
    if (walkWhole && !r.picturesExact)
      report.Warn(r.name + ": damaged; its picture count is estimated across the damage, its distance leaves it out");

  const std::string text = format == "json" ? Json(trip) : format == "csv" ? Csv(trip) : Text(trip);
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
    return report.Fail("cannot write the listing");
  return report.Finish(!trip.Empty(), "no recordings in " + folder);
}

}  // namespace rovena::cli
