// The demo's drive: a route of map pixels on the demo map, driven at changing speeds with one
// $GPRMC sentence per picture, a stretch through a tunnel where the receiver loses its fix,
// and one picture without any GPS data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/atomic_file.h"

namespace rovena {

struct MapPoint {
  double x = 0;  // map pixels, 0..4095, east
  double y = 0;  // south
};

// The road the demo car drives along (and the demo map draws), as map-pixel corners.
const std::vector<MapPoint>& DemoRoute();

struct DrivePoint {
  MapPoint where;
  double speedKmh = 0;
  double courseDegrees = 0;  // true course, 0 north, 90 east
  int secondsFromStart = 0;
  bool inTunnel = false;     // the receiver reports no fix ('V') here
  bool withoutGps = false;   // the picture carries no user data at all
};

// Where the car is at picture `index` (0-based), one second per picture.
DrivePoint DemoDrivePoint(int index);

// Map pixel to degrees under the viewer's built-in calibration (no Rovena.ini).
double DemoLatitude(double mapY);
double DemoLongitude(double mapX);

// The sentence of picture `index`, with its checksum; empty for the picture without GPS.
// `stopSeconds` moves its time later, as if the car had stood still that long before it.
std::string DemoSentence(int index, int stopSeconds = 0);

// One demo picture: a road seen from the car, 3 bytes per pixel R, G, B, rows top-down.
// The dashes run towards the viewer with the distance driven; the road bends with the
// course; inside the tunnel it is dark.
std::vector<std::uint8_t> RenderDemoPicture(int width, int height, int index);

// Writes the demo recording (atomically). Returns an error text, empty on success.
std::string WriteDemoRecording(const std::string& path, int width, int height, int pictures,
                               IfExists ifExists);

// The demo drive split as a recorder splits a drive: three recordings named by their start
// time (HHMMSS.m1v), the car standing still for kDemoStopSeconds between the second and
// the third, so the recording after the stop begins that much later.
constexpr int kDemoStopSeconds = 240;
struct DemoTripPart {
  std::string name;
  int firstPicture = 0;  // index into the drive
  int pictures = 0;
  int stopSeconds = 0;   // how much later than the drive's own clock its times run
};
std::vector<DemoTripPart> DemoTripParts(int pictures);

// Writes the 640 x 480 drive of `pictures` pictures whole into `recordingPath` and as a trip
// into `tripFolder` (created when missing), encoding each picture once. Returns an error
// text, empty on success.
std::string WriteDemoDrive(const std::string& recordingPath, const std::string& tripFolder, int pictures,
                           IfExists ifExists);

}  // namespace rovena
