// Form1's layout, button states, start-up with its configuration file, and opening.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <fstream>

#include "gui_test_support.h"
#include "recording_fixture.h"

namespace rovena::test {
namespace {

TEST(FormLayout, ControlsTextsAndGeometry) {
  Viewer v;
  Form1& f = *v.form;
  EXPECT_EQ(f.windowTitle(), "Rovena  2.0");
  EXPECT_EQ(f.Pic1->geometry(), QRect(0, 0, 642, 242));
  EXPECT_EQ(f.fraCmd->geometry(), QRect(0, 248, 641, 137));
  EXPECT_EQ(f.size(), QSize(642, 387));
  EXPECT_EQ(f.cmdStop->geometry(), QRect(281, 104, 81, 22));
  EXPECT_EQ(f.cmdUpE->geometry(), QRect(592, 104, 33, 22));
  EXPECT_EQ(f.cmdFile->geometry(), QRect(16, 56, 57, 22));
  EXPECT_EQ(f.lblFile->geometry(), QRect(80, 56, 369, 17));
  EXPECT_EQ(f.lblnoMap->text(), QString::fromUtf8("Brak mapy dla niżej wymienionych współrzędnych !"));
  EXPECT_EQ(f.lblLat->text(), QString::fromUtf8("Lat: 52°"));
  EXPECT_EQ(f.lblLon->text(), QString::fromUtf8("Lon: 52.3456°"));
  EXPECT_EQ(f.chkGps->text(), "GPS");
  EXPECT_EQ(f.cmdFile->toolTip(), "Wczytanie nowego pliku w formacie MPEG-1");
  EXPECT_EQ(f.cmdCut->toolTip(), QString::fromUtf8("Zaznaczenie początku i końca sekwecji przeznaczonej do zapisu"));
  EXPECT_EQ(f.cmdSaveCut->toolTip(), "Zapis zaznaczonego fragmentu w formacie MPEG-1");
  EXPECT_EQ(f.cmdBmp->toolTip(), "Zapis wybranego obrazka w formacie BMP");
  EXPECT_TRUE(f.lblLat->font().bold());
  EXPECT_TRUE(f.lblTime->font().families().contains("Courier New"));
  // Labels behind the picture area stay covered while it is shown.
  EXPECT_LT(f.children().indexOf(f.lblnoMap), f.children().indexOf(f.Pic1));
  EXPECT_FALSE(f.cmdCut->isEnabled());
  EXPECT_FALSE(f.cmdSaveCut->isEnabled());
  EXPECT_EQ(f.cmdCut->PictureKey(), "1");
  // GPS controls start hidden; no stored recording: everything unavailable, counter at 0%.
  EXPECT_TRUE(f.lblTime->isHidden());
  EXPECT_TRUE(f.lblSpeed->isHidden());
  EXPECT_TRUE(f.chkGps->isHidden());
  EXPECT_EQ(Keys(f), kAllUnavailable);
  EXPECT_EQ(f.lblPlay->text(), "0%");
}

TEST(FormLayout, EveryPictureKeyHasArtworkAndTheVariantsDiffer) {
  Viewer v;
  for (const char* name : {"Up", "UpF", "UpFF", "UpFFF", "UpE", "Down", "DownF", "DownFF", "DownFFF", "DownE", "Stop"}) {
    const QString key = QString::fromLatin1(name);
    ASSERT_TRUE(v.form->imglPic.Contains(key)) << name;
    ASSERT_TRUE(v.form->imglPic.Contains(key + 'U')) << name;
    EXPECT_NE(v.form->imglPic.Picture(key).toImage(), v.form->imglPic.Picture(key + 'U').toImage()) << name;
    const bool plays = key.endsWith('F');
    EXPECT_EQ(v.form->imglPic.Contains(key + 'A'), plays) << name;
  }
  // Up and Down pictures are mirror images, not the same drawing.
  EXPECT_NE(v.form->imglPic.Picture("UpF").toImage(), v.form->imglPic.Picture("DownF").toImage());
  for (const char* key : {"1", "2", "3"}) EXPECT_TRUE(v.form->imglFlag.Contains(key));
}

TEST(ButtonStates, SixOperationsSetTheirKeysAndTheBar) {
  Viewer v;
  Form1& f = *v.form;
  f.ActiveCmd();
  EXPECT_EQ(Keys(f), kAllAvailable);
  EXPECT_TRUE(f.BarEnabled);
  f.UnActiveCmd();
  EXPECT_EQ(Keys(f), kAllUnavailable);
  EXPECT_FALSE(f.BarEnabled);
  f.ActiveUpCmd();  // Stop stays unavailable
  EXPECT_EQ(Keys(f), QStringList({"DownEU", "DownFFFU", "DownFFU", "DownFU", "DownU", "StopU", "Up", "UpF", "UpFF",
                                  "UpFFF", "UpE"}));
  EXPECT_TRUE(f.BarEnabled);
  f.ActiveCmd();
  f.BarEnabled = false;
  f.UnActiveUpCmd();
  f.ActiveDownCmd();
  EXPECT_EQ(Keys(f), kAtEnd);
  EXPECT_TRUE(f.BarEnabled);
  f.BarEnabled = false;
  f.UnActiveDownCmd();  // leaves the bar as it was
  EXPECT_FALSE(f.BarEnabled);
  EXPECT_EQ(f.cmdDown->PictureKey(), "DownU");
  EXPECT_EQ(f.cmdStop->PictureKey(), "StopU");
}

TEST(StartUp, ConfigurationExamples) {
  {
    Viewer v("PLAYSPEED1=0.1\nMAPLAT1=52.41674\nMAPLAT2=52.80114\nMAPLON1=20.79139\nMAPLON2=20.2325\n");
    EXPECT_TRUE(v.platform.messages.empty());
    EXPECT_NEAR(v.form->Map.ScaleLat, 10652.98, 0.01);
    EXPECT_NEAR(v.form->Map.ScaleLon, 7327.03, 0.01);
  }
  {
    Viewer v("");  // no file: defaults with the fixed scales
    EXPECT_FLOAT_EQ(v.form->Map.ScaleLat, 10653);
    EXPECT_FLOAT_EQ(v.form->Map.ScaleLon, 7327);
    EXPECT_FLOAT_EQ(v.form->PlayInterval, 0.1f);
  }
  {
    Viewer v("PLAYSPEED1=0.1\nMAPLAT1=52,5\nMAPLAT1 =52.5\nmaplat2=52.8\nMAPLON1=20.79\nMAPLON2=20.23\n\n");
    ASSERT_EQ(v.platform.messages.size(), 2u);
    EXPECT_EQ(v.platform.messages[0].text, QString::fromUtf8("Błąd w pliku *.ini !"));
    EXPECT_EQ(v.platform.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(v.platform.messages[1].text, QString::fromUtf8("Nieznany parametr w pliku *.ini : 'MAPLAT1 '"));
    EXPECT_FLOAT_EQ(v.form->Map.MapLat1, 52);
  }
}

TEST(StartUp, IncompleteOrEqualCalibrationStopsBeforeOpeningButDecodingStillWorks) {
  const TestRecording rec = MakeTestRecording("startup", 320, 240, 3);
  Viewer v("MAPLAT1=52.4\nMAPLAT2=52.8\nMAPLON1=20.7\nMAPLON2=20.2\n", false, QString::fromStdString(rec.path));
  ASSERT_EQ(v.platform.messages.size(), 1u);
  EXPECT_EQ(v.platform.messages[0].text, QString::fromUtf8("Brak wszytkich wartości w pliku *.ini !"));
  EXPECT_EQ(v.platform.messages[0].icon, MessageIcon::Critical);
  EXPECT_TRUE(v.form->MpegFile.isEmpty());
  EXPECT_FALSE(v.form->player.CurrentRecording().File().IsOpen());
  // The user opens a recording by hand; its pictures decode.
  v.Open(rec.path);
  v.form->cmdUp_Click();
  EXPECT_NE(v.form->Pic1->Image().pixel(320, 120), qRgb(0, 0, 0));

  Viewer equal("PLAYSPEED1=0.1\nMAPLAT1=52.4\nMAPLAT2=52.4\nMAPLON1=20.7\nMAPLON2=20.2\n");
  ASSERT_FALSE(equal.platform.messages.empty());
  EXPECT_EQ(equal.platform.messages.back().icon, MessageIcon::Critical);
}

TEST(StartUp, CommandLineQuotesAndStoredRecording) {
  const TestRecording rec = MakeTestRecording("cmdline", 320, 240, 2);
  Viewer quoted("", false, QString::fromStdString("\"" + rec.path + "\""));
  EXPECT_EQ(quoted.form->MpegFile, QString::fromStdString(rec.path));
  EXPECT_TRUE(quoted.form->player.CurrentRecording().File().IsOpen());
  // Opened recordings stand at their start: Up available, Down not.
  EXPECT_EQ(quoted.form->cmdUp->PictureKey(), "Up");
  EXPECT_EQ(quoted.form->cmdDown->PictureKey(), "DownU");

  ScriptedPlatform platform;
  platform.settings["MpegFile"] = QString::fromStdString(rec.path);
  platform.settings["BmpFile"] = "/tmp/last.bmp";
  ProgramFolder folder;
  Form1 form(platform, folder.Path(), QString());
  form.Form_Load();
  EXPECT_EQ(form.MpegFile, QString::fromStdString(rec.path));
  EXPECT_EQ(form.BmpFileName, "/tmp/last.bmp");
  int cancel = 0;
  form.MpegFile = "/somewhere/else.m1v";
  form.Form_QueryUnload(cancel);
  EXPECT_EQ(cancel, 0);
  EXPECT_EQ(platform.settings["MpegFile"], "/somewhere/else.m1v");
}

TEST(Opening, NamesMissingFilesAndBadFiles) {
  Viewer v;
  Form1& f = *v.form;
  const std::string dir = TestDataDir();
  const std::string forty = dir + "/" + std::string(39 - dir.size(), 'n');
  ASSERT_EQ(forty.size(), 40u);
  EXPECT_FALSE(f.NewFile(QString::fromStdString(forty)));
  EXPECT_EQ(f.lblFile->text(), "File not found !");

  f.ActiveCmd();
  EXPECT_FALSE(f.NewFile(QString()));
  EXPECT_EQ(f.lblFile->text(), "");
  EXPECT_EQ(Keys(f), kAllUnavailable);

  // The label shows names of up to 40 characters whole, longer ones as "..." and the tail.
  const std::string bad = dir + "/gui_badfile_with_a_long_name_over_forty.m1v";
  WriteFileAtomically(bad, std::vector<std::uint8_t>(100, 0x47));
  EXPECT_FALSE(f.NewFile(QString::fromStdString(bad)));
  EXPECT_EQ(f.lblFile->text(), "Bad  file !");
  EXPECT_TRUE(f.player.CurrentRecording().File().IsOpen());
  EXPECT_EQ(f.cmdUp->PictureKey(), "Up");
  const QString longName = QString::fromStdString(dir + "/" + std::string(60, 'x') + ".m1v");
  f.NewFile(longName);
  EXPECT_EQ(f.lblFile->text(), "File not found !");
  f.lblFile->clear();
  f.player.CurrentRecording().Close();
  const TestRecording rec = MakeTestRecording(std::string(50, 'r'), 320, 240, 1);
  EXPECT_TRUE(f.NewFile(QString::fromStdString(rec.path)));
  EXPECT_EQ(f.lblFile->text(), "..." + QString::fromStdString(rec.path).right(37));
  EXPECT_EQ(f.lblFile->text().size(), 40);
  EXPECT_TRUE(f.cmdCut->isEnabled());
}

TEST(Opening, DirectoriesAndFifosAreRefusedWithoutBlocking) {
  Viewer v;
  Form1& f = *v.form;
  EXPECT_FALSE(f.NewFile(QString::fromStdString(TestDataDir())));
  EXPECT_NE(f.lblFile->text(), "File not found !");
  EXPECT_FALSE(f.lblFile->text().isEmpty());
  EXPECT_EQ(Keys(f), kAllUnavailable);
  const std::string fifo = TestDataDir() + "/gui_fifo_" + std::to_string(::getpid());
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(f.NewFile(QString::fromStdString(fifo)));  // returns instead of waiting for a writer
  EXPECT_FALSE(f.lblFile->text().isEmpty());
  ::unlink(fifo.c_str());
  EXPECT_TRUE(v.platform.questions.empty());
}

TEST(Opening, DialogPresetFilterCancelAndDrop) {
  const TestRecording first = MakeTestRecording("open_first", 320, 240, 3);
  const TestRecording second = MakeTestRecording("open_second", 640, 480, 1);
  Viewer v;
  Form1& f = *v.form;
  v.Open(first.path);
  ASSERT_EQ(v.platform.openDialogs.size(), 1u);
  EXPECT_EQ(v.platform.openDialogs[0].filter, "*.M1V (MPEG-1)|*.M1V");
  EXPECT_EQ(f.MpegFile, QString::fromStdString(first.path));
  f.cmdUp_Click();
  f.cmdUp_Click();
  EXPECT_EQ(f.lblPlay->text().isEmpty(), false);
  // Cancel re-opens the same recording from its start.
  f.cmdFile_Click();
  EXPECT_EQ(v.platform.openDialogs[1].presetName, QString::fromStdString(first.path));
  EXPECT_EQ(f.lblPlay->text(), "0%");
  f.cmdUp_Click();
  EXPECT_EQ(f.player.CurrentRecording().PicPos, first.picturePositions[0]);
  // Dropping a recording opens it like the dialog does, in its own format.
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QString::fromStdString(second.path))});
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  // Straight to the window's event handler: the application routes drops only during a real drag.
  static_cast<QObject&>(f).event(&drop);
  EXPECT_EQ(f.MpegFile, QString::fromStdString(second.path));
  EXPECT_EQ(f.Pic1->height(), 482);
  // Nothing opens while a loop plays.
  f.Playing = true;
  v.Open(first.path);
  EXPECT_EQ(f.MpegFile, QString::fromStdString(second.path));
  EXPECT_TRUE(f.player.CurrentRecording().File().IsOpen());
  f.Playing = false;
}

TEST(Opening, DiskCheckOfferStartsAConfiguredOrFoundProgramOrSaysThereIsNone) {
  Viewer v;
  Form1& f = *v.form;
  v.platform.yesNoAnswers = {false};
  f.OfferDiskCheck(QStringLiteral("/tmp/x.m1v"));
  ASSERT_EQ(v.platform.questions.size(), 1u);
  EXPECT_EQ(v.platform.questions[0].text,
            QString::fromUtf8("System Windows nie może odczytać wskazanego pliku !\nMożliwe, że plik jest "
                              "uszkodzony.\nCzy uruchomić program pozwalający odzyskać dane ?"));
  EXPECT_EQ(v.platform.questions[0].icon, MessageIcon::Exclamation);
  EXPECT_TRUE(v.platform.started.empty());

  v.platform.yesNoAnswers = {true};
  f.OfferDiskCheck(QStringLiteral("/tmp/x.m1v"));
  EXPECT_TRUE(v.platform.started.empty());
  ASSERT_EQ(v.platform.messages.size(), 1u);  // none found: said so

  v.platform.programsOnPath["gnome-disks"] = "/usr/bin/gnome-disks";
  v.platform.yesNoAnswers = {true};
  f.OfferDiskCheck(QStringLiteral("/tmp/x.m1v"));
  ASSERT_EQ(v.platform.started.size(), 1u);
  EXPECT_EQ(v.platform.started[0].program, "/usr/bin/gnome-disks");
  EXPECT_EQ(v.platform.started[0].arguments.first(), "--block-device");

  v.platform.environment["ROVENA_DISK_CHECK"] = "/opt/check";
  v.platform.yesNoAnswers = {true};
  f.OfferDiskCheck(QStringLiteral("/tmp/x.m1v"));
  ASSERT_EQ(v.platform.started.size(), 2u);
  EXPECT_EQ(v.platform.started[1].program, "/opt/check");
  EXPECT_EQ(v.platform.started[1].arguments.size(), 1);
}

}  // namespace
}  // namespace rovena::test
