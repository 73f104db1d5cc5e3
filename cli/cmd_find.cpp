// rovena-cli find: the passes of the archive's recordings near a place (optionally within a
// time range), the picture recorded closest to a moment, or the driving events of one kind,
// as text, CSV or JSON.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/archive_time.h"
#include "cli/cli_commands.h"
#include "cli/event_output.h"
#include "cli/options.h"
#include "cli/text_fields.h"
#include "core/text_encoding.h"

namespace rovena::cli {
namespace {

using archive::Pass;

std::optional<double> Decimal(const std::string& text) {
  double v = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

// "LAT,LON" in signed decimal degrees.
bool ParsePlace(const std::string& text, archive::PlaceQuery& query) {
  const std::size_t comma = text.find(',');
  if (comma == std::string::npos) return false;
  const auto lat = Decimal(text.substr(0, comma)), lon = Decimal(text.substr(comma + 1));
  if (!lat || !lon || std::abs(*lat) > 90 || std::abs(*lon) > 180) return false;
  query.latitude = *lat;
  query.longitude = *lon;
  return true;
}

std::string Fixed(const std::optional<double>& v, int decimals) {
  if (!v) return "";
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", decimals, *v);
  return text;
}

std::string Time(const archive::FoundFix& fix) { return fix.time ? archive::IsoTime(*fix.time) : ""; }

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string JsonNumber(const std::optional<double>& v, int decimals) { return v ? Fixed(v, decimals) : "null"; }

// A search by time has no distance.
std::string Text(const std::vector<Pass>& passes, bool byPlace) {
  std::string out;
  for (const Pass& p : passes) {
    const archive::FoundFix& c = p.closest;
    out += Time(c) + "  " + NameText(c.recording) + "  picture " + std::to_string(c.picture) + " at byte " +
           std::to_string(c.position);
    if (byPlace) out += " (pictures " + std::to_string(p.firstPicture) + "-" + std::to_string(p.lastPicture) + ")";
    out += c.speedKmh ? "  " + Fixed(c.speedKmh, 1) + " km/h" : "";
    out += byPlace ? "  " + Fixed(c.distanceM, 1) + " m" : "";
    out += "\n  Rovena --at " + ShellWord(c.recording + ":" + std::to_string(c.picture)) + "\n";
  }
  return out;
}

std::string Csv(const std::vector<Pass>& passes, bool byPlace) {
  std::string out = "recording,picture,position,time,speed_kmh,distance_m,first_picture,last_picture\n";
  for (const Pass& p : passes) {
    const archive::FoundFix& c = p.closest;
    out += CsvField(NameText(c.recording)) + ',' + std::to_string(c.picture) + ',' + std::to_string(c.position) + ',' + Time(c) +
           ',' + Fixed(c.speedKmh, 1) + ',' + (byPlace ? Fixed(c.distanceM, 1) : "") + ',' +
           std::to_string(p.firstPicture) + ',' + std::to_string(p.lastPicture) + '\n';
  }
  return out;
}

std::string Json(const std::vector<Pass>& passes, bool byPlace) {
  std::string out = "[";
  for (const Pass& p : passes) {
    const archive::FoundFix& c = p.closest;
    out += std::string(out.size() > 1 ? ",\n " : "\n ") + "{\"recording\": " + JsonString(NameText(c.recording)) +
           ", \"picture\": " + std::to_string(c.picture) + ", \"position\": " + std::to_string(c.position) +
           ", \"time\": " + (c.time ? JsonString(Time(c)) : "null") + ", \"speed_kmh\": " + JsonNumber(c.speedKmh, 1) +
           ", \"distance_m\": " + (byPlace ? JsonNumber(c.distanceM, 1) : "null") +
           ", \"first_picture\": " + std::to_string(p.firstPicture) +
           ", \"last_picture\": " + std::to_string(p.lastPicture) + "}";
  }
  return out + (passes.empty() ? "]\n" : "\n]\n");
}

// --near with --radius, and --from and --to, into `query`; returns why they are wrong.
std::string ReadPlaceAndTimes(const ParsedArgs& args, archive::PlaceQuery& query) {
  if (auto near = args.Option("--near"))
    if (!ParsePlace(*near, query)) return "--near takes LAT,LON in decimal degrees, latitude -90 to 90, longitude -180 to 180";
  if (auto radius = args.Option("--radius")) {
    const auto metres = Decimal(*radius);
    if (!metres || *metres <= 0 || *metres > 1e6) return "--radius takes metres, more than 0 up to 1000000";
    if (!args.Option("--near")) return "--radius goes with --near";
    query.radiusM = *metres;
  }
  for (const auto& [name, bound] : {std::pair{"--from", &query.from}, std::pair{"--to", &query.to}})
    if (auto text = args.Option(name))
      if (!(*bound = archive::ParseIsoTime(*text))) return std::string(name) + " takes an ISO 8601 UTC time such as 2007-06-14T14:05:00Z";
  if (query.from && query.to && *query.from > *query.to) return "--from lies after --to";
  return {};
}

// Writes the listing; an empty one is no failure, but standard error says so, in every format.
int Emit(const std::string& out, std::size_t found, const std::string& what, const CommandReport& report) {
  if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0)
    return report.Fail("cannot write the output");
  if (found == 0) report.Note("0 " + what + " found");
  return kExitDone;
}

std::string KindList() {
  std::string names;
  for (EventKind kind : kAllEventKinds)
    if (kind != EventKind::kSpeeding) names += (names.empty() ? "" : ", ") + std::string(EventKindName(kind));
  return names;
}

// find --event KIND: the stored events of that kind, optionally near a place and in a time range.
int FindEvents(const ParsedArgs& args, const std::string& format, const CommandReport& report) {
  const std::optional<EventKind> kind = EventKindFromName(*args.Option("--event"));
  if (kind == EventKind::kSpeeding)
    return report.Usage("speeding depends on a limit, so the archive does not keep it; "
                        "rovena-cli events RECORDING|DIR --limit KMH lists it");
  if (!kind) return report.Usage("--event takes one of " + KindList());
  if (args.Option("--at")) return report.Usage("--event goes without --at");
  archive::PlaceQuery place;
  if (const std::string why = ReadPlaceAndTimes(args, place); !why.empty()) return report.Usage(why);
  archive::EventQuery query{*kind, std::nullopt, place.from, place.to};
  if (args.Option("--near")) query.near = place;

  std::vector<EventRow> rows;
  try {
    const auto store = archive::OpenArchive(args.Option("--db").value_or(""), archive::Access::ReadOnly);
    for (archive::FoundEvent& found : store->Events(query))
      rows.push_back({std::nullopt, found.event, found.recording, found.recording});
  } catch (const archive::ArchiveError& e) {
    return report.Fail(e.what());
  }
  return Emit(FormatEvents(rows, format), rows.size(), "events", report);
}

}  // namespace

int RunFind(const std::vector<std::string>& argv) {
  CommandReport report("find");
  const ParsedArgs args = ParseArgs(argv, "find");
  if (!args.error.empty()) return report.Usage(args.error);
  if (!args.positional.empty()) return report.Usage("unexpected argument '" + args.positional[0] + "'");
  const std::string format = args.Option("--format").value_or("text");
  if (format != "text" && format != "csv" && format != "json") return report.Usage("unknown format '" + format + "'");
  if (args.Option("--event")) return FindEvents(args, format, report);
  const bool byPlace = args.Option("--near").has_value();
  if (byPlace == args.Option("--at").has_value()) return report.Usage("give either --near or --at");

  archive::PlaceQuery query;
  std::optional<double> at;
  if (byPlace) {
    if (const std::string why = ReadPlaceAndTimes(args, query); !why.empty()) return report.Usage(why);
  } else {
    if (args.Option("--radius") || args.Option("--from") || args.Option("--to"))
      return report.Usage("--at goes alone, without --radius, --from or --to");
    if (!(at = archive::ParseIsoTime(*args.Option("--at")))) return report.Usage("--at takes an ISO 8601 UTC time such as 2007-06-14T14:05:00Z");
  }

  std::vector<Pass> passes;
  try {
    const auto store = archive::OpenArchive(args.Option("--db").value_or(""), archive::Access::ReadOnly);
    if (byPlace) {
      passes = store->Passes(query);
    } else if (auto fix = store->ClosestInTime(*at)) {
      passes.push_back({*fix, fix->picture, fix->picture});
    }
  } catch (const archive::ArchiveError& e) {
    return report.Fail(e.what());
  }
  return Emit(format == "json" ? Json(passes, byPlace) : format == "csv" ? Csv(passes, byPlace) : Text(passes, byPlace),
              passes.size(), byPlace ? "passes" : "pictures", report);
}

}  // namespace rovena::cli
