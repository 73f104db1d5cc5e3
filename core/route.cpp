#include "core/route.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/gps_track.h"
#include "core/picture_walker.h"

namespace rovena {
namespace {

constexpr double kMetresPerDegree = 111320;  // along a meridian, and along the equator
constexpr double kPi = 3.14159265358979323846;

double Distance(PlanePoint a, PlanePoint b) { return std::hypot(a.x - b.x, a.y - b.y); }

}  // namespace

Route GatherRoute(const std::vector<std::string>& recordings, const std::function<bool()>& cancelled) {
  Route route;
  route.recordings = recordings;
  for (int index = 0; index < static_cast<int>(recordings.size()); ++index) {
    Recording recording;
    std::string error;
    if (!recording.Open(recordings[static_cast<std::size_t>(index)], error)) continue;
    // Only the sentences are wanted: the walk passes over the coded data without copying it.
    PictureWalker walker(recording);
    while (!cancelled() && walker.Next()) {
      const std::optional<GpsFix> fix = ParseGprmc(walker.Sentence());
      if (!fix) continue;
      RoutePoint point;
      point.recording = index;
      point.picture = walker.Number();
      point.position = walker.Position();
      point.utcSeconds = fix->utcSeconds;
      point.valid = fix->valid() && fix->latitude.has_value();
      point.lat = fix->latitude.value_or(0);
      point.lon = fix->longitude.value_or(0);
      point.speedKmh = fix->speedKmh.value_or(0);
      point.course = fix->course;
      route.points.push_back(point);
    }
  }
  return route;
}

std::optional<int> Route::PointAt(int recording, std::int64_t position) const {
  const auto it = std::lower_bound(points.begin(), points.end(), std::pair(recording, position),
                                   [](const RoutePoint& p, const std::pair<int, std::int64_t>& key) {
                                     return std::pair(p.recording, p.position) < key;
                                   });
  if (it == points.end() || it->recording != recording || it->position != position) return std::nullopt;
  return static_cast<int>(it - points.begin());
}

std::optional<int> Route::PointNearestTime(double utcSeconds) const {
  std::optional<int> nearest;
  double best = std::numeric_limits<double>::infinity();
  for (int i = 0; i < static_cast<int>(points.size()); ++i) {
    const double t = points[static_cast<std::size_t>(i)].utcSeconds;
    if (t > 0 && std::fabs(t - utcSeconds) < best) {
      best = std::fabs(t - utcSeconds);
      nearest = i;
    }
  }
  return nearest;
}

std::optional<int> Route::LastValidAtOrBefore(int index) const {
  for (int i = std::min(index, static_cast<int>(points.size()) - 1); i >= 0; --i)
    if (points[static_cast<std::size_t>(i)].valid) return i;
  return std::nullopt;
}

std::vector<int> Route::RecordingStarts() const {
  std::vector<int> starts;
  for (std::size_t i = 1; i < points.size(); ++i)
    if (points[i].recording != points[i - 1].recording) starts.push_back(static_cast<int>(i));
  return starts;
}

std::vector<std::vector<int>> RouteStretches(const Route& route) {
  std::vector<std::vector<int>> stretches;
  bool open = false;
  for (int i = 0; i < static_cast<int>(route.points.size()); ++i) {
    const RoutePoint& point = route.points[static_cast<std::size_t>(i)];
    const int previous = i > 0 ? route.points[static_cast<std::size_t>(i - 1)].recording : -1;
    const bool followsOn = point.recording < static_cast<int>(route.followsOn.size()) &&
                           route.followsOn[static_cast<std::size_t>(point.recording)];
    const bool continues = open && (previous == point.recording || (previous + 1 == point.recording && followsOn));
    if (!point.valid) {
      open = false;
      continue;
    }
    if (!continues) stretches.emplace_back();
    stretches.back().push_back(i);
    open = true;
  }
  return stretches;
}

RouteProjection RouteProjection::ForMap(const MapCalibration& calibration) {
  RouteProjection p;
  p.map_ = true;
  p.originLat_ = calibration.MapLat1;
  p.originLon_ = calibration.MapLon1;
  p.unitsPerDegreeLat_ = calibration.ScaleLat;
  p.unitsPerDegreeLon_ = calibration.ScaleLon;
  return p;
}

RouteProjection RouteProjection::ForRoute(const Route& route) {
  RouteProjection p;
  double latSum = 0, maxLat = -90, minLon = 180;
  int count = 0;
  for (const RoutePoint& point : route.points) {
    if (!point.valid) continue;
    latSum += point.lat;
    maxLat = std::max(maxLat, point.lat);
    minLon = std::min(minLon, point.lon);
    ++count;
  }
  const double meanLat = count > 0 ? latSum / count : 0;
  p.originLat_ = count > 0 ? maxLat : 0;
  p.originLon_ = count > 0 ? minLon : 0;
  p.unitsPerDegreeLat_ = kMetresPerDegree;
  p.unitsPerDegreeLon_ = kMetresPerDegree * std::max(0.01, std::cos(meanLat * kPi / 180));
  return p;
}

PlanePoint RouteProjection::ToPlane(double lat, double lon) const {
  return {(lon - originLon_) * unitsPerDegreeLon_, (originLat_ - lat) * unitsPerDegreeLat_};
}

void RouteProjection::ToLatLon(PlanePoint p, double& lat, double& lon) const {
  lat = unitsPerDegreeLat_ != 0 ? originLat_ - p.y / unitsPerDegreeLat_ : originLat_;
  lon = unitsPerDegreeLon_ != 0 ? originLon_ + p.x / unitsPerDegreeLon_ : originLon_;
}

double RouteProjection::UnitsPerMetre() const { return std::fabs(unitsPerDegreeLat_) / kMetresPerDegree; }

ViewTransform FitView(PlanePoint min, PlanePoint max, double width, double height) {
  const double spanX = std::max(max.x - min.x, 1e-9), spanY = std::max(max.y - min.y, 1e-9);
  ViewTransform view;
  view.scale = std::min(width / spanX, height / spanY);
  view.origin = {(min.x + max.x) / 2 - width / 2 / view.scale, (min.y + max.y) / 2 - height / 2 / view.scale};
  return view;
}

ViewTransform ZoomAbout(const ViewTransform& view, double factor, PlanePoint anchor, double minScale) {
  const PlanePoint fixed = view.ToPlane(anchor);
  ViewTransform zoomed = view;
  zoomed.scale = std::clamp(view.scale * factor, std::min(minScale, ViewTransform::kMaxZoom), ViewTransform::kMaxZoom);
  zoomed.origin = {fixed.x - anchor.x / zoomed.scale, fixed.y - anchor.y / zoomed.scale};
  return zoomed;
}

ViewTransform PanBy(const ViewTransform& view, double dx, double dy) {
  ViewTransform moved = view;
  moved.origin = {view.origin.x - dx / view.scale, view.origin.y - dy / view.scale};
  return moved;
}

ViewTransform KeepInView(const ViewTransform& view, PlanePoint p, double width, double height, double margin) {
  const PlanePoint s = view.ToScreen(p);
  if (s.x >= margin && s.x <= width - margin && s.y >= margin && s.y <= height - margin) return view;
  ViewTransform centred = view;
  centred.origin = {p.x - width / 2 / view.scale, p.y - height / 2 / view.scale};
  return centred;
}

std::optional<int> NearestPoint(const Route& route, const std::vector<PlanePoint>& plane,
                                const ViewTransform& view, PlanePoint at, double radius) {
  std::optional<int> nearest;
  double best = radius;
  for (int i = 0; i < static_cast<int>(plane.size()); ++i) {
    if (!route.points[static_cast<std::size_t>(i)].valid) continue;
    const double d = Distance(view.ToScreen(plane[static_cast<std::size_t>(i)]), at);
    if (d <= best) {
      best = d;
      nearest = i;
    }
  }
  return nearest;
}

std::vector<int> SimplifyForScreen(const std::vector<int>& stretch, const std::vector<PlanePoint>& plane,
                                   const ViewTransform& view, double minStep) {
  std::vector<int> kept;
  PlanePoint last{std::numeric_limits<double>::infinity(), 0};
  for (std::size_t k = 0; k < stretch.size(); ++k) {
    const PlanePoint screen = view.ToScreen(plane[static_cast<std::size_t>(stretch[k])]);
    if (k + 1 == stretch.size() || Distance(screen, last) >= minStep) {
      kept.push_back(stretch[k]);
      last = screen;
    }
  }
  return kept;
}

double RoundStep(double span, int lines) {
  const double raw = std::fabs(span) / std::max(lines, 1);
  if (!(raw > 0) || !std::isfinite(raw)) return 1;
  const double power = std::pow(10, std::floor(std::log10(raw)));
  for (const double m : {1.0, 2.0, 5.0})
    if (m * power >= raw) return m * power;
  return 10 * power;
}

double StripGeometry::XOf(double utcSeconds) const {
  return left + (utcSeconds - firstTime) / std::max(lastTime - firstTime, 1.0) * (right - left);
}

double StripGeometry::TimeAt(double x) const {
  const double share = std::clamp((x - left) / std::max(right - left, 1.0), 0.0, 1.0);
  return firstTime + share * std::max(lastTime - firstTime, 1.0);
}

double StripGeometry::YOf(double speedKmh) const { return bottom - speedKmh / topSpeed * (bottom - top); }

// Points without a time stand nowhere on the strip; a trip at a standstill still gets a scale.
StripGeometry StripFor(const Route& route, double width, double height, double labelColumn, double axisRow) {
  StripGeometry strip;
  strip.left = labelColumn;
  strip.right = std::max(width - 1, labelColumn + 1);
  strip.top = 4;
  strip.bottom = std::max(height - axisRow, strip.top + 1);
  strip.firstTime = strip.lastTime = 0;
  strip.topSpeed = 10;
  for (const RoutePoint& point : route.points) {
    if (point.utcSeconds <= 0) continue;
    strip.firstTime = strip.firstTime == 0 ? point.utcSeconds : std::min(strip.firstTime, point.utcSeconds);
    strip.lastTime = std::max(strip.lastTime, point.utcSeconds);
    strip.topSpeed = std::max(strip.topSpeed, point.speedKmh);
  }
  return strip;
}

double TimeStep(double minSeconds) {
  for (const double step : {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200})
    if (step >= minSeconds) return step;
  return 86400;
}

std::vector<double> TimeTicks(double first, double last, double step, double utcOffsetSeconds) {
  std::vector<double> ticks;
  if (!(step > 0) || !(last >= first)) return ticks;
  for (double local = std::ceil((first + utcOffsetSeconds) / step) * step; local - utcOffsetSeconds <= last;
       local += step)
    ticks.push_back(local - utcOffsetSeconds);
  return ticks;
}

}  // namespace rovena
