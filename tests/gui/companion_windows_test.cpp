// The route and picture windows beside the main window: a click on the route shows that
// picture in the main window (opening its recording of the trip), the cursor follows steps
// and play, and the enlarged picture is the picture area's.
#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QWheelEvent>
#include <QTest>
#include <cstdio>

#include "gui_test_support.h"
#include "recording_fixture.h"
#include "viewer/local_path.h"
#include "viewer/picture_window.h"
#include "viewer/route_window.h"
#include "scratch_dir.h"

namespace rovena::test {
namespace {

std::string SentenceAt(int second) {
  char text[128];
  // About 75 m from fix to fix: far enough apart to leave the view when zoomed in.
  std::snprintf(text, sizeof text, "$GPRMC,10%02d%02d.000,A,5224.%04d,N,02100.%04d,E,30.0,90.0,140607,,,A",
                second / 60, second % 60, 1000 + 400 * second, 1000 + 600 * second);
  return text;
}

class Companions : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int r = 0; r < 2; ++r) {
      recordings[r] = MakeTestRecording("companion_" + std::to_string(r), 320, 240, 4,
                                        [r](int i) { return SentenceAt(4 * r + i); });
      recordings[r].path = folder.File("10000" + std::to_string(4 * r) + ".m1v");
      WriteFileAtomically(recordings[r].path, recordings[r].bytes);
    }
    v.Open(recordings[0].path);
    F().cmdUp_Click();
    F().Companions().ToggleRoute();
    route = F().Companions().Route();
    ASSERT_TRUE(QTest::qWaitFor([&] { return route->CurrentRoute().points.size() == 8; }, 5000));
  }
  Form1& F() { return *v.form; }
  // The windows catch up at the next screen refresh.
  std::optional<int> CursorAfterRefresh() {
    QTest::qWait(40);
    return route->CurrentPoint();
  }

  ScratchDir folder{"rovena_companions"};
  TestRecording recordings[2];
  Viewer v;
  RouteWindow* route = nullptr;
};

TEST_F(Companions, AClickOnTheRouteShowsThatPictureAndTheCursorFollowsStepsAndPlay) {
  EXPECT_EQ(CursorAfterRefresh(), 0);
  F().cmdUp_Click();
  EXPECT_EQ(CursorAfterRefresh(), 1);

  // The sixth fix: the second picture of the second recording.
  const QPoint at = route->Map()->ScreenOf(5).toPoint();
  QTest::mouseClick(route->Map(), Qt::LeftButton, {}, at);
  EXPECT_EQ(F().MpegFile, QString::fromStdString(recordings[1].path));
  EXPECT_EQ(F().player.CurrentRecording().PicPos, recordings[1].picturePositions[1]);
  EXPECT_EQ(F().lblTime->text(), "14.06.2007  10:00:05");
  EXPECT_EQ(CursorAfterRefresh(), 5);
  F().cmdDown_Click();  // stepping on from there works as after any step
  EXPECT_EQ(F().player.CurrentRecording().PicPos, recordings[1].picturePositions[0]);

  QTest::mouseClick(route->Strip(), Qt::LeftButton, {}, QPoint(0, 50));  // the strip's start: the first fix
  EXPECT_EQ(F().MpegFile, QString::fromStdString(recordings[0].path));
  EXPECT_EQ(CursorAfterRefresh(), 0);

  // Fast play refreshes the windows less often, yet they end on the picture it ended on: it
  // crosses into the second recording, shows its first picture and finds no fifth start.
  F().cmdUpFF_Click();
  EXPECT_EQ(F().lblTime->text(), "14.06.2007  10:00:04");
  EXPECT_TRUE(QTest::qWaitFor([&] { return route->CurrentPoint() == 4; }, 2000));
}

// Opening a recording of another folder hands the window a new route, empty at first: the
// marker and the strip's cursor must not point into it with the old route's numbers.
TEST_F(Companions, ARouteReplacedWhileShownKeepsNoPointOfTheOldOne) {
  F().cmdUp_Click();
  EXPECT_EQ(CursorAfterRefresh(), 1);
  ScratchDir elsewhere{"rovena_companions_other"};
  TestRecording other = MakeTestRecording("companion_other", 320, 240, 2, SentenceAt);
  other.path = elsewhere.File("other.m1v");
  WriteFileAtomically(other.path, other.bytes);
  v.Open(other.path);
  route->Map()->repaint();
  route->Strip()->repaint();
  ASSERT_TRUE(QTest::qWaitFor([&] { return route->CurrentRoute().points.size() == 2; }, 5000));
  F().cmdUp_Click();
  EXPECT_EQ(CursorAfterRefresh(), 0);
  route->Map()->repaint();
}

TEST_F(Companions, AClickDuringPlayStopsThePlayOnThatPicture) {
  AtNextYield(&F(), [&] { F().ShowTripPicture(1, recordings[1].picturePositions[2]); });
  F().cmdUpF_Click();
  EXPECT_FALSE(F().Playing);
  EXPECT_EQ(F().MpegFile, QString::fromStdString(recordings[1].path));
  EXPECT_EQ(F().player.CurrentRecording().PicPos, recordings[1].picturePositions[2]);
  EXPECT_EQ(F().lblTime->text(), "14.06.2007  10:00:06");
  QStringList stopped = kAllAvailable;
  stopped[5] = "StopU";
  EXPECT_EQ(Keys(F()), stopped);
}

// The main window's keys work in both companions, full screen included; Esc leaves full
// screen first, then closes; the wheel over the enlarged picture steps.
TEST_F(Companions, TheCompanionWindowsAnswerTheMainWindowsKeys) {
  const auto activate = [](QWidget* window) {
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
  };
  ASSERT_TRUE(activate(route));
  QTest::keyClick(route, Qt::Key_Right);
  EXPECT_EQ(F().player.CurrentRecording().PicPos, recordings[0].picturePositions[1]);
  QTest::keyClick(route, Qt::Key_PageDown);
  EXPECT_EQ(F().MpegFile, QString::fromStdString(recordings[1].path));
  QTest::keyClick(route, Qt::Key_Escape);
  EXPECT_FALSE(route->isVisible());

  F().TogglePictureFullScreen();  // F11 opens the picture window full screen
  PictureWindow* picture = F().Companions().Picture();
  ASSERT_TRUE(activate(picture));
  EXPECT_TRUE(picture->isFullScreen());
  QTest::keyClick(picture, Qt::Key_Right);
  EXPECT_EQ(F().player.CurrentRecording().PicPos, recordings[1].picturePositions[0]);
  QWheelEvent towardsUser(QPointF(10, 10), picture->mapToGlobal(QPointF(10, 10)), {}, QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(picture, &towardsUser);
  EXPECT_EQ(F().player.CurrentRecording().PicPos, recordings[1].picturePositions[1]);
  QTest::keyClick(picture, Qt::Key_End);
  EXPECT_EQ(F().player.CurrentRecording().PicPos, recordings[1].picturePositions[3]);
  QTest::keyClick(picture, Qt::Key_Escape);
  EXPECT_FALSE(picture->isFullScreen());
  EXPECT_TRUE(picture->isVisible());
  QTest::keyClick(picture, Qt::Key_Escape);
  EXPECT_FALSE(picture->isVisible());
}

// Zoomed in, the map keeps the vehicle in view until the user pans it; F follows again. The
// strip reads out the point under the pointer.
TEST_F(Companions, TheMapFollowsTheVehicleUntilPannedAndTheStripReadsOut) {
  RouteMapView* map = route->Map();
  const auto inView = [&](int point) { return map->rect().contains(map->ScreenOf(point).toPoint()); };
  for (int notch = 0; notch < 12; ++notch) {
    QWheelEvent in(map->ScreenOf(0), map->mapToGlobal(map->ScreenOf(0)), {}, QPoint(0, 120), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(map, &in);
  }
  ASSERT_FALSE(inView(3)) << "zoomed in far enough for the last fix of the first recording to be off screen";
  F().cmdUpE_Click();
  EXPECT_EQ(CursorAfterRefresh(), 3);
  EXPECT_TRUE(inView(3));

  QTest::mousePress(map, Qt::LeftButton, {}, QPoint(300, 200));
  QTest::mouseMove(map, QPoint(320, 200));
  QTest::mouseMove(map, QPoint(340, 200));
  QTest::mouseRelease(map, Qt::LeftButton, {}, QPoint(340, 200));
  EXPECT_FALSE(map->Following());
  EXPECT_EQ(F().player.CurrentRecording().PicPos, recordings[0].picturePositions[3]) << "a pan shows no picture";
  F().ShowTripPicture(1, recordings[1].picturePositions[3]);
  EXPECT_EQ(CursorAfterRefresh(), 7);
  EXPECT_FALSE(inView(7));
  F().FollowVehicle();
  EXPECT_TRUE(map->Following());
  EXPECT_TRUE(inView(7));

  SpeedStrip* strip = route->Strip();
  QTest::mouseMove(strip, QPoint(static_cast<int>(strip->XOf(route->CurrentRoute().points[5].utcSeconds)), 40));
  EXPECT_EQ(strip->HoveredPoint(), 5);
  EXPECT_TRUE(PointText(route->CurrentRoute(), 5).contains("56 km/h   2/2 100004.m1v"));
}

// The pass menu names each recording with as much of its path as tells it apart.
TEST(PassMenu, NamesCarryTheFoldersThatTellThemApart) {
  EXPECT_EQ(DistinctTails({"/cars/a/2007/140500.m1v", "/cars/b/2007/140500.m1v", "/cars/a/2007/150000.m1v",
                           "/cars/a/2007/140500.m1v", "rel.m1v"}),
            (std::vector<std::string>{"a/2007/140500.m1v", "b/2007/140500.m1v", "150000.m1v", "a/2007/140500.m1v",
                                      "rel.m1v"}));
  EXPECT_EQ(DistinctTails({"/x/d.m1v", "/d.m1v"}), (std::vector<std::string>{"x/d.m1v", "/d.m1v"}));
}

TEST_F(Companions, ThePictureWindowShowsThePictureAreaAndToggles) {
  F().Companions().TogglePicture();
  PictureWindow* picture = F().Companions().Picture();
  ASSERT_TRUE(picture->isVisible());
  picture->resize(640, 480);
  const QImage shown = picture->grab().toImage();
  const QRect area = picture->PictureRect();
  EXPECT_EQ(area.width() * 240, area.height() * 640);  // aspect kept
  ASSERT_EQ(area.size(), QSize(640, 240));  // 1:1 in a 640-wide window: pixel for pixel
  for (const QPoint p : {QPoint(5, 5), QPoint(320, 120), QPoint(630, 230)})
    EXPECT_EQ(shown.pixelColor(area.topLeft() + p), F().Pic1->Image().pixelColor(p));
  for (const QPoint bar : {QPoint(5, 5), QPoint(630, 475)}) EXPECT_EQ(shown.pixelColor(bar), QColor(Qt::black));
  F().Companions().TogglePicture();
  EXPECT_FALSE(picture->isVisible());
}

// Looking for passes follows the archive rule of find and verify: no archive is made where
// there was none, and an archive that cannot be reached (of either kind) is named with why.
TEST(PassesMenu, LookingNeverCreatesAnArchive) {
  const ScratchDir dir("rovena_passes");
  const std::string missing = dir.File("archive.sqlite");
  EXPECT_EQ(FindPassesNear(missing, 52.2, 20.9).problem, "Brak archiwum (rovena-cli index)");
  EXPECT_FALSE(std::filesystem::exists(missing));
  const PassesNear unreachable = FindPassesNear("postgresql:///fleet?host=" + dir.File("no_server"), 52.2, 20.9);
  EXPECT_TRUE(unreachable.passes.empty());
  EXPECT_TRUE(unreachable.problem.contains(QStringLiteral("no_server"))) << unreachable.problem.toStdString();
}

}  // namespace
}  // namespace rovena::test
