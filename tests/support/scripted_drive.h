// A drive scripted second by second for the event tests: speed, course and whether the
// receiver has a fix, turned into a recording with one picture (and one $GPRMC sentence)
// every `spacing` seconds. The car moves along its course at its speed, so places agree with
// speeds. Header-only, so every test binary can use it.
#pragma once

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tools/recording_writer.h"

namespace rovena::test {

struct DriveSecond {
  double speedKmh = 0;
  double course = 0;
  bool valid = true;
};

// `second` seconds after 2006-03-01 00:00:00 UTC.
inline std::string ScriptedSentence(long second, double lat, double lon, const DriveSecond& s) {
  const long day = second / 86400, t = second % 86400;
  char body[160];
  std::snprintf(body, sizeof body, "GPRMC,%02ld%02ld%02ld.000,%c,%02d%07.4f,N,%03d%07.4f,E,%.1f,%.1f,%02ld0306,,,A",
                t / 3600, t / 60 % 60, t % 60, s.valid ? 'A' : 'V', static_cast<int>(lat),
                (lat - static_cast<int>(lat)) * 60, static_cast<int>(lon), (lon - static_cast<int>(lon)) * 60,
                s.speedKmh / 1.852, s.course, day + 1);
  unsigned sum = 0;
  for (const char* c = body; *c; ++c) sum ^= static_cast<unsigned char>(*c);
  char sentence[200];
  std::snprintf(sentence, sizeof sentence, "$%s*%02X", body, sum);
  return sentence;
}

// Pictures for seconds 0, spacing, 2 * spacing, ... below `seconds`, starting at `startSecond`.
inline bool WriteScriptedDrive(const std::string& path, int seconds, int spacing,
                               const std::function<DriveSecond(int)>& script, long startSecond = 0) {
  static const std::vector<uint8_t> slice = EncodeSliceData(MakeTestPattern(320, 240, 0));
  RecordingWriter writer(320, 240);
  double lat = 52.2, lon = 21.0;
  for (int t = 0; t < seconds; ++t) {
    const DriveSecond s = script(t);
    if (t % spacing == 0) writer.AddCodedPicture(slice, ScriptedSentence(startSecond + t, lat, lon, s));
    const double metres = s.speedKmh / 3.6, heading = s.course * 3.14159265358979 / 180;
    lat += metres * std::cos(heading) / 111195;
    lon += metres * std::sin(heading) / (111195 * std::cos(52.2 * 3.14159265358979 / 180));
  }
  return writer.WriteFile(path);
}

}  // namespace rovena::test
