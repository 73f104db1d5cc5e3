// The window never writes over the recording it shows, whatever name the user gives it, and
// odd files beside the program or odd bytes in a name neither block nor lose the recording.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <filesystem>

#include "gui_test_support.h"
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
