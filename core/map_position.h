// ShowPos arithmetic: where the vehicle of a GPS sentence lies on the 4096 x 4096 map, how
// the 640 x 480 window onto the map scrolls, and where the marker goes. The window applies
// the result (draws the region, moves the marker, shows the labels).
#pragma once

#include <string>
#include <string_view>

namespace rovena {

constexpr int kMapSize = 4096;
constexpr int kMapViewWidth = 640;
constexpr int kMapViewHeight = 480;
constexpr int kMarkerSize = 11;

// The map's calibration as Rovena.ini gives it; the scales follow from the edges (or are the
// fixed defaults when there is no file).
struct MapCalibration {
  float MapLat1 = 0;  // latitude of the map's top edge
  float MapLon1 = 0;  // longitude of the map's left edge
  float ScaleLat = 0; // map pixels per degree
  float ScaleLon = 0;
  float MapLat2 = 0;  // MapLat2 - MapLat1 is the map's latitude span
  float MapLon2 = 0;  // MapLon1 - MapLon2 is its longitude span
};

struct MapPositionInput {
  std::string_view LatText;  // ddmm.mmmm as the sentence wrote it
  std::string_view LonText;  // dddmm.mmmm
  bool GpsValid = false;
  bool mapLoaded = false;
  int MapX = 0;  // current top-left corner of the view onto the map
  int MapY = 0;
  MapCalibration calibration;
  // Decimal separator of the user's regional settings, for the off-map labels (UTF-8).
  std::string_view decimalSeparator = ".";
};

struct MapPositionResult {
  double lat = 0;  // degrees, hemisphere ignored (everything counts as north and east)
  double lon = 0;
  bool onMap = false;
  // On the map: the new view corner, whether the view moved (and so must be redrawn), the
  // marker's top-left corner in picture-area pixels and its colour (red valid, blue not).
  int MapX = 0;
  int MapY = 0;
  bool redraw = false;
  int markerLeft = 0;
  int markerTop = 0;
  bool markerRed = false;
  // Off the map: the coordinate labels ("Lat: 52.23539°"). MapX/MapY keep the input values.
  std::string latLabel;
  std::string lonLabel;
};

MapPositionResult ComputeShowPos(const MapPositionInput& input);

// "##0.00000": one or more digits before the separator given, always five after it.
std::string FormatDegrees(double value, std::string_view decimalSeparator);

}  // namespace rovena
