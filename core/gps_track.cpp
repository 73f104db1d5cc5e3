#include "core/gps_track.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "core/nmea.h"
#include "core/text_encoding.h"

namespace rovena {
namespace {

constexpr double kKilometresPerNauticalMile = 1.852;

std::vector<std::string_view> SplitFields(std::string_view text) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    fields.push_back(text.substr(start, comma - start));
    if (comma == std::string_view::npos) return fields;
    start = comma + 1;
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Removes trailing line ends and blanks, then checks and removes a "*hh" checksum. False when
// a checksum is present and wrong.
bool StripChecksum(std::string_view& sentence) {
  while (!sentence.empty() && static_cast<unsigned char>(sentence.back()) <= ' ') sentence.remove_suffix(1);
  const std::size_t star = sentence.rfind('*');
  if (star == std::string_view::npos) return true;
  const std::string_view digits = sentence.substr(star + 1);
  if (digits.size() != 2 || HexDigit(digits[0]) < 0 || HexDigit(digits[1]) < 0) return false;
  unsigned sum = 0;
  for (char c : sentence.substr(1, star - 1)) sum ^= static_cast<unsigned char>(c);
  if (sum != static_cast<unsigned>(HexDigit(digits[0]) * 16 + HexDigit(digits[1]))) return false;
  sentence = sentence.substr(0, star);
  return true;
}

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<double> Number(std::string_view s) {
  double v = 0;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (error != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

// ddmm.mmmm or dddmm.mmmm with its hemisphere letter; south and west are negative.
std::optional<double> Coordinate(std::string_view value, std::string_view hemisphere,
                                 double limit, char positive, char negative) {
  const std::optional<double> v = Number(value);
  if (!v || *v < 0 || hemisphere.size() != 1) return std::nullopt;
  const double degrees = std::floor(*v / 100);
  const double minutes = *v - degrees * 100;
  const double result = degrees + minutes / 60;
  if (minutes >= 60 || result > limit) return std::nullopt;
  if (hemisphere[0] == positive) return result;
  if (hemisphere[0] == negative) return -result;
  return std::nullopt;
}

int TwoDigits(std::string_view s, std::size_t at) { return (s[at] - '0') * 10 + (s[at + 1] - '0'); }

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
long DaysFromCivil(int year, int month, int day) {
  year -= month <= 2;
  const long era = year / 400;
  const long yoe = year - era * 400;
  const long doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// hhmmss[.s...] and ddmmyy; the recorder's years are 2000 + yy.
void SetTime(GpsFix& fix, std::string_view time, std::string_view date) {
  const std::string_view whole = time.substr(0, time.find('.'));
  const std::string_view fraction = whole.size() < time.size() ? time.substr(whole.size() + 1) : "";
  if (whole.size() != 6 || !AllDigits(whole) || date.size() != 6 || !AllDigits(date)) return;
  if (!fraction.empty() && !AllDigits(fraction)) return;
  const int hour = TwoDigits(whole, 0), minute = TwoDigits(whole, 2), second = TwoDigits(whole, 4);
  const int day = TwoDigits(date, 0), month = TwoDigits(date, 2), year = 2000 + TwoDigits(date, 4);
  if (hour > 23 || minute > 59 || second > 59 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month))
    return;
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", year, month, day, hour, minute, second);
  fix.utc = text;
  if (!fraction.empty()) fix.utc += "." + std::string(fraction);
  fix.utc += "Z";
  const double fractionSeconds = fraction.empty() ? 0 : *Number("0." + std::string(fraction));
  fix.utcSeconds = static_cast<double>(DaysFromCivil(year, month, day)) * 86400 + hour * 3600 +
                   minute * 60 + second + fractionSeconds;
}

// Values beyond this are damage, not measurements; written out they would be hundreds of
// digits long, so they become empty fields like missing values.
constexpr double kLargestWritten = 1e9;

std::string Fixed(double value, int decimals) {
  if (!std::isfinite(value) || std::fabs(value) >= kLargestWritten) return {};
  char text[64];
  const auto [end, error] =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  return error == std::errc() ? std::string(text, end) : std::string();
}

std::string Optional(const std::optional<double>& value, int decimals) {
  return value ? Fixed(*value, decimals) : std::string();
}

// A name in its text form (so valid UTF-8 without control characters) as XML text.
std::string XmlName(std::string_view name) {
  std::string out;
  for (char c : NameText(name)) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

double DistanceMetres(double lat1, double lon1, double lat2, double lon2) {
  constexpr double kRadians = 3.14159265358979323846 / 180;
  const double dLat = (lat2 - lat1) * kRadians, dLon = (lon2 - lon1) * kRadians;
  const double h = std::sin(dLat / 2) * std::sin(dLat / 2) +
                   std::cos(lat1 * kRadians) * std::cos(lat2 * kRadians) * std::sin(dLon / 2) * std::sin(dLon / 2);
  return 2 * kEarthRadiusM * std::asin(std::min(1.0, std::sqrt(h)));
}

std::optional<GpsFix> ParseGprmc(std::string_view sentence) {
  if (sentence.substr(0, 7) != "$GPRMC," || !StripChecksum(sentence)) return std::nullopt;
  const std::vector<std::string_view> f = SplitFields(sentence);
  const auto field = [&f](std::size_t i) { return i < f.size() ? f[i] : std::string_view(); };
  GpsFix fix;
  fix.status = field(2).size() == 1 ? field(2)[0] : 0;
  SetTime(fix, field(1), field(9));
  const auto lat = Coordinate(field(3), field(4), 90, 'N', 'S');
  const auto lon = Coordinate(field(5), field(6), 180, 'E', 'W');
  if (lat && lon) {
    fix.latitude = lat;
    fix.longitude = lon;
  }
  if (const auto knots = Number(field(7)); knots && *knots >= 0) fix.speedKmh = *knots * kKilometresPerNauticalMile;
  if (const auto course = Number(field(8)); course && *course >= 0 && *course <= 360) fix.course = course;
  return fix;
}

TrackWalk CollectTrack(Recording& recording) {
  TrackWalk walk;
  PictureWalker walker(recording);
  while (walker.Next()) {
    if (std::optional<GpsFix> fix = ParseGprmc(walker.Sentence())) {
      fix->picture = walker.Number();
      fix->position = walker.Position();
      walk.fixes.push_back(std::move(*fix));
    }
  }
  walk.pictures = walker.Number();
  walk.outcome = walker.Outcome();
  return walk;
}

namespace {

constexpr char kCsvColumns[] = "picture,position,time_utc,latitude,longitude,speed_kmh,course,status\n";

std::string CsvRow(const GpsFix& fix) {
  std::string out = std::to_string(fix.picture) + "," + std::to_string(fix.position) + "," + fix.utc + "," +
                    Optional(fix.latitude, 7) + "," + Optional(fix.longitude, 7) + "," +
                    Optional(fix.speedKmh, 2) + "," + Optional(fix.course, 1) + ",";
  if (fix.status > ' ' && fix.status != ',' && fix.status != '"') out += fix.status;
  return out + "\n";
}


void AppendSegment(std::string& out, std::vector<const GpsFix*>& points) {
  std::stable_sort(points.begin(), points.end(),
                   [](const GpsFix* a, const GpsFix* b) { return a->utcSeconds < b->utcSeconds; });
  out += "    <trkseg>\n";
  for (const GpsFix* p : points) {
    out += "      <trkpt lat=\"" + Fixed(*p->latitude, 7) + "\" lon=\"" + Fixed(*p->longitude, 7) + "\"><time>" + p->utc +
           "</time>";
    if (p->course) out += "<course>" + Fixed(*p->course, 1) + "</course>";
    if (p->speedKmh) out += "<speed>" + Fixed(*p->speedKmh / 3.6, 2) + "</speed>";  // metres per second
    out += "</trkpt>\n";
  }
  out += "    </trkseg>\n";
  points.clear();
}

}  // namespace

std::string TrackCsv(const std::vector<GpsFix>& fixes) {
  std::string out = kCsvColumns;
  for (const GpsFix& fix : fixes) out += CsvRow(fix);
  return out;
}

std::string TrackCsv(const std::vector<TrackPart>& parts) {
  std::string out = std::string("recording,") + kCsvColumns;
  for (const TrackPart& part : parts) {
    const std::string name = CsvField(NameText(part.recording)) + ",";
    for (const GpsFix& fix : part.fixes) out += name + CsvRow(fix);
  }
  return out;
}

bool IsTrackPoint(const GpsFix& fix) { return fix.valid() && fix.latitude && !fix.utc.empty(); }

std::string TrackGpx(const std::vector<GpsFix>& fixes, std::string_view name) {
  return TrackGpx(std::vector<TrackPart>{{"", fixes, true}}, name);
}

std::string TrackGpx(const std::vector<TrackPart>& parts, std::string_view name) {
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<gpx version=\"1.0\" creator=\"Rovena\" xmlns=\"http://www.topografix.com/GPX/1/0\">\n"
      "  <trk>\n    <name>" + XmlName(name) + "</name>\n";
  std::vector<const GpsFix*> points;
  bool anySegment = false;
  for (const TrackPart& part : parts) {
    if (part.newSegment && !points.empty()) {
      AppendSegment(out, points);
      anySegment = true;
    }
    for (const GpsFix& fix : part.fixes)
      if (IsTrackPoint(fix)) points.push_back(&fix);
  }
  if (!points.empty() || !anySegment) AppendSegment(out, points);
  out += "  </trk>\n</gpx>\n";
  return out;
}

}  // namespace rovena
