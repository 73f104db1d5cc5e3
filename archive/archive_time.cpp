#include "archive/archive_time.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <regex>

namespace rovena::archive {

std::string IsoTime(double secondsSince1970) {
  const double whole = std::floor(secondsSince1970);
  const long milliseconds = std::lround((secondsSince1970 - whole) * 1000);
  std::time_t t = static_cast<std::time_t>(whole) + (milliseconds == 1000 ? 1 : 0);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char text[48];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &tm);
  std::string iso = text;
  if (milliseconds % 1000 != 0) {
    std::snprintf(text, sizeof text, ".%03ld", milliseconds);
    iso += text;
  }
  return iso + "Z";
}

std::optional<double> ParseIsoTime(const std::string& text) {
  static const std::regex kForm(R"((\d{4})-(\d{2})-(\d{2})(?:[T ](\d{2}):(\d{2})(?::(\d{2})(\.\d+)?)?)?Z?)");
  std::smatch m;
  if (!std::regex_match(text, m, kForm)) return std::nullopt;
  std::tm tm{};
  tm.tm_year = std::stoi(m[1]) - 1900;
  tm.tm_mon = std::stoi(m[2]) - 1;
  tm.tm_mday = std::stoi(m[3]);
  tm.tm_hour = m[4].matched ? std::stoi(m[4]) : 0;
  tm.tm_min = m[5].matched ? std::stoi(m[5]) : 0;
  tm.tm_sec = m[6].matched ? std::stoi(m[6]) : 0;
  const std::tm asked = tm;
  const std::time_t t = timegm(&tm);
  // timegm carries an impossible day or hour into the next; refuse instead.
  if (tm.tm_mday != asked.tm_mday || tm.tm_mon != asked.tm_mon || tm.tm_hour != asked.tm_hour ||
      tm.tm_min != asked.tm_min || tm.tm_sec != asked.tm_sec)
    return std::nullopt;
  return static_cast<double>(t) + (m[7].matched ? std::stod("0" + m[7].str()) : 0.0);
}

}  // namespace rovena::archive
