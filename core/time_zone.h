// Local time in a named zone of the system's zone database (/usr/share/zoneinfo, or $TZDIR),
// or in the machine's own zone. A zone file (TZif, versions 1 to 4) lists the zone's changes
// of offset up to some year and ends with a POSIX TZ rule for the years after it; both are
// read here, so no process-wide TZ setting is touched and zones can be used side by side.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rovena {

struct ZoneTime {
  int year = 1970, month = 1, day = 1;  // the local calendar date
  int hour = 0, minute = 0, second = 0;
  int offsetSeconds = 0;     // local time minus UTC
  std::string abbreviation;  // "CEST", "UTC", "+03": never empty
};

class TimeZone {
 public:
  // The zone named as in the database ("Europe/Warsaw", "UTC"); nothing, and the reason in
  // `error`, when the name is not one of its zones.
  static std::optional<TimeZone> Named(const std::string& name, std::string& error);
  // The machine's zone: $TZ when it is set (a zone's name, or a POSIX rule such as
  // "CET-1CEST,M3.5.0,M10.5.0/3"), else /etc/localtime; UTC when neither can be read.
  static TimeZone Local();
  static TimeZone Utc();

  // The zone's name in the database, or the rule as given ("UTC" for UTC).
  const std::string& Name() const { return name_; }
  ZoneTime At(std::int64_t utcSeconds) const;

  // A POSIX TZ rule: the names and offsets of standard and daylight time and when daylight
  // time starts and ends each year.
  struct Rule;
  struct Type {
    int offsetSeconds = 0;
    std::string abbreviation;
  };

 private:
  TimeZone() = default;
  static std::optional<TimeZone> FromFile(const std::string& path, const std::string& name);
  bool Load(std::string_view data);  // the bytes of a zone file; false when they are not one
  Type TypeAt(std::int64_t utcSeconds) const;

  std::string name_;
  std::vector<std::int64_t> transitions_;       // UTC seconds, ascending
  std::vector<std::uint8_t> transitionTypes_;   // index into types_ from each transition on
  std::vector<Type> types_;                     // types_[0] also holds before the first transition
  std::shared_ptr<const Rule> rule_;            // after the last transition; may be null
};

// The database's zones in name order, for choosing one (zone1970.tab's, and UTC); only UTC
// when the list cannot be read.
std::vector<std::string> ZoneNames();

// "+02:00", "-03:30"
std::string OffsetText(int offsetSeconds);

}  // namespace rovena
