// The route window's geometry: gathering a trip's fixes, where lines break, the projections
// and the zoom, pan and pick rules the widget relies on.
#include <gtest/gtest.h>

#include "tools/recording_writer.h"
#include "core/route.h"
#include "scratch_dir.h"

namespace rovena {
namespace {

std::string MakeRecording(const std::string& path, int pictures, int invalidAt) {
  RecordingWriter writer(320, 240);
  for (int i = 0; i < pictures; ++i) {
    std::string sentence = MakeGprmcSentence(i);
    if (i == invalidAt) sentence = "$GPRMC,223416.000,V,5213.1234,N,02100.5678,E,0.0,45.0,300306,,,N";
    writer.AddPicture(MakeTestPattern(320, 240, i), sentence);
  }
  EXPECT_TRUE(writer.WriteFile(path));
  return path;
}

TEST(Route, GatheredFixesBreakAtInvalidFixesAndBetweenRecordings) {
  test::ScratchDir dir("rovena_route");
  const Route route = GatherRoute({MakeRecording(dir.File("a.m1v"), 5, 2), dir.File("missing.m1v"),
                                   MakeRecording(dir.File("b.m1v"), 3, -1)});
  ASSERT_EQ(route.points.size(), 8u);
  EXPECT_EQ(route.points[4].picture, 5);
  EXPECT_EQ(route.points[5].recording, 2);
  EXPECT_EQ(route.points[5].picture, 1);
  EXPECT_NEAR(route.points[0].lat, 52 + 13.1234 / 60, 1e-9);
  const std::vector<std::vector<int>> expected = {{0, 1}, {3, 4}, {5, 6, 7}};
  EXPECT_EQ(RouteStretches(route), expected);
  Route joined = route;  // b follows on from a without a gap: one line across the files
  joined.followsOn = {false, true, true};
  joined.points[5].recording = 1;
  EXPECT_EQ(RouteStretches(joined), (std::vector<std::vector<int>>{{0, 1}, {3, 4, 5, 6, 7}}));
  EXPECT_EQ(route.PointAt(2, route.points[6].position), 6);
  EXPECT_FALSE(route.PointAt(2, route.points[6].position + 1));
  EXPECT_EQ(route.PointNearestTime(route.points[3].utcSeconds + 0.4), 3);
  EXPECT_TRUE(GatherRoute({dir.File("a.m1v")}, [] { return true; }).points.empty());
}

TEST(Route, MapProjectionPutsFixesWhereTheMarkerGoes) {
  const MapCalibration calibration{52.80114f, 20.2325f, 4096 / (52.80114f - 52.41674f), 4096 / (20.79139f - 20.2325f)};
  const RouteProjection map = RouteProjection::ForMap(calibration);
  const PlanePoint p = map.ToPlane(52.5, 20.5);
  const MapPositionResult marker = ComputeShowPos({"5230.0000", "02030.0000", true, true, 0, 0, calibration});
  ASSERT_TRUE(marker.onMap);
  EXPECT_NEAR(p.x, marker.MapX + marker.markerLeft + 6, 0.5);
  EXPECT_NEAR(p.y, marker.MapY + marker.markerTop + 6, 0.5);
  double lat = 0, lon = 0;
  map.ToLatLon(p, lat, lon);
  EXPECT_NEAR(lat, 52.5, 1e-9);
  EXPECT_NEAR(lon, 20.5, 1e-9);
  const PlanePoint corner = map.ToPlane(calibration.MapLat1, calibration.MapLon1);
  EXPECT_NEAR(corner.x, 0, 1e-9);
  EXPECT_NEAR(corner.y, 0, 1e-9);

  Route route;  // without a map: metres east and south of the route's north-west corner
  route.points = {{0, 1, 0, 0, 52.0, 21.0, 0, {}, true}, {0, 2, 0, 0, 52.01, 21.0, 0, {}, true}};
  const RouteProjection plane = RouteProjection::ForRoute(route);
  EXPECT_NEAR(plane.ToPlane(52.0, 21.0).y, 1113.2, 0.1);
  EXPECT_NEAR(plane.ToPlane(52.0, 21.01).x, 685.4, 0.5);
}

TEST(Route, ZoomPanAndPickingOnScreen) {
  ViewTransform view = FitView({0, 0}, {4096, 4096}, 800, 400);
  EXPECT_DOUBLE_EQ(view.scale, 400.0 / 4096);
  EXPECT_NEAR(view.ToScreen({2048, 2048}).x, 400, 1e-9);
  const double fit = view.scale;
  const ViewTransform zoomed = ZoomAbout(view, 3, {100, 50}, fit);
  EXPECT_NEAR(zoomed.ToScreen(view.ToPlane({100, 50})).x, 100, 1e-9);  // the point under the pointer stays
  EXPECT_DOUBLE_EQ(ZoomAbout(zoomed, 1e6, {0, 0}, fit).scale, ViewTransform::kMaxZoom);
  EXPECT_DOUBLE_EQ(ZoomAbout(zoomed, 1e-6, {0, 0}, fit).scale, fit);
  EXPECT_NEAR(PanBy(zoomed, 30, -20).ToScreen(zoomed.ToPlane({5, 5})).x, 35, 1e-9);

  Route route;
  route.points.resize(3);
  route.points[0].valid = route.points[2].valid = true;
  const std::vector<PlanePoint> plane = {{10, 10}, {12, 10}, {20, 10}};
  const ViewTransform one{1, {0, 0}};
  EXPECT_EQ(NearestPoint(route, plane, one, {12, 12}), 0);  // the invalid point is not offered
  EXPECT_EQ(NearestPoint(route, plane, one, {19, 14}), 2);
  EXPECT_FALSE(NearestPoint(route, plane, one, {40, 10}).has_value());
  const std::vector<int> kept = SimplifyForScreen({0, 1, 2}, plane, ViewTransform{0.1, {0, 0}});
  EXPECT_EQ(kept, (std::vector<int>{0, 2}));
  EXPECT_DOUBLE_EQ(RoundStep(0.37, 4), 0.1);
  EXPECT_DOUBLE_EQ(RoundStep(1300, 4), 500);
}

TEST(Route, FollowingMovesTheViewOnlyWhenTheVehicleNearsAnEdge) {
  const ViewTransform view{2, {100, 100}};  // a 400 x 300 view of plane 100..300 x 100..250
  const ViewTransform inside = KeepInView(view, {150, 150}, 400, 300, 20);
  EXPECT_EQ(inside.origin.x, view.origin.x);
  EXPECT_EQ(inside.origin.y, view.origin.y);
  const ViewTransform moved = KeepInView(view, {295, 150}, 400, 300, 20);  // 10 pixels from the right edge
  EXPECT_NEAR(moved.ToScreen({295, 150}).x, 200, 1e-9);
  EXPECT_NEAR(moved.ToScreen({295, 150}).y, 150, 1e-9);
  EXPECT_EQ(moved.scale, view.scale);
}

// The strip keeps its labels off the plot; ticks fall on round local times; a trip knows where
// each recording begins and where the vehicle was last seen with a valid fix.
TEST(Route, StripScalesTicksAndWhereRecordingsBegin) {
  Route route;
  route.points = {{0, 1, 0, 1000, 0, 0, 20, {}, true}, {0, 2, 0, 0, 0, 0, 0, {}, false},
                  {1, 1, 0, 1100, 0, 0, 80, {}, false}, {1, 2, 0, 1200, 0, 0, 50, {}, true}};
  const StripGeometry strip = StripFor(route, 500, 110, 60, 16);
  EXPECT_DOUBLE_EQ(strip.XOf(1000), 60);  // the label column stays clear of the curve
  EXPECT_DOUBLE_EQ(strip.XOf(1200), 499);
  EXPECT_DOUBLE_EQ(strip.YOf(0), 94);  // the axis row stays clear too
  EXPECT_DOUBLE_EQ(strip.YOf(80), strip.top);
  EXPECT_DOUBLE_EQ(strip.TimeAt(0), 1000);  // a press on the labels means the trip's start
  EXPECT_NEAR(strip.TimeAt(strip.XOf(1150)), 1150, 1e-9);

  EXPECT_EQ(TimeStep(40), 60);
  EXPECT_EQ(TimeStep(1000), 1800);
  // 12:59:50 UTC to 14:00:10 UTC in a time 2 h ahead: ticks at 15:00 and 16:00 local.
  const double first = 12 * 3600 + 59 * 60 + 50, last = 14 * 3600 + 10;
  EXPECT_EQ(TimeTicks(first, last, 3600, 7200), (std::vector<double>{13 * 3600, 14 * 3600}));
  EXPECT_EQ(TimeTicks(first, last, 3600, 1800).size(), 1u);  // 13:29:50 .. 14:30:10 local: 14:00

  EXPECT_EQ(route.RecordingStarts(), (std::vector<int>{2}));
  EXPECT_EQ(route.LastValidAtOrBefore(2), 0);
  EXPECT_EQ(route.LastValidAtOrBefore(3), 3);
  route.points[0].valid = false;
  EXPECT_FALSE(route.LastValidAtOrBefore(2));
}

}  // namespace
}  // namespace rovena
