// The driving events in the route window: found in the trip's route, listed in its context
// menu, and N and Shift+N show the next and previous one's first picture in the main window,
// opening its recording of the trip when needed.
#include <gtest/gtest.h>

#include <QMenu>
#include <QTest>
#include <cmath>

#include "gui_test_support.h"
#include "recording_fixture.h"
#include "scratch_dir.h"
#include "scripted_drive.h"
#include "viewer/route_window.h"

namespace rovena::test {
namespace {

// One fix a second heading east from 52.2 N 21.0 E; `metres` driven before `second`.
std::string Fix(long second, double speedKmh, double metres) {
  return ScriptedSentence(36000 + second, 52.2, 21.0 + metres / 68200, {speedKmh, 90});
}

class RouteEvents : public ::testing::Test {
 protected:
  // The first recording brakes from 60 km/h to a standstill (pictures 2-7) and stands; after
  // a minute with the recorder off the second gathers speed again (pictures 1-4).
  void SetUp() override {
    const double first[] = {60, 60, 48, 36, 24, 12, 0, 0, 0, 0}, second[] = {0, 12, 24, 36};
    double metres = 0;
    std::vector<std::string> sentences;
    for (int i = 0; i < 10; ++i, metres += first[i - 1] / 3.6) sentences.push_back(Fix(i, first[i], metres));
    for (int i = 0; i < 4; ++i, metres += second[i - 1] / 3.6) sentences.push_back(Fix(70 + i, second[i], metres));
    for (int r = 0; r < 2; ++r) {
      const int offset = r * 10, count = r ? 4 : 10;
      recordings[r] = MakeTestRecording("route_events_" + std::to_string(r), 320, 240, count,
                                        [&, offset](int i) { return sentences[static_cast<std::size_t>(offset + i)]; });
      recordings[r].path = folder.File(r ? "100110.m1v" : "100000.m1v");
      WriteFileAtomically(recordings[r].path, recordings[r].bytes);
    }
    v.Open(recordings[0].path);
    F().cmdUp_Click();
    F().Companions().ToggleRoute();
    route = F().Companions().Route();
    ASSERT_TRUE(QTest::qWaitFor([&] { return route->CurrentRoute().points.size() == 14; }, 5000));
  }
  Form1& F() { return *v.form; }
  // Where the main window stands: recording 0 or 1 and the 1-based picture.
  std::pair<int, int> Shown() {
    for (int r = 0; r < 2; ++r) {
      if (F().MpegFile != QString::fromStdString(recordings[r].path)) continue;
      const auto& positions = recordings[r].picturePositions;
      const auto at = std::find(positions.begin(), positions.end(), F().player.CurrentRecording().PicPos);
      return {r, at == positions.end() ? 0 : static_cast<int>(at - positions.begin()) + 1};
    }
    return {-1, 0};
  }

  ScratchDir folder{"rovena_route_events"};
  TestRecording recordings[2];
  Viewer v;
  RouteWindow* route = nullptr;
};

TEST_F(RouteEvents, KeysGoFromEventToEventAcrossTheTrip) {
  std::vector<EventKind> kinds;
  for (const DrivingEvent& e : route->Events()) kinds.push_back(e.kind);
  EXPECT_EQ(kinds, (std::vector{EventKind::kHardBraking, EventKind::kStop, EventKind::kHardAcceleration}));

  QTest::keyClick(route, Qt::Key_N);
  EXPECT_EQ(Shown(), std::pair(0, 2));
  EXPECT_EQ(F().lblTime->text(), "01.03.2006  10:00:01");
  QTest::keyClick(route, Qt::Key_N);
  EXPECT_EQ(Shown(), std::pair(0, 7));
  QTest::keyClick(route, Qt::Key_N);
  EXPECT_EQ(Shown(), std::pair(1, 1));
  QTest::keyClick(route, Qt::Key_N);  // the last one: nothing further
  EXPECT_EQ(Shown(), std::pair(1, 1));
  QTest::keyClick(route, Qt::Key_N, Qt::ShiftModifier);
  EXPECT_EQ(Shown(), std::pair(0, 7));
  F().cmdUp_Click();  // stepping on from there works as after any step
  EXPECT_EQ(Shown(), std::pair(0, 8));
}

TEST_F(RouteEvents, TheContextMenuListsTheEventsAndShowsTheChosenOne) {
  QMenu menu;
  route->AddEventMenu(menu);
  ASSERT_EQ(menu.actions().size(), 1);
  QMenu* list = menu.actions()[0]->menu();
  QStringList texts;
  for (QAction* action : list->actions()) texts << action->text();
  EXPECT_EQ(texts, (QStringList{"Następne zdarzenie\tN", "Poprzednie zdarzenie\tShift+N", "",
                                "10:00:01   Gwałtowne hamowanie   3.3 m/s²", "10:00:06   Postój   64.0 s",
                                "10:01:10   Gwałtowne przyspieszenie   3.3 m/s²"}));
  list->actions()[5]->trigger();
  EXPECT_EQ(Shown(), std::pair(1, 1));
}

}  // namespace
}  // namespace rovena::test
