#include "export/clip_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/gps_track.h"
#include "core/nmea.h"

namespace rovena::exporting {
namespace {

std::string Coordinates(const GpsFix& fix) {
  char text[64];
  std::snprintf(text, sizeof text, "%.5f %c  %.5f %c", std::fabs(*fix.latitude), *fix.latitude < 0 ? 'S' : 'N',
                std::fabs(*fix.longitude), *fix.longitude < 0 ? 'W' : 'E');
  return text;
}

std::string JoinNonEmpty(const std::vector<std::string>& parts, const char* separator) {
  std::string joined;
  for (const std::string& part : parts) {
    if (part.empty()) continue;
    if (!joined.empty()) joined += separator;
    joined += part;
  }
  return joined;
}

std::string SrtTime(std::int64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld,%03lld", static_cast<long long>(ms / 3600000),
                static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60),
                static_cast<long long>(ms % 1000));
  return text;
}

}  // namespace

std::optional<OverlayFields> ParseOverlayList(std::string_view list) {
  OverlayFields fields{false, false, false};
  if (list == "none") return fields;
  while (true) {
    const std::size_t comma = list.find(',');
    const std::string_view name = list.substr(0, comma);
    bool* field = name == "time" ? &fields.time : name == "speed" ? &fields.speed
                : name == "position" ? &fields.position : nullptr;
    if (!field || *field) return std::nullopt;
    *field = true;
    if (comma == std::string_view::npos) return fields;
    list.remove_prefix(comma + 1);
  }
}

std::string OverlayListText(const OverlayFields& fields) {
  const std::string text = JoinNonEmpty({fields.time ? "time" : "", fields.speed ? "speed" : "",
                                         fields.position ? "position" : ""}, ",");
  return text.empty() ? "none" : text;
}

namespace {

// The median of the seconds per picture between consecutive timed pictures.
double UsualInterval(const std::vector<double>& seconds, const std::vector<std::size_t>& timed, double fallback) {
  std::vector<double> intervals;
  for (std::size_t k = 1; k < timed.size(); ++k)
    intervals.push_back((seconds[timed[k]] - seconds[timed[k - 1]]) / static_cast<double>(timed[k] - timed[k - 1]));
  if (intervals.empty()) return fallback;
  std::nth_element(intervals.begin(), intervals.begin() + static_cast<std::ptrdiff_t>(intervals.size() / 2), intervals.end());
  return intervals[intervals.size() / 2];
}

// The time of untimed picture `i` from the timed pictures around it (`timed` not empty).
double PlacedTime(const std::vector<double>& seconds, const std::vector<std::size_t>& timed, std::size_t i, double usual) {
  const auto next = std::upper_bound(timed.begin(), timed.end(), i);
  const auto steps = [](std::size_t from, std::size_t to) { return static_cast<double>(to) - static_cast<double>(from); };
  if (next == timed.begin()) return seconds[*next] - steps(i, *next) * usual;
  const std::size_t before = next[-1];
  if (next == timed.end()) return seconds[before] + steps(before, i) * usual;
  return seconds[before] + (seconds[*next] - seconds[before]) * steps(before, i) / steps(before, *next);
}

}  // namespace

PictureClock ReadClock(const std::vector<std::string>& sentences, double playInterval) {
  const std::size_t n = sentences.size();
  PictureClock clock{std::vector<double>(n), std::vector<bool>(n, false)};
  std::vector<std::size_t> timed;
  for (std::size_t i = 0; i < n; ++i) {
    const auto fix = ParseGprmc(sentences[i]);
    if (!fix || fix->utc.empty() || (!timed.empty() && fix->utcSeconds <= clock.utcSeconds[timed.back()])) continue;
    clock.utcSeconds[i] = fix->utcSeconds;
    clock.fromGps[i] = true;
    timed.push_back(i);
  }
  clock.usualInterval = UsualInterval(clock.utcSeconds, timed, playInterval);
  for (std::size_t i = 0; i < n; ++i)
    if (!clock.fromGps[i])
      clock.utcSeconds[i] = timed.empty() ? static_cast<double>(i) * clock.usualInterval
                                          : PlacedTime(clock.utcSeconds, timed, i, clock.usualInterval);
  return clock;
}

std::string LocalTimeText(double utcSeconds, const TimeZone& zone) {
  const ZoneTime t = zone.At(static_cast<std::int64_t>(std::floor(utcSeconds)));
  char text[64];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d  %02d:%02d:%02d %s", t.day, t.month, t.year, t.hour, t.minute,
                t.second, t.abbreviation.c_str());
  return text;
}

std::vector<std::string> OverlayTexts(const std::vector<std::string>& sentences, const PictureClock& clock,
                                      const OverlayFields& fields, const TimeZone& zone) {
  std::vector<std::string> texts;
  if (!fields.any()) return std::vector<std::string>(sentences.size());
  std::string speedLabel;  // what the window's label would hold by now
  // Without any time to place them by, pictures show no time at all.
  const bool anyTime = std::find(clock.fromGps.begin(), clock.fromGps.end(), true) != clock.fromGps.end();
  for (std::size_t i = 0; i < sentences.size(); ++i) {
    const NmeaDisplay shown = ParseNmea(sentences[i]);
    if (shown.speedText) speedLabel = *shown.speedText;
    const auto fix = ParseGprmc(sentences[i]);
    const bool ownTime = fix && !fix->utc.empty();
    std::string position;
    if (fix && fix->valid() && fix->latitude && fix->longitude) position = Coordinates(*fix);
    const std::string time = anyTime ? LocalTimeText(ownTime ? fix->utcSeconds : clock.utcSeconds[i], zone) : "";
    const std::string first = JoinNonEmpty({fields.time ? time : "", ownTime && fields.speed ? speedLabel : "",
                                            ownTime ? "" : kNoGpsMark}, "   ");
    std::string text = JoinNonEmpty({first, fields.position ? position : ""}, "\n");
    texts.push_back(text.empty() ? kNoGpsMark : text);
  }
  return texts;
}

std::vector<std::int64_t> ClipTimesMs(const PictureClock& clock, std::optional<double> pace) {
  std::vector<std::int64_t> ms;
  const std::size_t n = clock.utcSeconds.size();
  for (std::size_t i = 0; i <= n; ++i) {  // and the end of the last picture
    const double shown = i < n ? clock.utcSeconds[i] : n ? clock.utcSeconds[n - 1] + clock.usualInterval : 0;
    const double seconds = pace ? static_cast<double>(i) * *pace : shown - (n ? clock.utcSeconds[0] : 0);
    ms.push_back(std::max<std::int64_t>(std::llround(seconds * 1000), ms.empty() ? 0 : ms.back() + 1));
  }
  return ms;
}

std::vector<std::int64_t> PictureTimesMs(const std::vector<std::string>& sentences, double playInterval,
                                         std::optional<double> pace) {
  return ClipTimesMs(ReadClock(sentences, playInterval), pace);
}

std::vector<Cue> SubtitleCues(const std::vector<std::string>& texts, const std::vector<std::int64_t>& timesMs) {
  std::vector<Cue> cues;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (!cues.empty() && cues.back().text == texts[i]) {
      cues.back().endMs = timesMs[i + 1];
      continue;
    }
    if (!texts[i].empty()) cues.push_back({i, timesMs[i], timesMs[i + 1], texts[i]});
  }
  return cues;
}

std::string SrtText(const std::vector<Cue>& cues) {
  std::string srt;
  for (std::size_t i = 0; i < cues.size(); ++i)
    srt += std::to_string(i + 1) + "\n" + SrtTime(cues[i].startMs) + " --> " + SrtTime(cues[i].endMs) + "\n" +
           cues[i].text + "\n\n";
  return srt;
}

std::optional<BandPlace> ParseBandPlace(std::string_view text) {
  if (text == "below") return BandPlace::kBelow;
  if (text == "over") return BandPlace::kOver;
  return std::nullopt;
}

const char* BandPlaceText(BandPlace place) { return place == BandPlace::kBelow ? "below" : "over"; }

OverlayStyle StyleFor(int pictureHeight, const OverlayFields& fields, int noteLines) {
  const int lines = (fields.time || fields.speed ? 1 : 0) + (fields.position ? 1 : 0) + noteLines;
  if (lines == 0) return {};
  OverlayStyle style;
  style.fontSize = pictureHeight / 20;  // 12 pixels on CIF, still legible on a phone
  style.lineSpacing = style.fontSize / 3;
  style.textTop = style.fontSize / 3;
  const int band = lines * style.fontSize + (lines - 1) * style.lineSpacing + 2 * style.textTop;
  style.bandHeight = (band + 1) / 2 * 2;  // whole chroma rows, so the band's edge stays sharp
  return style;
}

}  // namespace rovena::exporting
