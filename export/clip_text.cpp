#include "export/clip_text.h"

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

std::vector<std::string> OverlayTexts(const std::vector<std::string>& sentences, const OverlayFields& fields) {
  std::vector<std::string> texts;
  std::string timeLabel, speedLabel;  // what the window's labels would hold by now
  for (const std::string& sentence : sentences) {
    const NmeaDisplay shown = ParseNmea(sentence);
    if (shown.timeText) timeLabel = *shown.timeText;
    if (shown.speedText) speedLabel = *shown.speedText;
    std::string position;
    if (const auto fix = ParseGprmc(sentence); fix && fix->valid() && fix->latitude && fix->longitude)
      position = Coordinates(*fix);
    const std::string first = JoinNonEmpty({fields.time ? timeLabel : "", fields.speed ? speedLabel : ""}, "   ");
    texts.push_back(JoinNonEmpty({first, fields.position ? position : ""}, "\n"));
  }
  return texts;
}

std::vector<std::int64_t> PictureTimesMs(const std::vector<std::string>& sentences, double playInterval,
                                         std::optional<double> pace) {
  const std::size_t n = sentences.size();
  std::vector<double> seconds(n);
  if (pace) {
    for (std::size_t i = 0; i < n; ++i) seconds[i] = static_cast<double>(i) * *pace;
  } else {
    // Pictures before the first usable time are placed backwards from it.
    std::optional<double> previous;
    std::size_t firstTimed = n;
    for (std::size_t i = 0; i < n; ++i) {
      const auto fix = ParseGprmc(sentences[i]);
      const bool timed = fix && !fix->utc.empty() && (!previous || fix->utcSeconds > *previous);
      if (timed && firstTimed == n) firstTimed = i;
      seconds[i] = timed ? fix->utcSeconds : previous ? *previous + playInterval : 0;
      if (timed || previous) previous = seconds[i];
    }
    for (std::size_t i = 0; i < firstTimed && firstTimed < n; ++i)
      seconds[i] = seconds[firstTimed] - static_cast<double>(firstTimed - i) * playInterval;
  }
  std::vector<std::int64_t> ms;
  for (std::size_t i = 0; i < n; ++i) ms.push_back(std::llround((seconds[i] - seconds[0]) * 1000));
  const std::int64_t last = n >= 2 ? ms[n - 1] - ms[n - 2] : std::llround((pace ? *pace : playInterval) * 1000);
  ms.push_back((n ? ms[n - 1] : 0) + last);
  return ms;
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

OverlayStyle StyleFor(int pictureHeight, const OverlayFields& fields) {
  const int lines = (fields.time || fields.speed ? 1 : 0) + (fields.position ? 1 : 0);
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
