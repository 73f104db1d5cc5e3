#include "core/time_zone.h"

#include <absl/time/time.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace rovena {

struct TimeZone::Database {
  absl::TimeZone zone;
};

namespace {

namespace chrono = std::chrono;

struct Type {
  int offsetSeconds = 0;
  std::string abbreviation;
};

std::string ZoneFolder() {
  const char* folder = std::getenv("TZDIR");
  return folder && *folder ? folder : "/usr/share/zoneinfo";
}

// Names of the database are made of these, in parts separated by '/', none of them "." or "..".
// The library would also open paths and its own made-up zones ("Fixed/UTC+01:00:00").
bool LooksLikeZoneName(const std::string& name) {
  if (name.empty() || name.front() == '/' || name.back() == '/') return false;
  for (char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '/' && c != '_' && c != '-' && c != '+') return false;
  return name.find("//") == std::string::npos && name.front() != '-';
}

// The machine's zone by the name $TZ or /etc/localtime gives it.
std::string LocalName() {
  if (const char* tz = std::getenv("TZ")) {
    const std::string text = *tz == ':' ? tz + 1 : tz;
    return text.empty() ? "UTC" : text;
  }
  // A link into the database names the zone: /etc/localtime -> /usr/share/zoneinfo/Europe/Warsaw.
  std::error_code ignored;
  const std::string target = std::filesystem::read_symlink("/etc/localtime", ignored).string();
  const std::size_t folder = target.rfind("zoneinfo/");
  return folder == std::string::npos ? "localtime" : target.substr(folder + 9);
}

// localtime_r is safe beside other threads once tzset has read $TZ, which Local() does.
Type LocalTypeAt(std::int64_t utcSeconds) {
  const std::time_t when = utcSeconds;
  std::tm tm{};
  if (!localtime_r(&when, &tm)) return {0, "UTC"};
  return {static_cast<int>(tm.tm_gmtoff), tm.tm_zone ? tm.tm_zone : ""};
}

}  // namespace

std::optional<TimeZone> TimeZone::Named(const std::string& name, std::string& error) {
  absl::TimeZone zone;
  if (!LooksLikeZoneName(name) || !absl::LoadTimeZone(name, &zone)) {
    error = "'" + name + "' is not a time zone of the system's zone database (such as Europe/Warsaw)";
    return std::nullopt;
  }
  TimeZone named;
  named.name_ = name;
  named.zone_ = std::make_shared<const Database>(Database{zone});
  return named;
}

TimeZone TimeZone::Utc() {
  TimeZone zone;
  zone.name_ = "UTC";
  zone.zone_ = std::make_shared<const Database>(Database{absl::UTCTimeZone()});
  return zone;
}

TimeZone TimeZone::Local() {
  tzset();
  TimeZone zone;
  zone.name_ = LocalName();
  return zone;
}

ZoneTime TimeZone::At(std::int64_t utcSeconds) const {
  Type type;
  if (zone_) {
    const absl::TimeZone::CivilInfo info = zone_->zone.At(absl::FromUnixSeconds(utcSeconds));
    type = {info.offset, info.zone_abbr};
  } else {
    type = LocalTypeAt(utcSeconds);
  }
  const chrono::sys_seconds local{chrono::seconds{utcSeconds + type.offsetSeconds}};
  const auto day = chrono::floor<chrono::days>(local);
  const chrono::year_month_day date{day};
  const chrono::hh_mm_ss time{local - day};
  ZoneTime zoned;
  zoned.year = static_cast<int>(date.year());
  zoned.month = static_cast<int>(static_cast<unsigned>(date.month()));
  zoned.day = static_cast<int>(static_cast<unsigned>(date.day()));
  zoned.hour = static_cast<int>(time.hours().count());
  zoned.minute = static_cast<int>(time.minutes().count());
  zoned.second = static_cast<int>(time.seconds().count());
  zoned.offsetSeconds = type.offsetSeconds;
  zoned.abbreviation = type.abbreviation.empty() ? OffsetText(type.offsetSeconds) : type.abbreviation;
  return zoned;
}

std::vector<std::string> ZoneNames() {
  std::vector<std::string> names = {"UTC"};
  std::ifstream table(ZoneFolder() + "/zone1970.tab");
  for (std::string line; std::getline(table, line);) {
    if (line.empty() || line.front() == '#') continue;
    std::istringstream fields(line);
    std::string countries, place, name;
    if (fields >> countries >> place >> name) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string OffsetText(int offsetSeconds) {
  const int minutes = std::abs(offsetSeconds) / 60;
  char text[16];
  std::snprintf(text, sizeof text, "%c%02d:%02d", offsetSeconds < 0 ? '-' : '+', minutes / 60, minutes % 60);
  return text;
}

}  // namespace rovena
