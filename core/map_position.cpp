#include "core/map_position.h"

#include <cmath>
#include <cstdio>
#include <optional>

#include "core/nmea.h"

namespace rovena {
namespace {

// The view keeps still while the marker stays this far from its borders; otherwise it jumps
// to centre the marker, within the map.
constexpr int kZoneX = 160;
constexpr int kZoneY = 120;
constexpr int kMaxMapX = kMapSize - kMapViewWidth;   // 3456
constexpr int kMaxMapY = kMapSize - kMapViewHeight;  // 3616
// The marker is drawn from this far up and left of the position (its centre, rounded up).
constexpr int kMarkerOffset = 6;
const char kDegreeSign[] = "\xC2\xB0";

std::string_view Mid(std::string_view s, std::size_t from, std::size_t count = std::string_view::npos) {
  return from < s.size() ? s.substr(from, count) : std::string_view();
}

// Degrees and decimal minutes: `degreeDigits` digits of whole degrees, then minutes.
double Degrees(std::string_view text, std::size_t degreeDigits) {
  return LeadingNumber(Mid(text, 0, degreeDigits)) + LeadingNumber(Mid(text, degreeDigits)) / 60;
}

// Nearest integer, halves to even; nothing when the value does not fit 32 bits (far off the
// map with extreme settings) or is not a number.
std::optional<int> RoundToInt32(double v) {
  if (!(v >= -2147483648.5 && v < 2147483647.5)) return std::nullopt;
  const double r = std::nearbyint(v);
  if (r < -2147483648.0 || r > 2147483647.0) return std::nullopt;
  return static_cast<int>(r);
}

bool OnMapPixel(const std::optional<int>& v) { return v && *v >= 0 && *v < kMapSize; }

// New view origin along one axis, from the old one and the marker's map pixel.
int ScrollAxis(int origin, int pixel, int zone, int viewSize, int maxOrigin) {
  int next = origin;
  if (pixel - origin < zone) next = pixel - viewSize / 2;
  if (next < 0) next = 0;
  if (pixel - origin > viewSize - zone) next = pixel - viewSize / 2;
  if (next > maxOrigin) next = maxOrigin;
  return next;
}

}  // namespace

std::string FormatDegrees(double value, std::string_view decimalSeparator) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.5f", value);
  std::string text(buffer);
  if (text == "-0.00000") text.erase(0, 1);  // a value that rounds to zero has no sign
  const std::size_t point = text.find('.');
  if (point != std::string::npos) text.replace(point, 1, decimalSeparator);
  return text;
}

MapPositionResult ComputeShowPos(const MapPositionInput& in) {
  MapPositionResult r;
  const MapCalibration& cal = in.calibration;
  r.lat = Degrees(in.LatText, 2);
  r.lon = Degrees(in.LonText, 3);
  const std::optional<int> y = RoundToInt32((cal.MapLat1 - r.lat) * cal.ScaleLat);
  const std::optional<int> x = RoundToInt32((r.lon - cal.MapLon1) * cal.ScaleLon);
  r.MapX = in.MapX;
  r.MapY = in.MapY;
  r.onMap = in.mapLoaded && OnMapPixel(x) && OnMapPixel(y);
  if (!r.onMap) {
    r.latLabel = "Lat: " + FormatDegrees(r.lat, in.decimalSeparator) + kDegreeSign;
    r.lonLabel = "Lon: " + FormatDegrees(r.lon, in.decimalSeparator) + kDegreeSign;
    return r;
  }
  r.MapX = ScrollAxis(in.MapX, *x, kZoneX, kMapViewWidth, kMaxMapX);
  r.MapY = ScrollAxis(in.MapY, *y, kZoneY, kMapViewHeight, kMaxMapY);
  r.redraw = r.MapX != in.MapX || r.MapY != in.MapY;
  r.markerLeft = *x - r.MapX - kMarkerOffset;
  r.markerTop = *y - r.MapY - kMarkerOffset;
  r.markerRed = in.GpsValid;
  return r;
}

}  // namespace rovena
