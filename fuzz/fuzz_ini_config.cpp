// The configuration file reader and the command-line rule on arbitrary text. A file reported
// complete must give map scales that are numbers (absurd calibrations may give 0 or an
// infinite scale, which the map arithmetic then places off the map), and the map arithmetic
// must take whatever scales come out.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "core/ini_config.h"
#include "core/map_position.h"

namespace {

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const rovena::IniLoadResult loaded = rovena::LoadIniText(text);
  for (const rovena::IniMessage& message : loaded.messages)
    Check(message.icon != rovena::IniMessage::Icon::Critical || !loaded.complete, "complete despite a critical message");
  if (loaded.complete) {
    const rovena::IniSettings& s = loaded.settings;
    Check(!std::isnan(s.ScaleLat) && !std::isnan(s.ScaleLon), "a scale that is not a number");
    Check(s.PlayInterval != 0, "complete without a play interval");
    rovena::MapPositionInput in;
    in.LatText = "5214.1234";
    in.LonText = "02100.5000";
    in.mapLoaded = true;
    in.calibration = {s.MapLat1, s.MapLon1, s.ScaleLat, s.ScaleLon};
    (void)rovena::ComputeShowPos(in);
  }
  const std::string stripped = rovena::StripCommandLineQuotes(text);
  Check(stripped.size() <= size && stripped.size() + 2 >= size, "the command-line rule removed more than two quotes");
  return 0;
}
