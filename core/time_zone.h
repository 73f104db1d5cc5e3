// Local time in a named zone of the system's zone database (/usr/share/zoneinfo, or $TZDIR),
// read by Abseil's time zone library, which also follows each zone file's closing rule into
// the years after its listed changes; no process-wide TZ setting is touched, so named zones
// can be used side by side. The machine's own zone is the C library's local time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
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
  // Its times follow $TZ as it was when the last such zone was made.
  static TimeZone Local();
  static TimeZone Utc();

  // The zone's name in the database, or the rule as given ("UTC" for UTC).
  const std::string& Name() const { return name_; }
  ZoneTime At(std::int64_t utcSeconds) const;

 private:
  struct Database;  // a zone of the database as the library holds it

  TimeZone() = default;

  std::string name_;
  std::shared_ptr<const Database> zone_;  // null for the machine's zone
};

// The database's zones in name order, for choosing one (zone1970.tab's, and UTC); only UTC
// when the list cannot be read.
std::vector<std::string> ZoneNames();

// "+02:00", "-03:30"
std::string OffsetText(int offsetSeconds);

}  // namespace rovena
