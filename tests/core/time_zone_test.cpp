// The zone reader against the C library's own reading of the same zone files and rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <random>

#include "core/time_zone.h"

namespace rovena {
namespace {

// Restores TZ when a test is done with it.
class ScopedTz {
 public:
  explicit ScopedTz(const char* value) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    setenv("TZ", value, 1);
    tzset();
  }
  ~ScopedTz() {
    if (old_) setenv("TZ", old_->c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }

 private:
  std::optional<std::string> old_;
};

// From `since` (seconds from 1970) to 2100.
void ExpectAgreesWithLibc(const TimeZone& zone, const char* tz, std::int64_t since) {
  const ScopedTz scoped(tz);
  std::mt19937_64 random(7);
  int differences = 0;
  for (int i = 0; i < 4000 && differences < 5; ++i) {
    const std::int64_t t = since + static_cast<std::int64_t>(random() % static_cast<std::uint64_t>(4102444800 - since));
    const std::time_t when = t;
    std::tm tm{};
    localtime_r(&when, &tm);
    const ZoneTime ours = zone.At(t);
    const bool same = ours.year == tm.tm_year + 1900 && ours.month == tm.tm_mon + 1 && ours.day == tm.tm_mday &&
                      ours.hour == tm.tm_hour && ours.minute == tm.tm_min && ours.second == tm.tm_sec &&
                      ours.offsetSeconds == tm.tm_gmtoff && ours.abbreviation == tm.tm_zone;
    differences += !same;
    EXPECT_TRUE(same) << tz << " at " << t << ": ours " << ours.hour << ":" << ours.minute << " " << ours.abbreviation
                      << ", the C library's " << tm.tm_hour << ":" << tm.tm_min << " " << tm.tm_zone;
  }
}

TEST(TimeZone, NamedZonesAgreeWithTheCLibraryFrom1950To2100) {
  // North and south of the equator, half and three-quarter hours, a negative daylight saving
  // time (Dublin, Casablanca), numeric abbreviations (Sao Paulo's "-03"), closing rules whose
  // changes fall before midnight or after 24:00 (Nuuk's "/-1", Jerusalem's "/26").
  for (const char* name : {"Europe/Warsaw", "America/New_York", "Australia/Sydney", "Asia/Kolkata", "Pacific/Chatham",
                           "Europe/Dublin", "Africa/Casablanca", "America/Sao_Paulo", "America/Nuuk", "Asia/Jerusalem",
                           "UTC"}) {
    std::string error;
    const auto zone = TimeZone::Named(name, error);
    ASSERT_TRUE(zone) << error;
    EXPECT_EQ(zone->Name(), name);
    // From before the zone's first change, through its changes and on under its rule.
    ExpectAgreesWithLibc(*zone, name, -631152000);
  }
}

TEST(TimeZone, TheMachinesZoneFollowsTzAsANameOrARule) {
  const char* rule = "CET-1CEST,M3.5.0,M10.5.0/3";
  {
    const ScopedTz scoped(rule);
    const TimeZone local = TimeZone::Local();
    EXPECT_EQ(local.Name(), rule);
    ExpectAgreesWithLibc(local, rule, 0);  // the C library keeps standard time before 1970
  }
  {
    const ScopedTz scoped(":Asia/Kolkata");
    EXPECT_EQ(TimeZone::Local().Name(), "Asia/Kolkata");
    EXPECT_EQ(TimeZone::Local().At(0).abbreviation, "IST");
  }
  {
    const ScopedTz scoped("<+0330>-3:30");
    EXPECT_EQ(TimeZone::Local().At(0).offsetSeconds, 12600);
    EXPECT_EQ(TimeZone::Local().At(0).abbreviation, "+0330");
  }
  EXPECT_EQ(OffsetText(-12600), "-03:30");
}

TEST(TimeZone, NamesOutsideTheDatabaseAreRefused) {
  // Besides paths, the library would open "file:" ones and make up fixed-offset zones.
  for (const char* name : {"", "Europe/Nowhere", "../../etc/passwd", "/etc/localtime", "Europe//Warsaw", "zone.tab",
                           "file:/etc/localtime", "Fixed/UTC+01:00:00"}) {
    std::string error;
    EXPECT_FALSE(TimeZone::Named(name, error)) << name;
    EXPECT_NE(error.find("not a time zone"), std::string::npos) << error;
  }
}

TEST(TimeZone, TheListToChooseFromHoldsOnlyZonesThatOpen) {
  const std::vector<std::string> names = ZoneNames();
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
  EXPECT_TRUE(std::binary_search(names.begin(), names.end(), "Europe/Warsaw"));
  EXPECT_TRUE(std::binary_search(names.begin(), names.end(), "UTC"));
  for (const std::string& name : names) {
    std::string error;
    EXPECT_TRUE(TimeZone::Named(name, error)) << name << ": " << error;
  }
}

}  // namespace
}  // namespace rovena
