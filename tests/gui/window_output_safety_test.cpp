// The window never writes over the recording it shows or any other recording of the open
// trip, whatever name the user gives it, and odd files beside the program or odd bytes in a
// name neither block nor lose the recording.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <filesystem>

#include "gui_test_support.h"
#include "tools/demo_drive.h"
#include "viewer/local_path.h"
#include "recording_fixture.h"
#include "scratch_dir.h"

namespace rovena::test {
namespace {

namespace fs = std::filesystem;

class WindowOutputs : public ::testing::Test {
 protected:
  void SetUp() override {
    const TestRecording made = MakeTestRecording("window_outputs", 320, 240, 4);
    bytes = made.bytes;
    fs::copy_file(made.path, path);
    viewer.Open(path);
    f().cmdUp_Click();
  }
  Form1& f() { return *viewer.form; }

  ScratchDir dir{"rovena_window_outputs"};
  std::string path = dir.File("rn.m1v");
  std::vector<std::uint8_t> bytes;
  Viewer viewer;
};

TEST_F(WindowOutputs, SnapshotAndFragmentRefuseTheOpenRecordingUnderAnyName) {
  viewer.platform.dialogAnswers.push_back(QString::fromStdString(path));
  f().cmdBmp_Click();
  ASSERT_EQ(viewer.platform.messages.size(), 1u);
  EXPECT_TRUE(viewer.platform.messages.back().text.contains(QString::fromStdString(path)));
  EXPECT_FALSE(viewer.platform.settings.contains("BmpFile"));
  EXPECT_EQ(ReadWholeFile(path), bytes);

  f().cmdCut_Click();
  f().cmdUp_Click();
  f().cmdCut_Click();
  const std::string renamed = dir.File("renamed.m1v");
  fs::rename(path, renamed);  // outside the program, while it is open
  viewer.platform.dialogAnswers.push_back(QString::fromStdString(renamed));
  f().cmdSaveCut_Click();
  EXPECT_EQ(viewer.platform.messages.size(), 2u);
  EXPECT_EQ(ReadWholeFile(renamed), bytes);
}

// The save dialog's own question is the consent to replace a file, but never a recording of
// the trip on screen: the cut, the snapshot and the export's sidecars are refused, named.
TEST(WindowTrip, NoSaveLandsOnARecordingOfTheOpenTrip) {
  ScratchDir dir("rovena_window_trip");
  ASSERT_EQ(WriteDemoDrive(dir.File("demo.m1v"), dir.File("trip"), 9, IfExists::Refuse), "");
  std::vector<std::string> trip;
  for (const DemoTripPart& part : DemoTripParts(9)) trip.push_back(dir.File("trip/" + part.name));
  fs::copy_file(trip[2], dir.File("trip/clip.gpx"));  // one more recording of the trip
  Viewer viewer;
  viewer.Open(trip[1]);
  Form1& f = *viewer.form;
  f.cmdUp_Click();
  f.cmdCut_Click();
  f.cmdUp_Click();
  f.cmdCut_Click();
  const auto saveOnto = [&](const std::string& target, auto save) {
    viewer.platform.dialogAnswers.push_back(QString::fromStdString(target));
    (f.*save)();
    return viewer.platform.messages.empty() ? QString() : viewer.platform.messages.back().text;
  };
  const auto before = ReadWholeFile(trip[0]);
  const QString cut = saveOnto(trip[0], &Form1::cmdSaveCut_Click);
  EXPECT_TRUE(cut.startsWith("Nie można zapisać fragmentu do nagrania otwartej podróży") &&
              cut.contains(QString::fromStdString(trip[0])))
      << cut.toStdString();
  EXPECT_EQ(ReadWholeFile(trip[0]), before);
  EXPECT_TRUE(saveOnto(trip[2], &Form1::cmdBmp_Click).contains(QString::fromStdString(trip[2])));
  const QString exported = saveOnto(dir.File("trip/clip.mp4"), &Form1::ExportCutToMp4);
  EXPECT_TRUE(exported.contains(QString::fromStdString(dir.File("trip/clip.gpx")))) << exported.toStdString();
  EXPECT_EQ(viewer.platform.messages.size(), 3u);
  EXPECT_FALSE(fs::exists(dir.File("trip/clip.mp4")));
  EXPECT_EQ(ReadWholeFile(dir.File("trip/clip.gpx")), ReadWholeFile(trip[2]));
}

TEST_F(WindowOutputs, ANameThatIsNotUtf8OpensFromTheCommandLineAndDrop) {
  const std::string latin1 = dir.File("caf\xE9.m1v");
  fs::copy_file(path, latin1);
  EXPECT_EQ(PathToBytes(PathFromBytes(latin1)), latin1);
  Viewer fromCommandLine("", false, PathFromBytes(latin1));
  Form1& form = *fromCommandLine.form;
  form.cmdUp_Click();
  EXPECT_EQ(form.player.CurrentRecording().PicPos, MakeTestRecording("window_outputs", 320, 240, 4).picturePositions[0]);
  EXPECT_EQ(PathFromUrl(QUrl::fromEncoded(("file://" + dir.File("caf%E9.m1v")).c_str())), PathFromBytes(latin1));
}

TEST(WindowStartUp, AFifoForTheConfigurationOrMapNeitherBlocksNorStopsStartUp) {
  ScriptedPlatform platform;
  ProgramFolder folder;
  for (const char* name : {"Rovena.ini", "map.gif"})
    ASSERT_EQ(::mkfifo((folder.Path() + "/" + name).toStdString().c_str(), 0600), 0);
  Form1 form(platform, folder.Path(), QString());
  form.Form_Load();  // returns: neither file is opened
  EXPECT_EQ(platform.messages.size(), 2u);
  EXPECT_TRUE(form.MapPicture.isNull());
  EXPECT_GT(form.PlayInterval, 0);  // the defaults, as without a configuration file
}

}  // namespace
}  // namespace rovena::test
