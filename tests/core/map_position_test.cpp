#include "core/map_position.h"

#include <gtest/gtest.h>

#include <cmath>

namespace rovena {
namespace {

MapCalibration DefaultCalibration() { return {52.41674f, 20.79139f, 10653, 7327}; }

// Texts that land exactly on map pixel (x, y) under the default calibration: the inverse of
// the conversion, written with enough minute decimals to round back to the same pixel.
struct Texts {
  std::string lat, lon;
};
Texts TextsForPixel(int x, int y) {
  const MapCalibration c = DefaultCalibration();
  const double lat = c.MapLat1 - y / static_cast<double>(c.ScaleLat);
  const double lon = c.MapLon1 + x / static_cast<double>(c.ScaleLon);
  char la[32], lo[32];
  std::snprintf(la, sizeof la, "%02d%09.6f", static_cast<int>(lat), (lat - static_cast<int>(lat)) * 60);
  std::snprintf(lo, sizeof lo, "%03d%09.6f", static_cast<int>(lon), (lon - static_cast<int>(lon)) * 60);
  return {la, lo};
}

MapPositionResult ShowAt(int x, int y, int mapX, int mapY, bool valid = true) {
  const Texts t = TextsForPixel(x, y);
  MapPositionInput in;
  in.LatText = t.lat;
  in.LonText = t.lon;
  in.GpsValid = valid;
  in.mapLoaded = true;
  in.MapX = mapX;
  in.MapY = mapY;
  in.calibration = DefaultCalibration();
  return ComputeShowPos(in);
}

TEST(ShowPos, SentenceExampleMovesTheViewToCentreTheMarker) {
  MapPositionInput in;
  in.LatText = "5214.1234";
  in.LonText = "02100.5678";
  in.GpsValid = true;
  in.mapLoaded = true;
  in.calibration = DefaultCalibration();
  const MapPositionResult r = ComputeShowPos(in);
  EXPECT_NEAR(r.lat, 52.235390, 1e-6);
  EXPECT_NEAR(r.lon, 21.009463, 1e-6);
  ASSERT_TRUE(r.onMap);
  EXPECT_TRUE(r.redraw);
  EXPECT_EQ(r.MapX, 1278);
  EXPECT_EQ(r.MapY, 1692);
  EXPECT_EQ(r.markerLeft, 314);
  EXPECT_EQ(r.markerTop, 234);
  EXPECT_TRUE(r.markerRed);
}

TEST(ShowPos, ScrollZoneAndMapEdges) {
  // Inside the zone: no redraw, the marker moves.
  MapPositionResult r = ShowAt(1650, 1900, 1278, 1692, false);
  EXPECT_FALSE(r.redraw);
  EXPECT_EQ(r.MapX, 1278);
  EXPECT_EQ(r.markerLeft, 366);
  EXPECT_EQ(r.markerTop, 202);
  EXPECT_FALSE(r.markerRed);

  // Near the top-left corner: the jump is clamped back to (0, 0), so nothing is redrawn.
  r = ShowAt(100, 50, 0, 0);
  EXPECT_FALSE(r.redraw);
  EXPECT_EQ(r.markerLeft, 94);
  EXPECT_EQ(r.markerTop, 44);

  // The far corner clamps to 4096 - 640 and 4096 - 480.
  r = ShowAt(4095, 4095, 0, 0);
  EXPECT_TRUE(r.redraw);
  EXPECT_EQ(r.MapX, 3456);
  EXPECT_EQ(r.MapY, 3616);
  EXPECT_EQ(r.markerLeft, 633);
  EXPECT_EQ(r.markerTop, 473);
}

TEST(ShowPos, ZoneBordersAreExact) {
  EXPECT_FALSE(ShowAt(1160, 1300, 1000, 1000).redraw);  // x - MapX = 160 stays
  MapPositionResult r = ShowAt(1159, 1300, 1000, 1000);  // 159 jumps
  EXPECT_TRUE(r.redraw);
  EXPECT_EQ(r.MapX, 839);
  EXPECT_EQ(r.MapY, 1000);
  EXPECT_FALSE(ShowAt(1480, 1360, 1000, 1000).redraw);   // 480 and 360 stay
  EXPECT_EQ(ShowAt(1481, 1300, 1000, 1000).MapX, 1161);
  EXPECT_EQ(ShowAt(1300, 1361, 1000, 1000).MapY, 1121);
  EXPECT_EQ(ShowAt(1300, 1119, 1000, 1000).MapY, 879);
}

TEST(ShowPos, OffMapLabelsAndNoMap) {
  for (auto [x, y] : {std::pair{4096, 100}, std::pair{100, -1}, std::pair{-1, 100}}) {
    const MapPositionResult r = ShowAt(x, y, 5, 7);
    EXPECT_FALSE(r.onMap) << x << "," << y;
    EXPECT_EQ(r.MapX, 5);
    EXPECT_EQ(r.MapY, 7);
  }
  MapPositionInput in;
  in.LatText = "5214.1234";
  in.LonText = "02100.5678";
  in.mapLoaded = false;
  in.calibration = DefaultCalibration();
  in.decimalSeparator = ",";
  MapPositionResult r = ComputeShowPos(in);
  EXPECT_FALSE(r.onMap);
  EXPECT_EQ(r.latLabel, "Lat: 52,23539\u00B0");
  EXPECT_EQ(r.lonLabel, "Lon: 21,00946\u00B0");

  in.LatText = "";
  in.LonText = "xyz";
  in.mapLoaded = true;
  in.decimalSeparator = ".";
  r = ComputeShowPos(in);
  EXPECT_FALSE(r.onMap);
  EXPECT_EQ(r.latLabel, "Lat: 0.00000\u00B0");
  EXPECT_EQ(r.lonLabel, "Lon: 0.00000\u00B0");
}

TEST(ShowPos, FarOutsideThirtyTwoBitsIsOffMap) {
  MapPositionInput in;
  in.LatText = "5214.1234";
  in.LonText = "1e300";
  in.mapLoaded = true;
  in.calibration = DefaultCalibration();
  EXPECT_FALSE(ComputeShowPos(in).onMap);
}

TEST(ShowPos, RoundsHalvesToEven) {
  // Scale 1 and origin 0 make the product the pixel itself.
  MapPositionInput in;
  in.mapLoaded = true;
  in.calibration = {0, 0, -1, 1};  // y = lat, x = lon
  in.LatText = "0030";  // 0.5 degrees
  in.LonText = "00290";  // 2 + 90/60 = 3.5
  MapPositionResult r = ComputeShowPos(in);
  ASSERT_TRUE(r.onMap);
  EXPECT_EQ(r.markerTop + r.MapY + 6, 0);
  EXPECT_EQ(r.markerLeft + r.MapX + 6, 4);
  in.LatText = "0190";  // 2.5
  r = ComputeShowPos(in);
  EXPECT_EQ(r.markerTop + r.MapY + 6, 2);
}

TEST(FormatDegrees, FivePlacesAtLeastOneIntegerDigit) {
  EXPECT_EQ(FormatDegrees(0.123456, "."), "0.12346");
  EXPECT_EQ(FormatDegrees(123.4, ","), "123,40000");
  EXPECT_EQ(FormatDegrees(-0.000001, "."), "0.00000");
  EXPECT_EQ(FormatDegrees(-1.5, "\u066B"), "-1\u066B50000");
}

}  // namespace
}  // namespace rovena
