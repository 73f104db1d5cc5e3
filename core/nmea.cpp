#include "core/nmea.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace rovena {

namespace {

// 1-based character access in the manner of the sentence layout: positions past the end
// give fewer characters (or none) instead of failing.
class SentenceText {
 public:
  explicit SentenceText(std::string_view text) : text_(text) {}

  // The n characters starting at position p.
  std::string Mid(size_t p, size_t n) const {
    if (p < 1 || p > text_.size()) return {};
    return std::string(text_.substr(p - 1, n));
  }
  // The characters from position `from` up to position `to`, exclusive.
  std::string Between(size_t from, size_t to) const { return to > from ? Mid(from, to - from) : ""; }
  // 1-based index of the next comma from p on; 0 if the text has no further comma.
  size_t FindComma(size_t p) const {
    if (p < 1 || p > text_.size()) return 0;
    const size_t at = text_.find(',', p - 1);
    return at == std::string_view::npos ? 0 : at + 1;
  }

 private:
  std::string_view text_;
};

// Knots to whole km/h, halves going up (1.852 km to the nautical mile).
std::string SpeedCaption(double knots) {
  const double kmh = std::floor(knots * 1.852 + 0.5);
  char text[64];
  std::snprintf(text, sizeof text, "%.0f km/h", kmh == 0 ? 0.0 : kmh);  // no "-0"
  return text;
}

size_t SkipDigits(std::string_view text, size_t at) {
  while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
  return at;
}

}  // namespace

double LeadingNumber(std::string_view text) {
  size_t at = 0;
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  const size_t start = at;
  at = SkipDigits(text, at);
  size_t digits = at - start;
  if (at < text.size() && text[at] == '.') {
    const size_t fraction = at + 1;
    at = SkipDigits(text, fraction);
    digits += at - fraction;
  }
  if (digits == 0) return 0;
  // An exponent counts only when digits follow it.
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    size_t exponent = at + 1;
    if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) ++exponent;
    const size_t end = SkipDigits(text, exponent);
    if (end > exponent) at = end;
  }
  double value = 0;
  const auto [ptr, error] = std::from_chars(text.data() + start, text.data() + at, value);
  if (error != std::errc()) return 0;  // out of range
  return negative ? -value : value;
}

NmeaDisplay ParseNmea(std::string_view nmeaLine) {
  const SentenceText s(nmeaLine);
  NmeaDisplay shown;
  shown.isGprmc = nmeaLine.substr(0, 6) == "$GPRMC";
  if (!shown.isGprmc) {
    shown.timeText = "";
    shown.speedText = "";
  }
  // Time: hours, minutes, seconds at fixed positions 8 to 13.
  if (s.FindComma(8) == 0) return shown;
  const std::string time = s.Mid(8, 2) + ":" + s.Mid(10, 2) + ":" + s.Mid(12, 2);
  shown.timeText = time;
  shown.gpsValid = s.Mid(19, 1) == "A";

  const size_t latEnd = s.FindComma(21);
  if (latEnd == 0) return shown;
  shown.latText = s.Between(21, latEnd);
  const size_t lonStart = s.FindComma(latEnd + 1);  // the comma after the hemisphere letter
  if (lonStart == 0) return shown;
  const size_t lonEnd = s.FindComma(lonStart + 1);
  if (lonEnd == 0) return shown;
  shown.lonText = s.Between(lonStart + 1, lonEnd);

  const size_t speedStart = s.FindComma(lonEnd + 1);
  if (speedStart == 0) return shown;
  const size_t speedEnd = s.FindComma(speedStart + 1);
  if (speedEnd == 0) return shown;
  shown.speedText = SpeedCaption(LeadingNumber(s.Between(speedStart + 1, speedEnd)));

  const size_t dateStart = s.FindComma(speedEnd + 1);  // the comma after the course
  if (dateStart == 0) return shown;
  const size_t d = dateStart + 1;
  shown.timeText = s.Mid(d, 2) + "." + s.Mid(d + 2, 2) + ".20" + s.Mid(d + 4, 2) + "  " + time;
  return shown;
}

}  // namespace rovena
