// Stepping, the play loops with their ends, Stop and close requests during play, the
// position bar and the keyboard.
#include <gtest/gtest.h>

#include <QTest>

#include "gui_test_support.h"
#include "core/recording.h"
#include "recording_fixture.h"

namespace rovena::test {
namespace {

const TestRecording& Cif() {
  static const TestRecording rec = MakeTestRecording("play_cif", 320, 240, 12);
  return rec;
}

TEST(Steps, AStepDrawsTheCoreDecodeIntoThePictureArea) {
  for (const auto& [name, w, h] : {std::tuple{"step_cif", 320, 240}, std::tuple{"step_vga", 640, 480}}) {
    const TestRecording rec = MakeTestRecording(name, w, h, 2);
    Viewer v;
    v.Open(rec.path);
    v.form->cmdUp_Click();
    v.form->cmdUp_Click();
    EXPECT_EQ(v.form->player.CurrentRecording().PicPos, rec.picturePositions[1]);
    // The same picture decoded by the core alone.
    Recording reference;
    std::string error;
    ASSERT_TRUE(reference.Open(rec.path, error));
    PictureDecoder decoder;
    ASSERT_TRUE(decoder.CheckSize(reference.File()));
    for (int i = 0; i < 2; ++i) {
      ASSERT_TRUE(reference.StepUp(decoder.PicBuf()));
    }
    ASSERT_EQ(decoder.ShowPic(), PictureDecoder::PictureResult::Decoded);
    const QImage& image = v.form->Pic1->Image();
    ASSERT_EQ(image.height(), h);
    const int x0 = decoder.DrawX();
    int mismatches = 0;
    for (int y = 0; y < h; ++y) {
      const std::uint8_t* row = decoder.FrameBuf.data() + static_cast<size_t>(h - 1 - y) * 3 * w;
      for (int x = 0; x < w; ++x) {
        const QRgb expected = qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
        if (image.pixel(x0 + x, y) != expected) ++mismatches;
      }
    }
    EXPECT_EQ(mismatches, 0) << name;
    if (w == 320) {
      EXPECT_EQ(image.pixel(10, 100), qRgb(0, 0, 0));  // margins stay as cleared on opening
      EXPECT_EQ(image.pixel(630, 100), qRgb(0, 0, 0));
    }
  }
}

TEST(Steps, EndsOfTheRecordingAndJumps) {
  const TestRecording& rec = Cif();
  Viewer v;
  Form1& f = *v.form;
  v.Open(rec.path);
  f.cmdDown_Click();  // nothing before the first picture
  EXPECT_EQ(Keys(f), kAtStart);
  f.cmdUpE_Click();
  EXPECT_EQ(f.player.CurrentRecording().PicPos, rec.picturePositions.back());
  EXPECT_EQ(Keys(f), kAtEnd);
  f.cmdUp_Click();
  EXPECT_EQ(Keys(f), kAtEnd);
  f.cmdDown_Click();
  EXPECT_EQ(f.player.CurrentRecording().PicPos, rec.picturePositions[rec.picturePositions.size() - 2]);
  EXPECT_EQ(f.cmdUp->PictureKey(), "Up");
  f.cmdDownE_Click();
  EXPECT_EQ(f.player.CurrentRecording().PicPos, rec.picturePositions[0]);
  EXPECT_EQ(Keys(f), kAtStart);
  // After a step back the next step forward finds the picture that was current before.
  f.cmdUp_Click();
  f.cmdUp_Click();
  f.cmdDown_Click();
  f.cmdUp_Click();
  EXPECT_EQ(f.player.CurrentRecording().PicPos, rec.picturePositions[2]);
  f.cmdStop_Click();  // idle: nothing changes
  EXPECT_EQ(f.cmdDown->PictureKey(), "Down");
}

TEST(Play, EveryModeRunsToItsEndWithTheEndPictures) {
  const TestRecording& rec = Cif();
  struct Case {
    void (Form1::*click)();
    bool up;
  };
  for (const Case& c : {Case{&Form1::cmdUpF_Click, true}, Case{&Form1::cmdUpFF_Click, true},
                        Case{&Form1::cmdUpFFF_Click, true}, Case{&Form1::cmdDownF_Click, false},
                        Case{&Form1::cmdDownFF_Click, false}, Case{&Form1::cmdDownFFF_Click, false}}) {
    Viewer v;
    Form1& f = *v.form;
    v.Open(rec.path);
    if (!c.up) f.cmdUpE_Click();
    (f.*c.click)();
    EXPECT_FALSE(f.Playing);
    EXPECT_TRUE(f.BarEnabled);
    EXPECT_EQ(Keys(f), c.up ? kAtEnd : kAtStart);
  }
}

TEST(Play, FastPlayShowsEveryFifthPictureAndNoneOfTheLastFew) {
  const TestRecording& rec = Cif();  // 12 pictures: shows 5 and 10, then 11, 12 are passed over
  Viewer v;
  Form1& f = *v.form;
  v.Open(rec.path);
  std::vector<std::int64_t> shown;
  std::function<void()> watch = [&] {
    if (!f.Playing) return;
    if (shown.empty() || shown.back() != f.player.CurrentRecording().PicPos) shown.push_back(f.player.CurrentRecording().PicPos);
    AtNextYield(&f, watch);
  };
  AtNextYield(&f, watch);
  f.cmdUpFF_Click();
  EXPECT_EQ(f.player.CurrentRecording().PicPos, rec.picturePositions[11]);
  EXPECT_EQ(Keys(f), kAtEnd);
  // The picture area shows picture 10: the last fully read one.
  EXPECT_NE(std::find(shown.begin(), shown.end(), rec.picturePositions[4]), shown.end());
}

TEST(Play, RunningPicturesAndStopAfterOneMorePicture) {
  const TestRecording& rec = Cif();
  Viewer v;
  Form1& f = *v.form;
  v.Open(rec.path);
  f.cmdUp_Click();
  std::int64_t stoppedAt = 0;
  QString runningKey, stopKey;
  AtNextYield(&f, [&] {
    runningKey = f.cmdUpF->PictureKey();
    stopKey = f.cmdStop->PictureKey();
    stoppedAt = f.player.CurrentRecording().PicPos;
    QTest::mouseClick(f.cmdStop, Qt::LeftButton);
  });
  f.cmdUpF_Click();
  EXPECT_EQ(runningKey, "UpFA");
  EXPECT_EQ(stopKey, "Stop");
  ASSERT_EQ(stoppedAt, rec.picturePositions[1]);
  EXPECT_EQ(f.player.CurrentRecording().PicPos, rec.picturePositions[2]);
  EXPECT_FALSE(f.Playing);
  QStringList expected = kAllAvailable;
  expected[5] = "StopU";
  EXPECT_EQ(Keys(f), expected);
}

TEST(Play, OtherPlayButtonStopsAndCmdUpIsIgnoredAndCmdDownStepsBack) {
  const TestRecording& rec = Cif();
  Viewer v;
  Form1& f = *v.form;
  v.Open(rec.path);
  std::int64_t beforeDown = 0, afterDown = 0, afterUp = 0;
  bool barDuringPlay = true;
  QString upKeyAfterDown;
  int yields = 0;
  std::function<void()> script = [&] {
    ++yields;
    if (yields == 1) {
      barDuringPlay = f.BarEnabled;
      f.cmdUp_Click();  // ignored while playing
      afterUp = f.player.CurrentRecording().PicPos;
      beforeDown = f.player.CurrentRecording().PicPos;
    }
    if (yields == 3) {
      f.cmdDown_Click();
      afterDown = f.player.CurrentRecording().PicPos;
      upKeyAfterDown = f.cmdUp->PictureKey();
      EXPECT_TRUE(f.BarEnabled);
      EXPECT_TRUE(f.Playing);
    }
    if (yields == 5) {
      f.cmdDownFF_Click();  // acts as Stop
      return;
    }
    AtNextYield(&f, script);
  };
  AtNextYield(&f, script);
  f.cmdUpF_Click();
  EXPECT_FALSE(barDuringPlay);
  EXPECT_EQ(afterUp, beforeDown);
  EXPECT_EQ(upKeyAfterDown, "Up");
  ASSERT_GT(afterDown, 0);
  EXPECT_LT(afterDown, rec.picturePositions[3]);
  EXPECT_FALSE(f.Playing);
  EXPECT_EQ(f.cmdDownFF->PictureKey(), "DownFF");  // the second press did not start a loop
}

TEST(Play, CloseRequestDuringPlayClosesAfterOneMorePicture) {
  const TestRecording& rec = Cif();
  Viewer v;
  Form1& f = *v.form;
  v.Open(rec.path);
  f.show();
  std::int64_t at = 0;
  bool refused = false;
  AtNextYield(&f, [&] {
    at = f.player.CurrentRecording().PicPos;
    refused = !f.close();
  });
  f.cmdUpF_Click();
  EXPECT_TRUE(refused);
  EXPECT_FALSE(f.isVisible());
  EXPECT_EQ(f.player.CurrentRecording().PicPos, rec.picturePositions[1]);
  EXPECT_EQ(at, rec.picturePositions[0]);
  EXPECT_EQ(v.platform.settings["MpegFile"], QString::fromStdString(rec.path));
}

TEST(Play, CloseRequestInTheCycleThatMeetsTheEndStillCloses) {
  const TestRecording rec = MakeTestRecording("close_at_end", 320, 240, 3);
  Viewer v;
  Form1& f = *v.form;
  v.Open(rec.path);
  f.show();
  AtNextYield(&f, [&] { f.close(); });  // during the first five searches, which run into the end
  f.cmdUpFF_Click();
  EXPECT_FALSE(f.isVisible());
  EXPECT_FALSE(f.Playing);
}

TEST(Play, NormalPlayKeepsItsPace) {
  const TestRecording rec = MakeTestRecording("pace", 320, 240, 4);
  Viewer v("PLAYSPEED1=0.05\nMAPLAT1=52.41674\nMAPLAT2=52.80114\nMAPLON1=20.79139\nMAPLON2=20.2325\n");
  v.Open(rec.path);
  QElapsedTimer timer;
  timer.start();
  v.form->cmdUpF_Click();
  // Four pictures shown, three full waits between them; the fifth search meets the end.
  EXPECT_GE(timer.elapsed(), 150);
}

TEST(Bar, CounterForTheThousandByteExample) {
  const std::string path = TestDataDir() + "/gui_thousand.bin";
  WriteFileAtomically(path, std::vector<std::uint8_t>(1000, 0x55));
  Viewer v;
  Form1& f = *v.form;
  f.NewFile(QString::fromStdString(path));  // "Bad  file !", yet open
  EXPECT_EQ(f.lblPlay->text(), "0%");
  EXPECT_FLOAT_EQ(f.fraCmd->shPlayWidth, 0);
  EXPECT_EQ(f.lblPlay->x(), -4);  // centred on the track's left end (8): half lies outside
  f.player.CurrentRecording().File().ReadAt(1000);
  f.SetPlayCounter(false);
  EXPECT_EQ(f.lblPlay->text(), "99%");
  EXPECT_FLOAT_EQ(f.fraCmd->shPlayWidth, f.fraCmd->shFile.trackWidth);
}

TEST(Bar, HoverClickStepAndDragSeek) {
  const TestRecording& rec = Cif();
  Viewer v;
  Form1& f = *v.form;
  v.Open(rec.path);
  f.cmdUp_Click();
  f.cmdUp_Click();
  const float end = 120 + f.fraCmd->shPlayWidth;
  const float y = 400;
  f.fraCmd_MouseMove(0, 0, end + 30, y);
  EXPECT_EQ(f.MousePointer(), 9);
  f.fraCmd_MouseMove(0, 0, end + 90, y);
  EXPECT_EQ(f.MousePointer(), 0);
  // Right button: nothing. Left click right of the end: a step forward; left of it: back.
  f.fraCmd_MouseDown(2, 0, end + 500, y);
  EXPECT_EQ(f.player.CurrentRecording().PicPos, rec.picturePositions[1]);
  QTest::mouseClick(f.fraCmd, Qt::LeftButton, Qt::NoModifier, QPoint(int((end + 900) / 15), int(y / 15)));
  EXPECT_EQ(f.player.CurrentRecording().PicPos, rec.picturePositions[2]);
  f.fraCmd_MouseDown(1, 0, 200, y);
  EXPECT_EQ(f.player.CurrentRecording().PicPos, rec.picturePositions[1]);

  // Drag the end to the middle: the counter follows; release seeks to the first picture after it.
  const float end2 = 120 + f.fraCmd->shPlayWidth;
  f.fraCmd_MouseDown(1, 0, end2 + 10, y);
  EXPECT_TRUE(f.BarDragging);
  f.fraCmd_MouseMove(1, 0, 120 + 9375 / 2.0f, y);
  EXPECT_EQ(f.lblPlay->text(), "50%");
  f.fraCmd_MouseMove(1, 0, 120 + 9375 / 2.0f, 2000);  // outside the band: the width stays
  f.fraCmd_MouseUp(1, 0, 9000, 2000);
  EXPECT_FALSE(f.BarDragging);
  const std::int64_t middle = static_cast<std::int64_t>(rec.bytes.size()) / 2;
  const auto next = std::upper_bound(rec.picturePositions.begin(), rec.picturePositions.end(), middle);
  ASSERT_NE(next, rec.picturePositions.end());
  EXPECT_EQ(f.player.CurrentRecording().PicPos, *next);
  EXPECT_NE(f.lblPlay->text(), "50%");

  // While disabled the bar ignores presses.
  f.UnActiveCmd();
  const std::int64_t before = f.player.CurrentRecording().PicPos;
  f.fraCmd_MouseDown(1, 0, 9000, y);
  EXPECT_EQ(f.player.CurrentRecording().PicPos, before);
}

TEST(Bar, DragToTheVeryStartIsClampedToTheFirstByte) {
  const TestRecording& rec = Cif();
  Viewer v;
  Form1& f = *v.form;
  v.Open(rec.path);
  f.cmdUp_Click();
  f.cmdUp_Click();
  f.fraCmd_MouseDown(1, 0, 120 + f.fraCmd->shPlayWidth, 400);
  f.fraCmd_MouseMove(1, 0, 120.5f, 400);
  f.fraCmd_MouseUp(1, 0, 120.5f, 400);
  EXPECT_EQ(f.player.CurrentRecording().PicPos, rec.picturePositions[0]);
}

TEST(Keyboard, ArrowsHomeEndAndSpace) {
  const TestRecording& rec = Cif();
  Viewer v;
  Form1& f = *v.form;
  v.Open(rec.path);
  f.show();
  f.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  QTest::keyClick(&f, Qt::Key_Right);
  QTest::keyClick(&f, Qt::Key_Right);
  EXPECT_EQ(f.player.CurrentRecording().PicPos, rec.picturePositions[1]);
  QTest::keyClick(&f, Qt::Key_Left);
  EXPECT_EQ(f.player.CurrentRecording().PicPos, rec.picturePositions[0]);
  QTest::keyClick(&f, Qt::Key_End);
  EXPECT_EQ(f.player.CurrentRecording().PicPos, rec.picturePositions.back());
  QTest::keyClick(&f, Qt::Key_Home);
  EXPECT_EQ(f.player.CurrentRecording().PicPos, rec.picturePositions[0]);
  AtNextYield(&f, [&] { QTest::keyClick(&f, Qt::Key_Space); });
  QTest::keyClick(&f, Qt::Key_Space);  // plays; the second Space stops it
  EXPECT_FALSE(f.Playing);
  EXPECT_EQ(f.player.CurrentRecording().PicPos, rec.picturePositions[2]);
  EXPECT_EQ(f.cmdStop->PictureKey(), "StopU");
  EXPECT_EQ(f.cmdUp->PictureKey(), "Up");
}

}  // namespace
}  // namespace rovena::test
