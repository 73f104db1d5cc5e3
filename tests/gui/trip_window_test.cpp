// A folder of recordings played as one trip: crossing into the neighbouring recording by
// steps and by each play mode, both ways, the gap shown on the way, PgDown / PgUp, the
// continuous-trip switch, a dropped folder and a recording gone since the listing.
#include <gtest/gtest.h>

#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <cstdio>
#include <filesystem>

#include "gui_test_support.h"
#include "core/nmea.h"
#include "recording_fixture.h"
#include "scratch_dir.h"

namespace rovena::test {
namespace {

constexpr int k10h = 10 * 3600;

std::string SentenceAt(int second) {
  char text[128];
  std::snprintf(text, sizeof text, "$GPRMC,%02d%02d%02d.000,A,5224.%04d,N,02100.6054,E,30.0,0.0,140607,,,A",
                second / 3600, second / 60 % 60, second % 60, second % 10000);
  return text;
}

QString TimeAt(int second) { return QString::fromStdString(*ParseNmea(SentenceAt(second)).timeText); }

// Three recordings of four pictures, one a second: A from 10:00:00 (power loss cut its last
// picture short), B right after it from 10:00:04, then a stop and C from 10:04:16. The gap
// between B and C runs from B's last fix at 10:00:07: 4 minutes 9 seconds.
class TripWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    a = Write("100000.m1v", k10h, /*cutLastPicture=*/true);
    b = Write("100004.m1v", k10h + 4);
    c = Write("100416.m1v", k10h + 256);
    v.Open(b.path);
  }
  TestRecording Write(const std::string& name, int firstSecond, bool cutLastPicture = false) {
    TestRecording r = MakeTestRecording("trip_" + name, 320, 240, 4,
                                        [&](int i) { return SentenceAt(firstSecond + i); });
    if (cutLastPicture) {
      r.bytes.resize(static_cast<size_t>(r.pictureEnds.back() - 100));
      r.pictureEnds.pop_back();
    }
    r.path = folder.File(name);
    WriteFileAtomically(r.path, r.bytes);
    return r;
  }
  Form1& F() { return *v.form; }
  void ExpectIn(const TestRecording& r, size_t index, const char* position) {
    EXPECT_EQ(F().MpegFile, QString::fromStdString(r.path));
    EXPECT_TRUE(F().lblFile->text().endsWith(position)) << F().lblFile->text().toStdString();
    EXPECT_EQ(F().player.TripIndex(), index);
  }

  ScratchDir folder{"rovena_trip_window"};
  TestRecording a, b, c;
  Viewer v;
};

TEST_F(TripWindow, StepsCrossBothWaysAndShowTheGapForAMoment) {
  ExpectIn(b, 1, "  (2/3)");
  F().cmdUp_Click();
  const QStringList midway = Keys(F());
  for (int i = 0; i < 3; ++i) F().cmdUp_Click();
  F().cmdCut_Click();  // a mark in B must not survive the crossing
  F().cmdUpE_Click();  // the end rules make the way forward unavailable...
  F().cmdUp_Click();
  ExpectIn(c, 2, "  (3/3)");
  EXPECT_EQ(Keys(F()), midway) << "...and the next recording opens it again";
  EXPECT_EQ(F().player.CurrentRecording().PicPos, c.picturePositions[0]);
  EXPECT_EQ(F().player.Marks().CutStart(), -1);
  EXPECT_FALSE(F().fraCmd->linCut1.visible);
  EXPECT_EQ(F().lblTime->text(), "przerwa 00:04:09");
  F().cmdUp_Click();  // the gap stays up while pictures go on
  EXPECT_EQ(F().lblTime->text(), "przerwa 00:04:09");
  QTRY_COMPARE_WITH_TIMEOUT(F().lblTime->text(), TimeAt(k10h + 257), 3000);

  // Backwards: from C's first picture over the gap into B's last, then into A's last whole one.
  F().cmdDown_Click();
  F().cmdDown_Click();
  ExpectIn(b, 1, "  (2/3)");
  EXPECT_EQ(F().player.CurrentRecording().PicPos, b.picturePositions[3]);
  EXPECT_EQ(F().lblTime->text(), "przerwa 00:04:09");
  for (int i = 0; i < 4; ++i) F().cmdDown_Click();
  ExpectIn(a, 0, "  (1/3)");
  EXPECT_EQ(F().player.CurrentRecording().PicPos, a.picturePositions[2]);
  // The trip's first picture: the old end rule.
  for (int i = 0; i < 3; ++i) F().cmdDown_Click();
  ExpectIn(a, 0, "  (1/3)");
  EXPECT_EQ(Keys(F()), kAtStart);
}

TEST_F(TripWindow, EveryPlayModeGoesOnAcrossRecordingsBothWays) {
  const std::vector<std::pair<void (Form1::*)(), void (Form1::*)()>> modes = {
      {&Form1::cmdUpF_Click, &Form1::cmdDownF_Click},
      {&Form1::cmdUpFF_Click, &Form1::cmdDownFF_Click},
      {&Form1::cmdUpFFF_Click, &Form1::cmdDownFFF_Click}};
  for (const auto& [forward, backward] : modes) {
    v.Open(a.path);
    (F().*forward)();  // runs until the trip ends
    ExpectIn(c, 2, "  (3/3)");
    EXPECT_EQ(F().player.CurrentRecording().PicPos, c.picturePositions[3]);
    EXPECT_EQ(Keys(F()), kAtEnd);
    (F().*backward)();
    ExpectIn(a, 0, "  (1/3)");
    EXPECT_EQ(F().player.CurrentRecording().PicPos, a.picturePositions[0]);
    EXPECT_EQ(Keys(F()), kAtStart);
  }
}

TEST_F(TripWindow, PageKeysSwitchAndPassingOver) {
  F().NextRecording();
  ExpectIn(c, 2, "  (3/3)");
  F().cmdUp_Click();
  EXPECT_EQ(F().player.CurrentRecording().PicPos, c.picturePositions[0]);
  F().NextRecording();  // the last recording: nothing further
  ExpectIn(c, 2, "  (3/3)");

  // PgUp into A places it behind its last whole picture, past the cut-short tail; the way
  // forward stays open, since a step goes on into B.
  F().PreviousRecording();
  F().PreviousRecording();
  ExpectIn(a, 0, "  (1/3)");
  QStringList crossing = kAllAvailable;
  crossing[5] = "StopU";
  EXPECT_EQ(Keys(F()), crossing);
  F().cmdDown_Click();
  EXPECT_EQ(F().player.CurrentRecording().PicPos, a.picturePositions[2]);

  // T turns continuous trip off (stored, with a beep): the end of A is an end again, and the
  // marker beside the name goes.
  EXPECT_TRUE(F().lblContinuous->isVisibleTo(&F()));
  F().ToggleContinuousTrip();
  EXPECT_EQ(v.platform.settings["ContinuousTrip"], "0");
  EXPECT_EQ(v.platform.beeps, 1);
  EXPECT_FALSE(F().lblContinuous->isVisibleTo(&F()));
  F().cmdUp_Click();
  ExpectIn(a, 0, "  (1/3)");
  EXPECT_EQ(Keys(F()), kAtEnd);
  F().ToggleContinuousTrip();  // on again at the end: the buttons open at once
  EXPECT_EQ(v.platform.settings["ContinuousTrip"], "1");
  EXPECT_EQ(Keys(F()), crossing);

  // B vanishes after the listing: the step from A's end passes it over with a message.
  std::filesystem::remove(b.path);
  F().cmdUp_Click();
  ExpectIn(c, 2, "  (3/3)");
  ASSERT_EQ(v.platform.messages.size(), 1u);
  EXPECT_TRUE(v.platform.messages[0].text.endsWith(QString::fromStdString(b.path)));
}

TEST_F(TripWindow, DroppedFolderOpensItsTripAtTheFirstRecording) {
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QString::fromStdString(folder.Path().string()))});
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  static_cast<QObject&>(F()).event(&drop);
  ExpectIn(a, 0, "  (1/3)");
}

// A 640 x 480 recording, and a 320 x 240 one of the same drive that begins two seconds
// before the first ends: stepping across clears the wider picture's last pixels and says the
// time steps back.
TEST(TripCrossing, IntoASmallerOverlappingRecordingClearsThePictureAndSaysSo) {
  ScratchDir folder{"rovena_trip_crossing"};
  TestRecording vga = MakeTestRecording("crossing_vga", 640, 480, 4, [](int i) { return SentenceAt(k10h + i); });
  TestRecording cif = MakeTestRecording("crossing_cif", 320, 240, 4, [](int i) { return SentenceAt(k10h + 2 + i); });
  vga.path = folder.File("front.m1v");
  cif.path = folder.File("rear.m1v");
  WriteFileAtomically(vga.path, vga.bytes);
  WriteFileAtomically(cif.path, cif.bytes);
  Viewer v;
  v.Open(vga.path);
  for (int i = 0; i < 4; ++i) v.form->cmdUp_Click();
  const QPoint beside(40, 120);  // left of where a 320-wide picture is drawn
  ASSERT_NE(v.form->Pic1->Image().pixelColor(beside), QColor(Qt::black));
  v.form->cmdUp_Click();
  EXPECT_EQ(v.form->MpegFile, QString::fromStdString(cif.path));
  EXPECT_EQ(v.form->lblTime->text(), QStringLiteral("nakładanie 00:00:01"));
  EXPECT_EQ(v.form->Pic1->Image().pixelColor(beside), QColor(Qt::black));
  EXPECT_EQ(v.form->Pic1->Image().pixelColor(QPoint(600, 120)), QColor(Qt::black));
}

}  // namespace
}  // namespace rovena::test
