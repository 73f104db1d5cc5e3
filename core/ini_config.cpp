#include "core/ini_config.h"

#include <array>
#include <cctype>

#include "core/nmea.h"

namespace rovena {
namespace {

// Map calibration of the default map and its fixed scales (pixels per degree).
constexpr float kDefaultPlayInterval = 0.1f;
constexpr float kDefaultMapLat1 = 52.41674f;
constexpr float kDefaultMapLat2 = 52.80114f;
constexpr float kDefaultMapLon1 = 20.79139f;
constexpr float kDefaultMapLon2 = 20.2325f;
constexpr float kDefaultScaleLat = 10653;
constexpr float kDefaultScaleLon = 7327;
// The map's last pixel index: the calibration spans pixels 0 to 4095.
constexpr double kMapSpanPixels = 4095;

bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }
bool IsSeparator(char c) { return c == ',' || IsLineEnd(c); }

// Moves past one separator; a CR LF pair counts as one line end.
std::size_t SkipSeparator(std::string_view s, std::size_t i) {
  if (i >= s.size()) return i;
  if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') return i + 2;
  return i + 1;
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

IniMessage Info(IniMessage::Kind kind, std::string key = {}) { return {kind, IniMessage::Icon::Information, std::move(key)}; }
IniMessage Critical(IniMessage::Kind kind) { return {kind, IniMessage::Icon::Critical, {}}; }

float Scale(float from, float to) {
  return static_cast<float>(kMapSpanPixels / (static_cast<double>(to) - static_cast<double>(from)));
}

}  // namespace

IniSettings DefaultIniSettings() {
  IniSettings s;
  s.PlayInterval = kDefaultPlayInterval;
  s.MapLat1 = kDefaultMapLat1;
  s.MapLat2 = kDefaultMapLat2;
  s.MapLon1 = kDefaultMapLon1;
  s.MapLon2 = kDefaultMapLon2;
  s.ScaleLat = kDefaultScaleLat;
  s.ScaleLon = kDefaultScaleLon;
  return s;
}

std::vector<std::string> SplitIniItems(std::string_view content) {
  std::vector<std::string> items;
  std::size_t i = 0;
  while (i < content.size()) {
    while (i < content.size() && (content[i] == ' ' || content[i] == '\t')) ++i;
    std::string item;
    if (i < content.size() && content[i] == '"') {
      const std::size_t close = content.find('"', i + 1);
      const std::size_t end = close == std::string_view::npos ? content.size() : close;
      item.assign(content.substr(i + 1, end - i - 1));
      i = end;
      while (i < content.size() && !IsSeparator(content[i])) ++i;
    } else {
      const std::size_t start = i;
      while (i < content.size() && !IsSeparator(content[i])) ++i;
      item.assign(content.substr(start, i - start));
    }
    items.push_back(std::move(item));
    i = SkipSeparator(content, i);
  }
  return items;
}

std::optional<IniMessage> GetIniParam(std::string_view param, IniSettings& settings) {
  if (param.empty()) return std::nullopt;
  const std::size_t equals = param.find('=');
  if (equals == std::string_view::npos) return Info(IniMessage::Kind::NotAnAssignment);
  const std::string_view key = param.substr(0, equals);
  const float value = static_cast<float>(LeadingNumber(param.substr(equals + 1)));
  const std::array<std::pair<const char*, float IniSettings::*>, 5> keys{{
      {"PLAYSPEED1", &IniSettings::PlayInterval},
      {"MAPLAT1", &IniSettings::MapLat1},
      {"MAPLAT2", &IniSettings::MapLat2},
      {"MAPLON1", &IniSettings::MapLon1},
      {"MAPLON2", &IniSettings::MapLon2},
  }};
  const std::string upperKey = Upper(key);
  for (const auto& [name, field] : keys) {
    if (upperKey == name) {
      settings.*field = value;
      return std::nullopt;
    }
  }
  return Info(IniMessage::Kind::UnknownKey, std::string(key));
}

IniLoadResult LoadIniText(std::string_view content) {
  IniLoadResult result;
  IniSettings& s = result.settings;
  for (const std::string& item : SplitIniItems(content))
    if (auto message = GetIniParam(item, s)) result.messages.push_back(std::move(*message));

  if (s.MapLat1 == 0 || s.MapLat2 == 0 || s.MapLon1 == 0 || s.MapLon2 == 0 || s.PlayInterval == 0) {
    result.messages.push_back(Critical(IniMessage::Kind::MissingValues));
    return result;
  }
  // Equal values would divide by zero: report them and stop start-up as for a missing key.
  if (s.MapLat1 == s.MapLat2) result.messages.push_back(Critical(IniMessage::Kind::EqualLatitudes));
  if (s.MapLon1 == s.MapLon2) result.messages.push_back(Critical(IniMessage::Kind::EqualLongitudes));
  if (s.MapLat1 == s.MapLat2 || s.MapLon1 == s.MapLon2) return result;

  s.ScaleLat = Scale(s.MapLat1, s.MapLat2);
  s.ScaleLon = Scale(s.MapLon2, s.MapLon1);
  result.complete = true;
  return result;
}

std::string StripCommandLineQuotes(std::string_view text) {
  if (!text.empty() && text.front() == '"') text.remove_prefix(1);
  if (!text.empty() && text.back() == '"') text.remove_suffix(1);
  return std::string(text);
}

}  // namespace rovena
