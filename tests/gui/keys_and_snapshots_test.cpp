// The window driven from the keyboard and the wheel, and snapshots in the format their name
// asks for, first offered under the recording's name and GPS time.
#include <gtest/gtest.h>

#include <QImage>
#include <QTest>
#include <QWheelEvent>

#include "core/nmea.h"
#include "gui_test_support.h"
#include "recording_fixture.h"
#include "hostile_names.h"
#include "scratch_dir.h"
#include "tools/recording_writer.h"

namespace rovena::test {
namespace {

TEST(Keys, EveryPlaybackButtonNamesItsKeyAndF1ListsThemAll) {
  Viewer v;
  Form1& f = *v.form;
  EXPECT_EQ(f.cmdUpFF->toolTip(), "Szybkie odtwarzanie (Shift+Strzałka w prawo)");
  for (const PictureButton* b : {f.cmdDownE, f.cmdDownFFF, f.cmdDownFF, f.cmdDownF, f.cmdDown, f.cmdStop, f.cmdUp,
                                 f.cmdUpF, f.cmdUpFF, f.cmdUpFFF, f.cmdUpE})
    EXPECT_TRUE(b->toolTip().endsWith(")")) << b->PictureKey().toStdString();
  f.ShowKeyHelp();
  ASSERT_EQ(v.platform.messages.size(), 1u);
  for (const char* key : {"Ctrl+Strzałka w lewo", "Page Down", "Ctrl+E", "F1", "Kółko myszy nad obrazem", "F11",
                          "Lupa", "W oknie trasy", "Kółko myszy nad mapą", "Przeciąganie mapy", "Esc"})
    EXPECT_TRUE(v.platform.messages[0].text.contains(QString::fromUtf8(key))) << key;
}

TEST(Keys, KeysAndTheWheelStepAndPlay) {
  const TestRecording rec = MakeTestRecording("keys", 320, 240, 4);
  Viewer v;
  Form1& f = *v.form;
  v.Open(rec.path);
  f.show();
  f.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  QTest::keyClick(&f, Qt::Key_Right);
  EXPECT_EQ(f.player.CurrentRecording().PicPos, rec.picturePositions[0]);
  QWheelEvent towardsUser(QPointF(10, 10), f.Pic1->mapToGlobal(QPointF(10, 10)), {}, QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(f.Pic1, &towardsUser);
  EXPECT_EQ(f.player.CurrentRecording().PicPos, rec.picturePositions[1]);
  QTest::keyClick(&f, Qt::Key_Right, Qt::ControlModifier);  // very fast play runs to the end
  EXPECT_EQ(f.cmdUp->PictureKey(), "UpU");
  QTest::keyClick(&f, Qt::Key_Home);
  EXPECT_EQ(f.player.CurrentRecording().PicPos, rec.picturePositions[0]);
}

TEST(Snapshot, PngByNameAndAFirstNameFromTheRecordingAndItsTime) {
  const TestRecording made = MakeTestRecording("snapshot_png", 320, 240, 2);
  ScratchDir dir("rovena_snapshot");
  const std::string path = dir.File("140500.m1v");
  WriteFileAtomically(path, made.bytes);
  Viewer v;
  Form1& f = *v.form;
  f.BmpFileName.clear();
  v.Open(path);
  f.cmdUp_Click();
  const QString png = QString::fromStdString(dir.File("shot.png"));
  v.platform.dialogAnswers.push_back(png);
  f.cmdBmp_Click();
  EXPECT_EQ(v.platform.saveDialogs.back().presetName,
            QString::fromStdString(dir.File("140500_2006-03-30_22-34-16.bmp")));
  QImage saved;
  ASSERT_TRUE(saved.load(png, "PNG"));
  EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32), f.Pic1->Image());
  EXPECT_EQ(v.platform.settings["BmpFile"], png);
}

// The snapshots' time, place and source as exiftool, an independent reader, sees them:
// PNG text chunks and JPEG EXIF; a picture whose fix is not valid keeps its
// time but claims no place.
TEST(Snapshot, PngAndJpegCarryTimePlaceAndSourceForAnyReader) {
  const TestRecording made = MakeTestRecording("snapshot_tags", 320, 240, 2, [](int i) {
    return i == 0 ? MakeGprmcSentence(0) : "$GPRMC,223417.000,V,5213.1234,N,02100.5678,E,0.0,45.0,300306,,,N";
  });
  ScratchDir dir("rovena_snapshot_tags");
  const std::string path = dir.File("140500.m1v");
  WriteFileAtomically(path, made.bytes);
  Viewer v;
  v.Open(path);
  const auto save = [&](const std::string& name) {
    v.platform.dialogAnswers.push_back(QString::fromStdString(dir.File(name)));
    v.form->cmdBmp_Click();
  };
  const auto exiftool = [&](const std::vector<std::string>& tags, const std::string& name) {
    std::vector<std::string> argv{"/usr/bin/exiftool", "-s3", "-n", "-f"};
    argv.insert(argv.end(), tags.begin(), tags.end());
    argv.push_back(dir.File(name));
    return RunProgram(argv, dir.Path().string()).out;
  };
  v.form->cmdUp_Click();
  save("valid.png");
  save("valid.jpg");
  const std::string source = "140500.m1v, picture at byte " + std::to_string(made.picturePositions[0]) + "\n";
  EXPECT_EQ(exiftool({"-PNG:CreationTime", "-PNG:Location", "-PNG:Source"}, "valid.png"),
            "2006-03-30T22:34:16.000Z\n52.2187233,21.0094633\n" + source);
  EXPECT_EQ(exiftool({"-DateTimeOriginal", "-OffsetTimeOriginal", "-GPSLatitude", "-GPSLongitude", "-GPSSpeed",
                      "-GPSDateStamp", "-GPSTimeStamp", "-ImageDescription"},
                     "valid.jpg"),
            "2006:03:30 22:34:16\n+00:00\n52.2187233333333\n21.0094633333333\n55.6\n2006:03:30\n22:34:16\n" + source);

  v.form->cmdUp_Click();
  save("invalid.jpg");
  save("invalid.png");
  EXPECT_EQ(exiftool({"-DateTimeOriginal", "-GPSLatitude", "-GPSLongitude"}, "invalid.jpg"),
            "2006:03:30 22:34:17\n-\n-\n");
  EXPECT_EQ(exiftool({"-PNG:CreationTime", "-PNG:Location"}, "invalid.png"), "2006-03-30T22:34:17.000Z\n-\n");
}

}  // namespace
}  // namespace rovena::test

namespace rovena::test {
namespace {

// Rovena --at FILE:PICTURE and a pass chosen from the archive both land on a given picture.
TEST(OpenAt, TheFirstStepShowsTheChosenPicture) {
  const TestRecording rec = MakeTestRecording("open_at", 320, 240, 4);
  Viewer v("PLAYSPEED1=0.001\nMAPLAT1=52.41674\nMAPLAT2=52.80114\nMAPLON1=20.79139\nMAPLON2=20.2325\n", false,
           QString::fromStdString(rec.path));
  Form1& f = *v.form;
  ASSERT_TRUE(f.StandBeforePicture(3));
  f.cmdUp_Click();
  EXPECT_EQ(f.player.CurrentRecording().PicPos, rec.picturePositions[2]);
  EXPECT_FALSE(f.StandBeforePicture(9));  // past the end: the recording has four

  f.OpenAtPicture(QString::fromStdString(rec.path), 2);
  EXPECT_EQ(f.player.CurrentRecording().PicPos, rec.picturePositions[1]);
}

// As the program starts with --at: the picture itself with its own labels at once, and the
// next step goes on from it; a number past the end says so and shows the last picture.
TEST(OpenAt, ThePictureShowsAtOnceWithItsLabels) {
  const TestRecording rec = MakeTestRecording("open_at_shown", 320, 240, 4);
  Viewer v("PLAYSPEED1=0.001\nMAPLAT1=52.41674\nMAPLAT2=52.80114\nMAPLON1=20.79139\nMAPLON2=20.2325\n", false,
           QString::fromStdString(rec.path));
  Form1& f = *v.form;
  const QImage before = f.Pic1->Image().copy();
  f.ShowPictureNumber(3);
  EXPECT_EQ(f.player.CurrentRecording().PicPos, rec.picturePositions[2]);
  EXPECT_EQ(f.lblTime->text(), QString::fromStdString(*ParseNmea(MakeGprmcSentence(2)).timeText));
  EXPECT_NE(f.Pic1->Image(), before) << "the picture is drawn, not left black";
  f.cmdUp_Click();
  EXPECT_EQ(f.player.CurrentRecording().PicPos, rec.picturePositions[3]);

  v.Open(rec.path);
  f.ShowPictureNumber(7);
  ASSERT_EQ(v.platform.messages.size(), 1u);
  EXPECT_TRUE(v.platform.messages[0].text.contains("nie ma obrazu 7"));
  EXPECT_EQ(f.player.CurrentRecording().PicPos, rec.picturePositions[3]);
  EXPECT_EQ(f.lblTime->text(), QString::fromStdString(*ParseNmea(MakeGprmcSentence(3)).timeText));
}

}  // namespace
}  // namespace rovena::test
