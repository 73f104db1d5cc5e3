#include "archive/archive.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <tuple>

#include "core/gps_track.h"
#include "core/text_encoding.h"

namespace rovena::archive {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegreesPerRadian = 180 / kPi;

double Radians(double degrees) { return degrees * kPi / 180; }

bool SamePass(const FoundFix& previous, const FoundFix& next) {
  return previous.recording == next.recording && next.picture == previous.picture + 1;
}

}  // namespace

std::vector<Pass> GroupPasses(std::vector<FoundFix> fixes) {
  std::sort(fixes.begin(), fixes.end(), [](const FoundFix& a, const FoundFix& b) {
    return std::tie(a.recording, a.picture) < std::tie(b.recording, b.picture);
  });
  std::vector<Pass> passes;
  for (std::size_t i = 0; i < fixes.size(); ++i) {
    if (i == 0 || !SamePass(fixes[i - 1], fixes[i])) passes.push_back({fixes[i], fixes[i].picture, 0});
    Pass& pass = passes.back();
    pass.lastPicture = fixes[i].picture;
    if (fixes[i].distanceM < pass.closest.distanceM) pass.closest = fixes[i];
  }
  std::stable_sort(passes.begin(), passes.end(), [](const Pass& a, const Pass& b) {
    return a.closest.time.value_or(0) < b.closest.time.value_or(0);
  });
  return passes;
}

std::vector<Pass> Archive::Passes(const PlaceQuery& query) {
  // The back ends' own geometry may round differently by a hair; ask for a metre more and
  // measure every candidate here.
  std::vector<FoundFix> within;
  for (FoundFix& fix : CandidatesNear(query, 1.0)) {
    fix.distanceM = DistanceMetres(query.latitude, query.longitude, fix.latitude, fix.longitude);
    if (fix.distanceM <= query.radiusM) within.push_back(std::move(fix));
  }
  return GroupPasses(std::move(within));
}

std::vector<DrivingEvent> RecordingEvents(const RecordingEntry& entry) {
  std::vector<DriveFix> fixes;
  for (const StoredFix& f : entry.fixes)
    fixes.push_back({f.picture, f.time, f.latitude, f.longitude, f.speedKmh, f.course, f.valid});
  const DriveRecording recording{fixes, entry.info.pictures, false};
  return FindDrivingEvents({&recording, 1});
}

PlaceBox BoxAround(double latitude, double longitude, double metres) {
  const double dLat = metres / kEarthRadiusM * kDegreesPerRadian;
  PlaceBox box{latitude - dLat, latitude + dLat, -180, 180};
  // Near a pole, or across the 180th meridian, the box takes every longitude.
  if (std::abs(latitude) + dLat < 89.9) {
    const double dLon = dLat / std::cos(Radians(std::abs(latitude) + dLat));
    if (longitude - dLon > -180 && longitude + dLon < 180) {
      box.minLon = longitude - dLon;
      box.maxLon = longitude + dLon;
    }
  }
  return box;
}

EventFilter EventConditions(const EventQuery& query, const std::optional<PlaceBox>& box,
                            std::string (*placeholder)(int n)) {
  EventFilter filter{"e.kind = " + placeholder(1), {}};
  const auto add = [&](const char* condition, double value) {
    filter.numbers.push_back(value);
    filter.conditions += std::string(" AND ") + condition + placeholder(static_cast<int>(filter.numbers.size()) + 1);
  };
  if (query.from) add("e.time >= ", *query.from);
  if (query.to) add("e.time <= ", *query.to);
  if (box) {
    add("e.latitude >= ", box->minLat);
    add("e.latitude <= ", box->maxLat);
    add("e.longitude >= ", box->minLon);
    add("e.longitude <= ", box->maxLon);
  }
  return filter;
}

std::vector<FoundEvent> Archive::Events(const EventQuery& query) {
  std::optional<PlaceBox> box;
  // As for passes: a metre more for the back ends' rounding, then measured here.
  if (query.near) box = BoxAround(query.near->latitude, query.near->longitude, query.near->radiusM + 1.0);
  std::vector<FoundEvent> found;
  for (FoundEvent& candidate : EventCandidates(query, box)) {
    const DrivingEvent& e = candidate.event;
    if (query.near && (!e.latitude || !e.longitude ||
                       DistanceMetres(query.near->latitude, query.near->longitude, *e.latitude, *e.longitude) >
                           query.near->radiusM))
      continue;
    found.push_back(std::move(candidate));
  }
  std::sort(found.begin(), found.end(), [](const FoundEvent& a, const FoundEvent& b) {
    const bool untimedA = !a.event.time, untimedB = !b.event.time;
    const double timeA = a.event.time.value_or(0), timeB = b.event.time.value_or(0);
    return std::tie(untimedA, timeA, a.recording, a.event.firstPicture) <
           std::tie(untimedB, timeB, b.recording, b.event.firstPicture);
  });
  return found;
}

std::optional<FoundFix> Archive::ClosestInTime(double time) {
  std::optional<FoundFix> before = NeighbourInTime(time, true);
  std::optional<FoundFix> after = NeighbourInTime(time, false);
  if (!before || !after) return before ? before : after;
  // On a tie the earlier picture wins.
  return time - *before->time <= *after->time - time ? before : after;
}

namespace {

// "scheme://" as URLs begin (RFC 3986: a letter, then letters, digits, "+", "-", ".").
std::optional<std::size_t> SchemeLength(const std::string& url) {
  const std::size_t colon = url.find("://");
  if (colon == std::string::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(url[0]))) return std::nullopt;
  for (std::size_t i = 0; i < colon; ++i)
    if (!std::isalnum(static_cast<unsigned char>(url[i])) && std::string("+-.").find(url[i]) == std::string::npos)
      return std::nullopt;
  return colon;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

bool IsPostgresUrl(const std::string& url) {
  const auto scheme = SchemeLength(url);
  if (!scheme) return false;
  const std::string name = Lower(url.substr(0, *scheme));
  return name == "postgresql" || name == "postgres";
}

std::unique_ptr<Archive> OpenArchive(const std::string& url, Access access) {
  if (const auto scheme = SchemeLength(url)) {
    // libpq knows the scheme only in lower case.
    if (IsPostgresUrl(url)) return OpenPostgresArchive(Lower(url.substr(0, *scheme)) + url.substr(*scheme), access);
    throw ArchiveError(url + ": not an archive URL PostgreSQL understands (postgresql://...); a SQLite archive is named by its file");
  }
  const std::string path = url.empty() ? DefaultArchivePath() : url;
  std::error_code ec;
  if (access == Access::ReadOnly && std::filesystem::status(path, ec).type() == std::filesystem::file_type::not_found)
    throw NoArchive("there is no archive at " + NameText(path) + " yet; rovena-cli index builds it");
  return OpenSqliteArchive(path, access);
}

std::string DefaultArchivePath() {
  const char* data = std::getenv("XDG_DATA_HOME");
  std::string base;
  if (data && data[0] == '/') {
    base = data;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !home[0]) throw ArchiveError("neither XDG_DATA_HOME nor HOME is set; name the archive with --db");
    base = std::string(home) + "/.local/share";
  }
  return base + "/rovena/archive.sqlite";
}

int CheckedSchemaVersion(std::optional<std::int64_t> marker) {
  if (!marker) throw ArchiveError("the archive's schema marker is missing or empty; it is damaged or not Rovena's");
  if (*marker < 0)
    throw ArchiveError("the archive's schema marker says version " + std::to_string(*marker) +
                       ", which no Rovena writes; it is damaged or not Rovena's");
  if (*marker > kSchemaVersion)
    throw ArchiveError("the archive's schema is version " + std::to_string(*marker) + ", newer than this Rovena knows (" +
                       std::to_string(kSchemaVersion) + "); use a newer Rovena");
  return static_cast<int>(*marker);
}

std::string ReadOnlySchemaProblem(const std::string& archive, int found) {
  if (found == 0) return archive + ": not a Rovena archive";
  if (found < kSchemaVersion)
    return "the archive's schema is version " + std::to_string(found) + ", older than this Rovena's (" +
           std::to_string(kSchemaVersion) + "); rovena-cli index brings it up to date";
  return {};
}

}  // namespace rovena::archive
