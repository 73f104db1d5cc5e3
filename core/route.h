// The route of a trip for the route window: every fix of every recording, gathered from the
// pictures' user data alone, and the geometry that puts it on screen. Pure functions; the
// widget only paints what they give and forwards the user's intents.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/map_position.h"

namespace rovena {

struct RoutePoint {
  int recording = 0;          // index into Route::recordings
  std::int64_t picture = 0;   // 1-based within its recording
  std::int64_t position = 0;  // PicPos of the picture
  double utcSeconds = 0;      // 0 when the sentence has no usable time
  double lat = 0, lon = 0;    // signed degrees
  double speedKmh = 0;
  std::optional<double> course;
  bool valid = false;         // a valid fix with a position
};

struct Route {
  std::vector<std::string> recordings;
  // followsOn[i]: recording i continues recording i - 1 without a gap, so the line runs on.
  std::vector<bool> followsOn;
  std::vector<RoutePoint> points;  // trip order

  // The point of picture `position` of recording `recording`, if it has a sentence.
  std::optional<int> PointAt(int recording, std::int64_t position) const;
  // The point whose time is nearest to `utcSeconds` (points without a time are passed over).
  std::optional<int> PointNearestTime(double utcSeconds) const;
  // The last point at or before `index` with a valid fix: where the vehicle was last known.
  std::optional<int> LastValidAtOrBefore(int index) const;
  // The points where another recording of the trip begins (never the first point).
  std::vector<int> RecordingStarts() const;
};

// Reads each recording's sentences in order, picture by picture as PictureWalker counts them.
// `cancelled` is polled between pictures so a background gathering can stop early.
Route GatherRoute(const std::vector<std::string>& recordings,
                  const std::function<bool()>& cancelled = [] { return false; });

// Runs of consecutive valid points: the stretches drawn as lines. A point that is not valid,
// or the step into a recording that does not follow on, breaks the line.
std::vector<std::vector<int>> RouteStretches(const Route& route);

// A plane point: map pixels when a map is calibrated, else an equirectangular plane of the
// route's own (x east, y south, in metres scaled down to pixels of the chosen resolution).
struct PlanePoint {
  double x = 0, y = 0;
};

class RouteProjection {
 public:
  // The calibrated map's projection (as the main window's marker uses it).
  static RouteProjection ForMap(const MapCalibration& calibration);
  // A plane for a route without a map: one unit per metre around the route's mean latitude.
  static RouteProjection ForRoute(const Route& route);

  PlanePoint ToPlane(double lat, double lon) const;
  void ToLatLon(PlanePoint p, double& lat, double& lon) const;
  bool IsMap() const { return map_; }
  // Plane units per metre, for the scale bar.
  double UnitsPerMetre() const;

 private:
  bool map_ = false;
  double originLat_ = 0, originLon_ = 0;  // plane (0, 0)
  double unitsPerDegreeLat_ = 1, unitsPerDegreeLon_ = 1;
};

// Screen = (plane - origin) * scale. Zooming keeps the scale between the fit of the whole
// map (or route) into the view and kMaxZoom screen pixels per plane unit.
struct ViewTransform {
  static constexpr double kMaxZoom = 4;  // at most 4 screen pixels per map pixel
  double scale = 1;
  PlanePoint origin;  // plane point at the view's top-left corner

  PlanePoint ToScreen(PlanePoint p) const { return {(p.x - origin.x) * scale, (p.y - origin.y) * scale}; }
  PlanePoint ToPlane(PlanePoint s) const { return {s.x / scale + origin.x, s.y / scale + origin.y}; }
};

// The transform that shows the box [min, max] whole and centred in a view of width x height.
ViewTransform FitView(PlanePoint min, PlanePoint max, double width, double height);
// Zooms by `factor` about the screen point `anchor`, which stays over the same plane point;
// the scale stays within [minScale, ViewTransform::kMaxZoom].
ViewTransform ZoomAbout(const ViewTransform& view, double factor, PlanePoint anchor, double minScale);
ViewTransform PanBy(const ViewTransform& view, double dx, double dy);
// Following the vehicle: the view unchanged while plane point `p` lies at least `margin`
// pixels inside a view of width x height, else the view centred on `p` at the same scale.
ViewTransform KeepInView(const ViewTransform& view, PlanePoint p, double width, double height, double margin);

// The valid point nearest to screen point `at`, when one lies within `radius` screen pixels.
std::optional<int> NearestPoint(const Route& route, const std::vector<PlanePoint>& plane,
                                const ViewTransform& view, PlanePoint at, double radius = 8);

// The points of one stretch worth drawing at this zoom: each at least `minStep` screen pixels
// from the last one kept; the first and last always kept.
std::vector<int> SimplifyForScreen(const std::vector<int>& stretch, const std::vector<PlanePoint>& plane,
                                   const ViewTransform& view, double minStep = 1.5);

// A round step (1, 2 or 5 times a power of ten) near `span` / `lines`: for grid lines in
// degrees and for the scale bar in metres.
double RoundStep(double span, int lines);

// The speed strip's plot: trip time from left to right, speed from bottom to top, inside the
// strip less a column for the speed labels on the left and a row for the time axis below, so
// that no label lies over the curve.
struct StripGeometry {
  double left = 0, top = 0, right = 1, bottom = 1;  // the plot, in strip pixels
  double firstTime = 0, lastTime = 1;               // UTC seconds at left and right
  double topSpeed = 1;                              // km/h at the top

  double XOf(double utcSeconds) const;
  double TimeAt(double x) const;  // clamped to the trip's time
  double YOf(double speedKmh) const;
};

// The strip's plot for `route` in a strip of width x height with room for labels.
StripGeometry StripFor(const Route& route, double width, double height, double labelColumn, double axisRow);

// A step for time-axis ticks at least `minSeconds` apart: 1, 2, 5, 10, 15 or 30 seconds or
// minutes, or 1, 2, 3, 6, 12 or 24 hours.
double TimeStep(double minSeconds);
// The ticks between `first` and `last` (UTC seconds) that fall on whole multiples of `step`
// in the local time `utcOffsetSeconds` ahead of UTC.
std::vector<double> TimeTicks(double first, double last, double step, double utcOffsetSeconds);

}  // namespace rovena
