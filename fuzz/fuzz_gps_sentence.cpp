// The $GPRMC parsers on arbitrary user-data text: the labels' parse, the track export's full
// parse, and the map arithmetic fed with what the labels' parse kept. Besides memory and
// undefined-behaviour faults, the map view must stay on the map and the marker inside the
// view whenever the position is reported as on the map.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/gps_track.h"
#include "core/ini_config.h"
#include "core/map_position.h"
#include "core/nmea.h"

namespace {

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

void CheckMapPosition(const rovena::NmeaDisplay& shown, int mapX, int mapY) {
  const rovena::IniSettings ini = rovena::DefaultIniSettings();
  const std::string latText = shown.latText.value_or("");
  const std::string lonText = shown.lonText.value_or("");
  rovena::MapPositionInput in;
  in.LatText = latText;
  in.LonText = lonText;
  in.GpsValid = shown.gpsValid;
  in.mapLoaded = true;
  in.MapX = mapX;
  in.MapY = mapY;
  in.calibration = {ini.MapLat1, ini.MapLon1, ini.ScaleLat, ini.ScaleLon};
  const rovena::MapPositionResult r = rovena::ComputeShowPos(in);
  if (!r.onMap) {
    Check(!r.latLabel.empty() && !r.lonLabel.empty(), "off the map without coordinate labels");
    return;
  }
  Check(r.MapX >= 0 && r.MapX <= rovena::kMapSize - rovena::kMapViewWidth, "view left edge off the map");
  Check(r.MapY >= 0 && r.MapY <= rovena::kMapSize - rovena::kMapViewHeight, "view top edge off the map");
  Check(r.markerLeft >= -6 && r.markerLeft < rovena::kMapViewWidth - 6, "marker outside the view (x)");
  Check(r.markerTop >= -6 && r.markerTop < rovena::kMapViewHeight - 6, "marker outside the view (y)");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // The first byte places the current view; the rest is the sentence.
  const int mapX = (data[0] & 0x0F) * 230;
  const int mapY = (data[0] >> 4) * 240;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  const rovena::NmeaDisplay shown = rovena::ParseNmea(text);
  CheckMapPosition(shown, mapX, mapY);

  if (const auto fix = rovena::ParseGprmc(text)) {
    Check(!fix->latitude || (*fix->latitude >= -90 && *fix->latitude <= 90), "latitude out of range");
    Check(!fix->longitude || (*fix->longitude >= -180 && *fix->longitude <= 180), "longitude out of range");
    Check(!fix->utc.empty() || fix->utcSeconds == 0, "seconds without a time text");
  }
  (void)rovena::LeadingNumber(text);
  return 0;
}
