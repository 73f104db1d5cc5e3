#include "core/time_zone.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

namespace rovena {

// When daylight time starts or ends: a day of the year and the local time of day.
struct ChangeDay {
  enum class Kind { kJulian, kZeroBased, kMonthWeekDay } kind = Kind::kMonthWeekDay;
  int day = 0;                           // Jn (1..365, 29 February never counted) or n (0..365)
  int month = 0, week = 0, weekday = 0;  // Mm.w.d: week 5 is the month's last such weekday
  int seconds = 2 * 3600;
};

struct TimeZone::Rule {
  Type standard, daylight;
  bool hasDaylight = false;
  ChangeDay start, end;
};

namespace {

namespace chrono = std::chrono;
namespace fs = std::filesystem;
using Rule = TimeZone::Rule;

constexpr std::size_t kLargestZoneFile = 1 << 20;  // real ones are a few kilobytes

// --- POSIX TZ rules ------------------------------------------------------------------------

class RuleReader {
 public:
  explicit RuleReader(std::string_view text) : s_(text) {}
  bool AtEnd() const { return i_ == s_.size(); }
  bool Take(char c) {
    if (i_ >= s_.size() || s_[i_] != c) return false;
    ++i_;
    return true;
  }

  // "CET", or "<+03>" for a name that is not alphabetic.
  std::optional<std::string> Name() {
    std::size_t start = i_, end = 0;
    if (Take('<')) {
      start = i_;
      while (i_ < s_.size() && s_[i_] != '>') ++i_;
      end = i_;
      if (!Take('>')) return std::nullopt;
    } else {
      while (i_ < s_.size() && std::isalpha(static_cast<unsigned char>(s_[i_]))) ++i_;
      end = i_;
    }
    if (end - start < 3) return std::nullopt;
    return std::string(s_.substr(start, end - start));
  }

  // [+-]hh[:mm[:ss]] as seconds, the hours at most `maxHours`.
  std::optional<int> Seconds(int maxHours) {
    const int sign = Take('-') ? -1 : (Take('+'), 1);
    const auto hours = Number();
    if (!hours || *hours > maxHours) return std::nullopt;
    int total = *hours * 3600;
    for (int unit : {60, 1}) {
      if (!Take(':')) break;
      const auto part = Number();
      if (!part || *part > 59) return std::nullopt;
      total += *part * unit;
    }
    return sign * total;
  }

  std::optional<int> Number() {
    const std::size_t start = i_;
    int value = 0;
    while (i_ < s_.size() && i_ - start < 3 && std::isdigit(static_cast<unsigned char>(s_[i_])))
      value = value * 10 + (s_[i_++] - '0');
    if (i_ == start) return std::nullopt;
    return value;
  }

  // Jn, n or Mm.w.d, then an optional /time.
  std::optional<ChangeDay> Change() {
    ChangeDay change;
    std::optional<int> a, b, c;
    if (Take('J')) {
      change.kind = ChangeDay::Kind::kJulian;
      a = Number();
      if (!a || *a < 1 || *a > 365) return std::nullopt;
      change.day = *a;
    } else if (Take('M')) {
      a = Number();
      b = Take('.') ? Number() : std::nullopt;
      c = b && Take('.') ? Number() : std::nullopt;
      if (!c || *a < 1 || *a > 12 || *b < 1 || *b > 5 || *c > 6) return std::nullopt;
      change.month = *a, change.week = *b, change.weekday = *c;
    } else {
      change.kind = ChangeDay::Kind::kZeroBased;
      a = Number();
      if (!a || *a > 365) return std::nullopt;
      change.day = *a;
    }
    if (Take('/')) {
      const auto time = Seconds(167);  // RFC 8536 allows -167..167 hours
      if (!time) return std::nullopt;
      change.seconds = *time;
    }
    return change;
  }

 private:
  std::string_view s_;
  std::size_t i_ = 0;
};

// "CET-1CEST,M3.5.0,M10.5.0/3": the offset is written west-positive, hence the minus signs.
std::optional<Rule> ParseRule(std::string_view text) {
  RuleReader in(text);
  Rule rule;
  const auto standardName = in.Name();
  const auto standardOffset = standardName ? in.Seconds(24) : std::nullopt;
  if (!standardOffset) return std::nullopt;
  rule.standard = {-*standardOffset, *standardName};
  if (in.AtEnd()) return rule;
  const auto daylightName = in.Name();
  if (!daylightName) return std::nullopt;
  rule.hasDaylight = true;
  rule.daylight = {rule.standard.offsetSeconds + 3600, *daylightName};
  if (!in.AtEnd() && !in.Take(',')) {
    const auto daylightOffset = in.Seconds(24);
    if (!daylightOffset) return std::nullopt;
    rule.daylight.offsetSeconds = -*daylightOffset;
    if (!in.AtEnd() && !in.Take(',')) return std::nullopt;
  }
  if (in.AtEnd()) {  // no dates given: the usual North American ones
    rule.start = {ChangeDay::Kind::kMonthWeekDay, 0, 3, 2, 0};
    rule.end = {ChangeDay::Kind::kMonthWeekDay, 0, 11, 1, 0};
    return rule;
  }
  const auto start = in.Change();
  const auto end = start && in.Take(',') ? in.Change() : std::nullopt;
  if (!end || !in.AtEnd()) return std::nullopt;
  rule.start = *start;
  rule.end = *end;
  return rule;
}

std::int64_t SecondsOf(chrono::sys_days day) {
  return chrono::duration_cast<chrono::seconds>(day.time_since_epoch()).count();
}

// The UTC moment `change` happens in `year`, given the offset in force just before it.
std::int64_t ChangeMoment(const ChangeDay& change, int year, int offsetBefore) {
  const chrono::year y{year};
  chrono::sys_days day;
  switch (change.kind) {
    case ChangeDay::Kind::kJulian:
      day = chrono::sys_days{y / 1 / 1} + chrono::days{change.day - 1 + (y.is_leap() && change.day >= 60)};
      break;
    case ChangeDay::Kind::kZeroBased:
      day = chrono::sys_days{y / 1 / 1} + chrono::days{change.day};
      break;
    case ChangeDay::Kind::kMonthWeekDay: {
      const chrono::month m(static_cast<unsigned>(change.month));
      const chrono::weekday wd(static_cast<unsigned>(change.weekday));
      day = change.week == 5 ? chrono::sys_days{y / m / wd[chrono::last]}
                             : chrono::sys_days{y / m / wd[static_cast<unsigned>(change.week)]};
      break;
    }
  }
  return SecondsOf(day) + change.seconds - offsetBefore;
}

TimeZone::Type RuleTypeAt(const Rule& rule, std::int64_t utc) {
  if (!rule.hasDaylight) return rule.standard;
  const auto local = chrono::floor<chrono::days>(chrono::sys_seconds{chrono::seconds{utc + rule.standard.offsetSeconds}});
  const int year = static_cast<int>(chrono::year_month_day{local}.year());
  const std::int64_t start = ChangeMoment(rule.start, year, rule.standard.offsetSeconds);
  const std::int64_t end = ChangeMoment(rule.end, year, rule.daylight.offsetSeconds);
  // South of the equator daylight time spans the turn of the year.
  const bool daylight = start < end ? (utc >= start && utc < end) : !(utc >= end && utc < start);
  return daylight ? rule.daylight : rule.standard;
}

// --- TZif files ------------------------------------------------------------------------------

class Bytes {
 public:
  explicit Bytes(std::string_view data) : d_(data) {}
  bool Has(std::size_t n) const { return d_.size() - i_ >= n; }
  void Skip(std::size_t n) { i_ += n; }
  std::size_t At() const { return i_; }
  std::string_view Rest() const { return d_.substr(i_); }
  std::string_view Slice(std::size_t n) const { return d_.substr(i_, n); }
  std::uint64_t Unsigned(int size) {
    std::uint64_t value = 0;
    for (int k = 0; k < size; ++k) value = value << 8 | static_cast<unsigned char>(d_[i_++]);
    return value;
  }
  std::int64_t Signed(int size) {
    const std::uint64_t value = Unsigned(size);
    const int unused = 64 - 8 * size;
    return static_cast<std::int64_t>(value << unused) >> unused;
  }

 private:
  std::string_view d_;
  std::size_t i_ = 0;
};

struct Counts {
  std::uint64_t utc, standard, leaps, times, types, chars;
  // The bytes of the data block that follows the header, with `timeSize`-byte times.
  std::uint64_t DataBytes(int timeSize) const {
    return times * timeSize + times + types * 6 + chars + leaps * (timeSize + 4) + standard + utc;
  }
};

std::optional<Counts> ReadHeader(Bytes& in, char& version) {
  if (!in.Has(44) || in.Slice(4) != "TZif") return std::nullopt;
  in.Skip(4);
  version = static_cast<char>(in.Unsigned(1));
  in.Skip(15);
  Counts c{};
  for (std::uint64_t* n : {&c.utc, &c.standard, &c.leaps, &c.times, &c.types, &c.chars}) *n = in.Unsigned(4);
  if (c.types == 0 || c.chars == 0 || !in.Has(c.DataBytes(8))) return std::nullopt;
  return c;
}

}  // namespace

bool TimeZone::Load(std::string_view data) {
  Bytes in(data);
  char version = 0;
  auto counts = ReadHeader(in, version);
  int timeSize = 4;
  if (counts && version >= '2') {  // the 64-bit block follows the 32-bit one
    in.Skip(counts->DataBytes(4));
    counts = ReadHeader(in, version);
    timeSize = 8;
  }
  if (!counts) return false;
  for (std::uint64_t i = 0; i < counts->times; ++i) transitions_.push_back(in.Signed(timeSize));
  for (std::uint64_t i = 0; i < counts->times; ++i) transitionTypes_.push_back(static_cast<std::uint8_t>(in.Unsigned(1)));
  std::vector<std::pair<int, std::size_t>> types;
  for (std::uint64_t i = 0; i < counts->types; ++i) {
    const int offset = static_cast<int>(in.Signed(4));
    in.Skip(1);  // whether it is daylight time: the abbreviation says all the band needs
    types.emplace_back(offset, in.Unsigned(1));
  }
  const std::string_view chars = in.Slice(counts->chars);
  in.Skip(counts->chars + counts->leaps * (timeSize + 4) + counts->standard + counts->utc);
  for (const auto& [offset, at] : types) {
    if (at >= chars.size()) return false;
    types_.push_back({offset, std::string(chars.substr(at, chars.substr(at).find('\0')))});
  }
  if (std::any_of(transitionTypes_.begin(), transitionTypes_.end(), [&](std::uint8_t t) { return t >= types_.size(); }) ||
      !std::is_sorted(transitions_.begin(), transitions_.end()))
    return false;
  if (timeSize == 8) {  // the footer: "\nRULE\n", the rule possibly empty
    const std::string_view footer = in.Rest();
    const std::size_t close = footer.size() > 1 && footer[0] == '\n' ? footer.find('\n', 1) : std::string_view::npos;
    if (close != std::string_view::npos && close > 1) {
      const auto rule = ParseRule(footer.substr(1, close - 1));
      if (!rule) return false;
      rule_ = std::make_shared<const Rule>(*rule);
    }
  }
  return true;
}

std::optional<TimeZone> TimeZone::FromFile(const std::string& path, const std::string& name) {
  std::ifstream file(path, std::ios::binary);
  std::string data(kLargestZoneFile + 1, '\0');
  file.read(data.data(), static_cast<std::streamsize>(data.size()));
  data.resize(static_cast<std::size_t>(file.gcount()));
  TimeZone zone;
  zone.name_ = name;
  if (data.size() > kLargestZoneFile || !zone.Load(data)) return std::nullopt;
  return zone;
}

namespace {

std::string ZoneFolder() {
  const char* folder = std::getenv("TZDIR");
  return folder && *folder ? folder : "/usr/share/zoneinfo";
}

// Names of the database are made of these, in parts separated by '/', none of them "." or "..".
bool LooksLikeZoneName(const std::string& name) {
  if (name.empty() || name.front() == '/' || name.back() == '/') return false;
  for (char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '/' && c != '_' && c != '-' && c != '+') return false;
  return name.find("//") == std::string::npos && name.front() != '-';
}

}  // namespace

std::optional<TimeZone> TimeZone::Named(const std::string& name, std::string& error) {
  std::optional<TimeZone> zone;
  if (LooksLikeZoneName(name) && fs::is_regular_file(ZoneFolder() + "/" + name)) zone = FromFile(ZoneFolder() + "/" + name, name);
  if (!zone) error = "'" + name + "' is not a time zone of the system's zone database (such as Europe/Warsaw)";
  return zone;
}

TimeZone TimeZone::Utc() {
  TimeZone zone;
  zone.name_ = "UTC";
  zone.types_ = {{0, "UTC"}};
  return zone;
}

TimeZone TimeZone::Local() {
  std::string error;
  if (const char* tz = std::getenv("TZ")) {
    std::string text = tz;
    if (!text.empty() && text.front() == ':') text.erase(0, 1);
    if (text.empty()) return Utc();
    if (auto zone = text.front() == '/' ? FromFile(text, text) : Named(text, error)) return *std::move(zone);
    if (const auto rule = ParseRule(text)) {
      TimeZone zone;
      zone.name_ = text;
      zone.types_ = {rule->standard};
      zone.rule_ = std::make_shared<const Rule>(*rule);
      return zone;
    }
    return Utc();
  }
  // A link into the database names the zone: /etc/localtime -> /usr/share/zoneinfo/Europe/Warsaw.
  std::error_code ignored;
  const std::string target = fs::read_symlink("/etc/localtime", ignored).string();
  const std::size_t folder = target.rfind("zoneinfo/");
  const std::string name = folder == std::string::npos ? "localtime" : target.substr(folder + 9);
  auto zone = FromFile("/etc/localtime", name);
  return zone ? *std::move(zone) : Utc();
}

TimeZone::Type TimeZone::TypeAt(std::int64_t utcSeconds) const {
  if (rule_ && (transitions_.empty() || utcSeconds >= transitions_.back())) return RuleTypeAt(*rule_, utcSeconds);
  const auto after = std::upper_bound(transitions_.begin(), transitions_.end(), utcSeconds);
  if (after == transitions_.begin()) return types_.front();
  return types_[transitionTypes_[static_cast<std::size_t>(after - transitions_.begin() - 1)]];
}

ZoneTime TimeZone::At(std::int64_t utcSeconds) const {
  const Type type = TypeAt(utcSeconds);
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
