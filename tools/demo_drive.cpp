#include "tools/demo_drive.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include <filesystem>

#include "core/atomic_file.h"
#include "tools/recording_writer.h"

namespace rovena {
namespace {

constexpr double kPi = 3.14159265358979323846;
// The viewer's built-in calibration: the map's top-left corner and pixels per degree.
constexpr double kMapLat1 = 52.41674;
constexpr double kMapLon1 = 20.79139;
constexpr double kScaleLat = 10653;
constexpr double kScaleLon = 7327;
// Metres per map pixel at the map's latitude (about 52.2 degrees north).
constexpr double kMetresPerDegree = 111320;
const double kMetresPerPixelY = kMetresPerDegree / kScaleLat;
const double kMetresPerPixelX = kMetresPerDegree * std::cos(52.22 * kPi / 180) / kScaleLon;

constexpr int kTunnelFirst = 90;
constexpr int kTunnelLast = 109;
constexpr int kPictureWithoutGps = 130;
constexpr int kStartSeconds = 14 * 3600 + 5 * 60;  // 14:05:00 UTC
const char kDate[] = "140607";                      // 14 June 2007
constexpr double kKnotsPerKmh = 1 / 1.852;

double SpeedKmh(int index) { return 75 + 25 * std::sin(index / 37.0); }

double DistanceDriven(int index) {
  double metres = 0;
  for (int k = 0; k < index; ++k) metres += SpeedKmh(k) / 3.6;
  return metres;
}

double SegmentMetres(const MapPoint& a, const MapPoint& b) {
  return std::hypot((b.x - a.x) * kMetresPerPixelX, (b.y - a.y) * kMetresPerPixelY);
}

double CourseOf(const MapPoint& a, const MapPoint& b) {
  const double degrees =
      std::atan2((b.x - a.x) * kMetresPerPixelX, -(b.y - a.y) * kMetresPerPixelY) * 180 / kPi;
  return degrees < 0 ? degrees + 360 : degrees;
}

// The point `metres` along the route, and the course of the segment it lies on.
void PointAlongRoute(double metres, MapPoint& where, double& course) {
  const std::vector<MapPoint>& route = DemoRoute();
  for (std::size_t i = 1; i < route.size(); ++i) {
    const double length = SegmentMetres(route[i - 1], route[i]);
    if (metres <= length || i + 1 == route.size()) {
      const double t = std::min(1.0, metres / length);
      where = {route[i - 1].x + t * (route[i].x - route[i - 1].x),
               route[i - 1].y + t * (route[i].y - route[i - 1].y)};
      course = CourseOf(route[i - 1], route[i]);
      return;
    }
    metres -= length;
  }
}

// Locale-independent fixed notation, zero-padded to `width` characters.
std::string Fixed(double value, int decimals, int width = 0) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  std::string out(text, result.ptr);
  if (static_cast<int>(out.size()) < width) out.insert(0, width - out.size(), '0');
  return out;
}

std::string DegreesMinutes(double degrees, int degreeDigits) {
  const int whole = static_cast<int>(degrees);
  char head[8];
  std::snprintf(head, sizeof head, "%0*d", degreeDigits, whole);
  return head + Fixed((degrees - whole) * 60, 4, 7);
}

unsigned Checksum(const std::string& body) {
  unsigned sum = 0;
  for (char c : body) sum ^= static_cast<unsigned char>(c);
  return sum;
}

}  // namespace

const std::vector<MapPoint>& DemoRoute() {
  static const std::vector<MapPoint> route{
      {420, 3350},  {700, 3180},  {980, 3150},  {1240, 2960}, {1380, 2700}, {1650, 2560},
      {1980, 2540}, {2240, 2330}, {2330, 2040}, {2600, 1850}, {2950, 1800}, {3200, 1560},
      {3300, 1250}, {3560, 1050}, {3700, 760}};
  return route;
}

double DemoLatitude(double mapY) { return kMapLat1 - mapY / kScaleLat; }
double DemoLongitude(double mapX) { return kMapLon1 + mapX / kScaleLon; }

DrivePoint DemoDrivePoint(int index) {
  DrivePoint p;
  PointAlongRoute(DistanceDriven(index), p.where, p.courseDegrees);
  p.speedKmh = SpeedKmh(index);
  p.secondsFromStart = index;
  p.inTunnel = index >= kTunnelFirst && index <= kTunnelLast;
  p.withoutGps = index == kPictureWithoutGps;
  return p;
}

std::string DemoSentence(int index, int stopSeconds) {
  const DrivePoint p = DemoDrivePoint(index);
  if (p.withoutGps) return {};
  const int seconds = kStartSeconds + p.secondsFromStart + stopSeconds;
  char time[16];
  std::snprintf(time, sizeof time, "%02d%02d%02d.000", seconds / 3600 % 24, seconds / 60 % 60, seconds % 60);
  const std::string body = std::string("GPRMC,") + time + "," + (p.inTunnel ? "V" : "A") + "," +
                           DegreesMinutes(DemoLatitude(p.where.y), 2) + ",N," +
                           DegreesMinutes(DemoLongitude(p.where.x), 3) + ",E," +
                           Fixed(p.speedKmh * kKnotsPerKmh, 1) + "," + Fixed(p.courseDegrees, 1) + "," +
                           kDate + ",,," + (p.inTunnel ? "N" : "A");
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X", Checksum(body));
  return "$" + body + tail;
}

namespace {

struct Rgb {
  std::uint8_t r, g, b;
};

class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height), rgb_(static_cast<std::size_t>(width) * height * 3) {}
  void Set(int x, int y, Rgb c) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    std::uint8_t* p = &rgb_[(static_cast<std::size_t>(y) * width_ + x) * 3];
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
  }
  void Rect(int x0, int y0, int x1, int y1, Rgb c) {
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) Set(x, y, c);
  }
  std::vector<std::uint8_t>& Pixels() { return rgb_; }

 private:
  int width_, height_;
  std::vector<std::uint8_t> rgb_;
};

Rgb Mix(Rgb a, Rgb b, double t) {
  const auto lerp = [t](int x, int y) { return static_cast<std::uint8_t>(x + (y - x) * t); };
  return {lerp(a.r, b.r), lerp(a.g, b.g), lerp(a.b, b.b)};
}

// The scene's geometry for one picture: horizon row, the road's centre and half-width per
// row, and the distance along the road that each row shows.
struct RoadView {
  int width, height;
  double horizon;
  double bend;       // -1..1, positive bends right
  double driven;     // metres
  double Depth(int y) const { return height * 0.9 / (y - horizon + 0.5); }
  double Towards(int y) const { return (height - y) / (height - horizon); }  // 0 bottom, 1 horizon
  double Centre(int y) const { const double t = Towards(y); return width / 2.0 + bend * width * 0.45 * t * t; }
  double HalfWidth(int y) const { return width * (0.015 + 0.5 * (1 - Towards(y))); }
};

void DrawGroundRow(Canvas& c, const RoadView& v, int y, bool tunnel) {
  const double z = v.Depth(y);
  const double centre = v.Centre(y), half = v.HalfWidth(y);
  const bool fieldStripe = std::fmod(z + v.driven, 40) < 20;
  const bool dash = std::fmod(z + v.driven, 12) < 5;
  const Rgb ground = tunnel ? Rgb{48, 46, 44} : fieldStripe ? Rgb{92, 140, 64} : Rgb{80, 128, 56};
  const Rgb asphalt = tunnel ? Rgb{62, 62, 66} : Rgb{96, 96, 100};
  for (int x = 0; x < v.width; ++x) {
    const double across = std::fabs(x - centre) / half;
    Rgb colour = ground;
    if (across < 1) colour = asphalt;
    if (across > 0.9 && across < 0.95) colour = {235, 235, 235};
    if (across < 0.025 && dash) colour = {245, 245, 245};
    c.Set(x, y, colour);
  }
}

void DrawSkyRow(Canvas& c, const RoadView& v, int y, bool tunnel) {
  const double t = y / v.horizon;
  Rgb colour = Mix({84, 140, 220}, {196, 220, 244}, t);
  if (tunnel) {
    // Ceiling lamps come towards the car like the dashes do.
    const double z = v.height * 0.9 / (v.horizon - y + 0.5);
    colour = std::fmod(z + v.driven, 25) < 2 ? Rgb{250, 220, 120} : Rgb{38, 38, 42};
  }
  for (int x = 0; x < v.width; ++x) c.Set(x, y, colour);
}

// Posts beside the road every 50 metres, growing as they come closer.
void DrawPosts(Canvas& c, const RoadView& v) {
  const double first = 50 - std::fmod(v.driven, 50);
  for (int k = 0; k < 12; ++k) {
    const double z = first + 50 * k;
    if (z < 4) continue;
    const int y = static_cast<int>(v.horizon + v.height * 0.9 / z);
    if (y >= v.height) continue;
    const double half = v.HalfWidth(y), centre = v.Centre(y);
    const int postHeight = static_cast<int>(v.height * 2.2 / z) + 2;
    const int postWidth = std::max(1, static_cast<int>(v.width * 0.25 / z));
    for (const double side : {-1.2, 1.2}) {
      const int x = static_cast<int>(centre + side * half);
      c.Rect(x - postWidth / 2, y - postHeight, x + postWidth / 2 + 1, y, {245, 245, 240});
      c.Rect(x - postWidth / 2, y - postHeight, x + postWidth / 2 + 1, y - postHeight * 3 / 4, {210, 40, 30});
    }
  }
}

}  // namespace

std::vector<std::uint8_t> RenderDemoPicture(int width, int height, int index) {
  const DrivePoint now = DemoDrivePoint(index);
  const DrivePoint ahead = DemoDrivePoint(index + 8);
  double turn = ahead.courseDegrees - now.courseDegrees;
  if (turn > 180) turn -= 360;
  if (turn < -180) turn += 360;
  const RoadView view{width, height, std::floor(height * 0.42), std::clamp(turn / 40, -1.0, 1.0), DistanceDriven(index)};

  Canvas canvas(width, height);
  const int horizon = static_cast<int>(view.horizon);
  for (int y = 0; y < horizon; ++y) DrawSkyRow(canvas, view, y, now.inTunnel);
  for (int y = horizon; y < height; ++y) DrawGroundRow(canvas, view, y, now.inTunnel);
  DrawPosts(canvas, view);
  // The bonnet of the car at the bottom edge.
  canvas.Rect(0, height - height / 16, width, height, {28, 30, 36});
  return std::move(canvas.Pixels());
}

std::string WriteDemoRecording(const std::string& path, int width, int height, int pictures, IfExists ifExists) {
  RecordingWriter writer(width, height);
  for (int i = 0; i < pictures; ++i) writer.AddRgbPicture(RenderDemoPicture(width, height, i), DemoSentence(i));
  return WriteFileAtomically(path, writer.Bytes(), ifExists);
}

std::vector<DemoTripPart> DemoTripParts(int pictures) {
  const int parts = std::min(3, pictures);
  std::vector<DemoTripPart> out;
  for (int k = 0; k < parts; ++k) {
    DemoTripPart part;
    part.firstPicture = pictures * k / parts;
    part.pictures = pictures * (k + 1) / parts - part.firstPicture;
    part.stopSeconds = k == 2 ? kDemoStopSeconds : 0;
    const int start = kStartSeconds + DemoDrivePoint(part.firstPicture).secondsFromStart + part.stopSeconds;
    char name[16];
    std::snprintf(name, sizeof name, "%02d%02d%02d.m1v", start / 3600 % 24, start / 60 % 60, start % 60);
    part.name = name;
    out.push_back(part);
  }
  return out;
}

std::string WriteDemoDrive(const std::string& recordingPath, const std::string& tripFolder, int pictures,
                           IfExists ifExists) {
  constexpr int kWidth = 640, kHeight = 480;
  std::vector<std::vector<std::uint8_t>> slices;
  RecordingWriter whole(kWidth, kHeight);
  for (int i = 0; i < pictures; ++i) {
    slices.push_back(EncodeSliceData(YuvPicture::FromRgb(kWidth, kHeight, RenderDemoPicture(kWidth, kHeight, i))));
    whole.AddCodedPicture(slices.back(), DemoSentence(i));
  }
  std::string error = WriteFileAtomically(recordingPath, whole.Bytes(), ifExists);
  if (!error.empty()) return error;
  std::error_code ec;
  std::filesystem::create_directories(tripFolder, ec);
  if (ec) return "cannot create " + tripFolder + ": " + ec.message();
  for (const DemoTripPart& part : DemoTripParts(pictures)) {
    RecordingWriter writer(kWidth, kHeight);
    for (int i = part.firstPicture; i < part.firstPicture + part.pictures; ++i)
      writer.AddCodedPicture(slices[static_cast<std::size_t>(i)], DemoSentence(i, part.stopSeconds));
    error = WriteFileAtomically((std::filesystem::path(tripFolder) / part.name).string(), writer.Bytes(), ifExists);
    if (!error.empty()) return error;
  }
  return {};
}

}  // namespace rovena
