// GPS labels, the map view, the BMP snapshot and cutting a fragment.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QImage>

#include "gui_test_support.h"
#include "recording_fixture.h"

namespace rovena::test {
namespace {

const char kExample[] = "$GPRMC,223416.000,A,5214.1234,N,02100.5678,E,12.5,270.0,300306,,,A";

TestRecording SentenceRecording(const std::string& name, const std::vector<std::string>& sentences) {
  return MakeTestRecording(name, 320, 240, static_cast<int>(sentences.size()),
                           [&sentences](int i) { return sentences[static_cast<size_t>(i)]; });
}

TEST(GpsLabels, ExampleSentencesAndShortOnes) {
  const TestRecording rec = SentenceRecording(
      "gps_labels", {kExample, "$GPRMC,223417.000,V,5214.1234,N,02100.5678,E,27,270.0,300306,,,A",
                     "$GPRMC,223418.000,A,5214.1234,N,02100.5678,E,0,270.0", "$GPRMC,223419.000,A,5214.1234,N,"
                                                                             "02100.5678,E,5",
                     "NOTGPS,123456.000,A,5214.1234,N,02100.5678,E,3,1,010107"});
  Viewer v;
  Form1& f = *v.form;
  v.Open(rec.path);
  EXPECT_TRUE(f.lblTime->isHidden());
  f.cmdUp_Click();
  EXPECT_EQ(f.lblTime->text(), "30.03.2006  22:34:16");
  EXPECT_EQ(f.lblSpeed->text(), "23 km/h");
  EXPECT_EQ(f.LatText, "5214.1234");
  EXPECT_EQ(f.LonText, "02100.5678");
  EXPECT_TRUE(f.GpsValid);
  EXPECT_FALSE(f.lblTime->isHidden());
  EXPECT_FALSE(f.lblSpeed->isHidden());
  EXPECT_FALSE(f.chkGps->isHidden());
  f.cmdUp_Click();  // V fix, 27 knots
  EXPECT_EQ(f.lblSpeed->text(), "50 km/h");
  EXPECT_FALSE(f.GpsValid);
  f.cmdUp_Click();  // ends after the course: the time alone
  EXPECT_EQ(f.lblTime->text(), "22:34:18");
  EXPECT_EQ(f.lblSpeed->text(), "0 km/h");
  f.cmdUp_Click();  // no comma after the speed: the speed keeps its caption
  EXPECT_EQ(f.lblSpeed->text(), "0 km/h");
  EXPECT_EQ(f.lblTime->text(), "22:34:19");
  f.cmdUp_Click();  // not $GPRMC: no GpsOn, yet the fields are still read by position
  EXPECT_FALSE(f.chkGps->isHidden());
  EXPECT_EQ(f.lblSpeed->text(), "6 km/h");
  EXPECT_EQ(f.lblTime->text(), "01.01.2007  12:34:56");
  // Choosing a recording hides the GPS controls again.
  v.Open(rec.path);
  EXPECT_TRUE(f.chkGps->isHidden());
}

std::string SentenceAt(const char* lat, const char* lon, char status = 'A') {
  return std::string("$GPRMC,120000.000,") + status + "," + lat + ",N," + lon + ",E,10.0,90.0,010106,,,A";
}

TEST(MapView, ScrollsRedrawsPlacesTheMarkerAndGoesOffTheMap) {
  // Default calibration; positions from the worked example: x 1598, y 1932.
  const TestRecording rec = SentenceRecording(
      "gps_map", {SentenceAt("5214.1234", "02100.5678"), SentenceAt("5214.1234", "02100.5678", 'V'),
                  SentenceAt("5100.0000", "02100.5678")});
  Viewer v("", true);
  Form1& f = *v.form;
  ASSERT_FALSE(f.MapPicture.isNull());
  EXPECT_EQ(f.MapPicture.format(), QImage::Format_Indexed8);
  v.Open(rec.path);
  f.cmdUp_Click();
  f.chkGps->click();
  EXPECT_EQ(f.Pic1->height(), 482);
  EXPECT_EQ(f.MapX, 1278);
  EXPECT_EQ(f.MapY, 1692);
  EXPECT_TRUE(f.shPoint->isVisibleTo(f.Pic1));
  EXPECT_EQ(f.shPoint->pos(), QPoint(1 + 314, 1 + 234));
  EXPECT_EQ(f.shPoint->FillColour(), QColor(255, 0, 0));
  // The picture area shows the map region without the marker.
  const QImage& image = f.Pic1->Image();
  for (const QPoint p : {QPoint(0, 0), QPoint(319, 239), QPoint(639, 479)}) {
    EXPECT_EQ(image.pixel(p), f.MapPicture.color(MapIndexAt(1278 + p.x(), 1692 + p.y())));
  }
  f.cmdUp_Click();  // same place, no fix: blue, no move
  EXPECT_EQ(f.MapX, 1278);
  EXPECT_EQ(f.shPoint->FillColour(), QColor(0, 0, 255));
  f.cmdUp_Click();  // far south of the map
  EXPECT_FALSE(f.Pic1->isVisible() && f.Pic1->isVisibleTo(&f));
  EXPECT_EQ(f.lblLat->text().left(5), "Lat: ");
  EXPECT_TRUE(f.lblLat->text().endsWith(QChar(0xB0)));
  EXPECT_EQ(f.MapX, 1278);
  // Clearing the box brings the video back in the recording's own format.
  f.chkGps->click();
  EXPECT_TRUE(f.Pic1->isVisibleTo(&f));
  EXPECT_FALSE(f.shPoint->isVisibleTo(f.Pic1));
  EXPECT_EQ(f.Pic1->height(), 242);
}

TEST(MapView, WithoutAMapEveryPositionIsOffTheMap) {
  const TestRecording rec = SentenceRecording("gps_nomap", {kExample});
  Viewer v;
  v.Open(rec.path);
  v.form->cmdUp_Click();
  v.form->chkGps->click();
  EXPECT_FALSE(v.form->Pic1->isVisibleTo(v.form.get()));
  EXPECT_TRUE(v.form->lblLat->text().contains("52"));
  EXPECT_TRUE(v.form->lblLat->text().contains("23539"));
  EXPECT_TRUE(v.form->lblLon->text().contains("00946"));
}

TEST(MapView, AMapOfTheWrongSizeIsReportedAndIgnored) {
  ProgramFolder folder;
  QImage small(64, 64, QImage::Format_RGB32);
  small.fill(Qt::red);
  ASSERT_TRUE(small.save(folder.Path() + "/map.gif.png", "PNG"));
  QFile::rename(folder.Path() + "/map.gif.png", folder.Path() + "/map.gif");
  ScriptedPlatform platform;
  Form1 form(platform, folder.Path(), QString());
  form.Form_Load();
  EXPECT_TRUE(form.MapPicture.isNull());
  EXPECT_EQ(platform.messages.size(), 1u);
}

TEST(Snapshot, SavesThePictureAreaInVideoAndMapViewAndNeverOnCancel) {
  const TestRecording rec = SentenceRecording("snapshot", {kExample, kExample});
  Viewer v("", true);
  Form1& f = *v.form;
  v.Open(rec.path);
  f.cmdUp_Click();
  const QString name = QString::fromStdString(TestDataDir() + "/gui_snapshot_" + std::to_string(::getpid()));
  v.platform.dialogAnswers.push_back(name);  // typed without ".bmp": used as typed
  f.cmdBmp_Click();
  EXPECT_EQ(v.platform.saveDialogs.back().filter, "*.bmp|*.bmp");
  QImage saved(name, "BMP");
  ASSERT_FALSE(saved.isNull());
  EXPECT_EQ(saved.size(), QSize(640, 240));
  EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32), f.Pic1->Image());
  EXPECT_EQ(v.platform.settings["BmpFile"], name);
  EXPECT_EQ(f.BmpFileName, name);

  f.chkGps->click();  // map view: 640 x 480, marker not included
  v.platform.dialogAnswers.push_back(name);
  f.cmdBmp_Click();
  EXPECT_EQ(v.platform.saveDialogs.back().presetName, name);
  QImage map(name, "BMP");
  EXPECT_EQ(map.size(), QSize(640, 480));
  EXPECT_EQ(map.pixel(314 + 5, 234 + 5), f.MapPicture.color(MapIndexAt(1278 + 319, 1692 + 239)));

  const QByteArray before = [&] { QFile file(name); file.open(QIODevice::ReadOnly); return file.readAll(); }();
  f.chkGps->click();
  f.cmdUp_Click();
  f.cmdBmp_Click();  // cancelled: the earlier file stays
  QFile file(name);
  file.open(QIODevice::ReadOnly);
  EXPECT_EQ(file.readAll(), before);
  // A folder that does not exist: reported, the setting keeps the last good name.
  v.platform.dialogAnswers.push_back("/nonexistent/folder/x.bmp");
  f.cmdBmp_Click();
  EXPECT_EQ(v.platform.messages.size(), 1u);
  EXPECT_EQ(v.platform.settings["BmpFile"], name);
  f.Playing = true;
  f.cmdBmp_Click();
  EXPECT_EQ(v.platform.saveDialogs.size(), 4u);
  f.Playing = false;
  QFile::remove(name);
}

class CutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rec = MakeTestRecording("cut", 320, 240, 6);
    viewer = std::make_unique<Viewer>();
    viewer->Open(rec.path);
    out = QString::fromStdString(TestDataDir() + "/gui_cut_" + std::to_string(::getpid()) + ".MPEG");
  }
  void TearDown() override { QFile::remove(out); }
  Form1& f() { return *viewer->form; }
  std::vector<std::uint8_t> Saved() { return ReadWholeFile(out.toStdString()); }
  std::vector<std::uint8_t> Expected(std::int64_t start, std::int64_t end) {
    std::vector<std::uint8_t> bytes(rec.bytes.begin(), rec.bytes.begin() + 20);
    bytes.insert(bytes.end(), rec.bytes.begin() + (start - 12), rec.bytes.begin() + end);
    return bytes;
  }
  TestRecording rec;
  std::unique_ptr<Viewer> viewer;
  QString out;
};

TEST_F(CutTest, MarkSaveAndTheCycleOfThreeStates) {
  f().cmdUp_Click();
  f().cmdUp_Click();
  f().cmdCut_Click();
  EXPECT_EQ(f().player.Marks().CutStart(), rec.picturePositions[1]);
  EXPECT_EQ(f().cmdCut->PictureKey(), "2");
  EXPECT_TRUE(f().fraCmd->linCut1.visible);
  EXPECT_FALSE(f().cmdSaveCut->isEnabled());
  f().cmdUp_Click();
  f().cmdUp_Click();
  f().cmdCut_Click();
  EXPECT_EQ(f().player.Marks().CutEnd(), rec.pictureEnds[3]);
  EXPECT_EQ(f().cmdCut->PictureKey(), "3");
  EXPECT_TRUE(f().fraCmd->linCut2.visible);
  EXPECT_GT(f().fraCmd->linCut2.x, f().fraCmd->linCut1.x);
  ASSERT_TRUE(f().cmdSaveCut->isEnabled());
  viewer->platform.dialogAnswers.push_back(out);
  f().cmdSaveCut_Click();
  EXPECT_EQ(viewer->platform.saveDialogs.back().filter, "*.MPEG|*.MPEG");
  EXPECT_EQ(viewer->platform.settings["Cut"], out);
  EXPECT_EQ(Saved(), Expected(f().player.Marks().CutStart(), f().player.Marks().CutEnd()));
  EXPECT_EQ(Saved().size(), static_cast<size_t>(20 + f().player.Marks().CutEnd() - f().player.Marks().CutStart() + 12));
  // The next step goes on behind the end mark.
  f().cmdUp_Click();
  EXPECT_EQ(f().player.CurrentRecording().PicPos, rec.picturePositions[4]);
  f().cmdCut_Click();  // third click clears
  EXPECT_EQ(f().player.Marks().CutStart(), -1);
  EXPECT_EQ(f().player.Marks().CutEnd(), -1);
  EXPECT_FALSE(f().fraCmd->linCut1.visible);
  EXPECT_FALSE(f().cmdSaveCut->isEnabled());
  EXPECT_EQ(f().cmdCut->PictureKey(), "1");
  f().cmdCut_Click();  // fourth marks a new start
  EXPECT_EQ(f().player.Marks().CutStart(), rec.picturePositions[4]);
}

TEST_F(CutTest, SamePictureAcceptedEndBeforeStartRefused) {
  f().cmdUp_Click();
  f().cmdUp_Click();
  f().cmdCut_Click();
  f().cmdDown_Click();
  f().cmdCut_Click();
  EXPECT_EQ(viewer->platform.beeps, 1);
  EXPECT_EQ(f().player.Marks().CutEnd(), -1);
  EXPECT_EQ(f().cmdCut->PictureKey(), "2");
  f().cmdUp_Click();
  f().cmdCut_Click();  // back on the start picture: start and end on the same picture
  EXPECT_EQ(f().player.Marks().CutStart(), rec.picturePositions[1]);
  EXPECT_EQ(f().player.Marks().CutEnd(), rec.pictureEnds[1]);
  viewer->platform.dialogAnswers.push_back(out);
  f().cmdSaveCut_Click();
  EXPECT_EQ(Saved(), Expected(rec.picturePositions[1], rec.pictureEnds[1]));
}

TEST_F(CutTest, RefusesToOverwriteTheRecordingAndCancelWritesNothing) {
  f().cmdUp_Click();
  f().cmdCut_Click();
  f().cmdUp_Click();
  f().cmdCut_Click();
  f().cmdSaveCut_Click();  // cancelled
  EXPECT_FALSE(QFile::exists(out));
  const QString link = out + ".link";
  QFile::link(QString::fromStdString(rec.path), link);
  viewer->platform.dialogAnswers.push_back(link);
  f().cmdSaveCut_Click();
  ASSERT_EQ(viewer->platform.messages.size(), 1u);
  EXPECT_EQ(ReadWholeFile(rec.path), rec.bytes);
  QFile::remove(link);
  f().Playing = true;
  f().cmdSaveCut_Click();
  EXPECT_EQ(viewer->platform.saveDialogs.size(), 2u);
  f().Playing = false;
}

TEST_F(CutTest, MarksClearedByAnotherRecordingKeptOnReopen) {
  f().cmdUp_Click();
  f().cmdCut_Click();
  f().cmdUp_Click();
  f().cmdCut_Click();
  f().cmdFile_Click();  // cancelled: the same recording again
  EXPECT_TRUE(f().cmdSaveCut->isEnabled());
  EXPECT_NE(f().player.Marks().CutEnd(), -1);
  const TestRecording other = MakeTestRecording("cut_other", 320, 240, 2);
  viewer->Open(other.path);
  EXPECT_EQ(f().player.Marks().CutStart(), -1);
  EXPECT_EQ(f().player.Marks().CutEnd(), -1);
  EXPECT_FALSE(f().cmdSaveCut->isEnabled());
  EXPECT_FALSE(f().fraCmd->linCut1.visible);
  EXPECT_FALSE(f().fraCmd->linCut2.visible);
  EXPECT_EQ(f().cmdCut->PictureKey(), "1");
}

TEST_F(CutTest, ClearingTheGpsBoxWhileIdleLeavesTheFileBehindThePicture) {
  f().cmdUp_Click();
  f().cmdUp_Click();
  const std::int64_t afterStep = f().player.CurrentRecording().File().LastPosition();
  f().chkGps->setVisible(true);
  f().chkGps->click();
  f().chkGps->click();
  EXPECT_EQ(f().player.CurrentRecording().File().LastPosition(), afterStep);
  EXPECT_EQ(f().player.CurrentRecording().PicPos, rec.picturePositions[1]);
  f().cmdCut_Click();
  f().cmdCut_Click();  // an end mark on the same picture covers all of it
  EXPECT_EQ(f().player.Marks().CutEnd(), rec.pictureEnds[1]);
}

TEST_F(CutTest, StartTooCloseToTheFileStartIsRefused) {
  // A file without the 20 header bytes: its first picture starts at byte 4.
  std::vector<std::uint8_t> bytes(rec.bytes.begin() + 20, rec.bytes.end());
  bytes.insert(bytes.begin(), rec.bytes.begin(), rec.bytes.begin() + 7);  // keep the size header
  const std::string path = TestDataDir() + "/gui_cut_noheader.m1v";
  WriteFileAtomically(path, bytes);
  viewer->Open(path);
  f().cmdUp_Click();
  ASSERT_LT(f().player.CurrentRecording().PicPos, 12);
  f().cmdCut_Click();
  f().cmdCut_Click();
  viewer->platform.dialogAnswers.push_back(out);
  f().cmdSaveCut_Click();
  EXPECT_FALSE(QFile::exists(out));
  EXPECT_EQ(viewer->platform.messages.size(), 1u);
}

}  // namespace
}  // namespace rovena::test
