#include "archive/archive_time.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string_view>

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

namespace {

// Longer than any time of the accepted forms with a nanosecond fraction; the text is the
// user's, so it is read with a bound and without backtracking.
constexpr std::size_t kLongestTime = 40;

// Exactly `count` decimal digits at the front of `rest`, taken off it.
std::optional<int> Digits(std::string_view& rest, std::size_t count) {
  if (rest.size() < count) return std::nullopt;
  int value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (rest[i] < '0' || rest[i] > '9') return std::nullopt;
    value = value * 10 + (rest[i] - '0');
  }
  rest.remove_prefix(count);
  return value;
}

bool Take(std::string_view& rest, char c) {
  if (rest.empty() || rest.front() != c) return false;
  rest.remove_prefix(1);
  return true;
}

// ".fff" (one digit or more) as seconds; 0 without a fraction, nothing for a bare dot.
std::optional<double> Fraction(std::string_view& rest) {
  if (!Take(rest, '.')) return 0.0;
  const std::size_t digits = std::min(rest.find_first_not_of("0123456789"), rest.size());
  if (digits == 0) return std::nullopt;
  const std::string number = "0." + std::string(rest.substr(0, digits));
  rest.remove_prefix(digits);
  double value = 0;
  std::from_chars(number.data(), number.data() + number.size(), value);
  return value;
}

}  // namespace

std::optional<double> ParseIsoTime(const std::string& text) {
  if (text.size() > kLongestTime) return std::nullopt;
  std::string_view rest = text;
  std::optional<int> year = Digits(rest, 4), month, day, hour = 0, minute = 0, second = 0;
  if (!year || !Take(rest, '-') || !(month = Digits(rest, 2)) || !Take(rest, '-') || !(day = Digits(rest, 2)))
    return std::nullopt;
  std::optional<double> fraction = 0.0;
  if (Take(rest, 'T') || Take(rest, ' ')) {
    if (!(hour = Digits(rest, 2)) || !Take(rest, ':') || !(minute = Digits(rest, 2))) return std::nullopt;
    if (Take(rest, ':') && (!(second = Digits(rest, 2)) || !(fraction = Fraction(rest)))) return std::nullopt;
  }
  Take(rest, 'Z');
  if (!rest.empty()) return std::nullopt;
  std::tm tm{};
  tm.tm_year = *year - 1900;
  tm.tm_mon = *month - 1;
  tm.tm_mday = *day;
  tm.tm_hour = *hour;
  tm.tm_min = *minute;
  tm.tm_sec = *second;
  const std::tm asked = tm;
  const std::time_t t = timegm(&tm);
  // timegm carries an impossible day or hour into the next; refuse instead.
  if (tm.tm_mday != asked.tm_mday || tm.tm_mon != asked.tm_mon || tm.tm_hour != asked.tm_hour ||
      tm.tm_min != asked.tm_min || tm.tm_sec != asked.tm_sec)
    return std::nullopt;
  return static_cast<double>(t) + *fraction;
}

}  // namespace rovena::archive
