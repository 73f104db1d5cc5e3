// The command-line cut and the window's cut must write the same bytes for the same pictures.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdlib>

#include "gui_test_support.h"
#include "recording_fixture.h"

namespace rovena::test {
namespace {

TEST(CliCut, SameBytesAsMarkingAndSavingInTheWindow) {
  const TestRecording rec = MakeTestRecording("cli_cut_vs_window", 320, 240, 9);
  QTemporaryDir out;
  const std::string windowCut = out.filePath("window.MPEG").toStdString();
  const std::string cliCut = out.filePath("cli.MPEG").toStdString();

  Viewer viewer;
  viewer.Open(rec.path);
  for (int picture = 1; picture <= 3; ++picture) viewer.form->cmdUp_Click();
  viewer.form->cmdCut_Click();
  for (int picture = 4; picture <= 7; ++picture) viewer.form->cmdUp_Click();
  viewer.form->cmdCut_Click();
  viewer.platform.dialogAnswers.push_back(QString::fromStdString(windowCut));
  viewer.form->cmdSaveCut_Click();
  ASSERT_TRUE(viewer.platform.messages.empty());

  const std::string command = std::string(ROVENA_BIN_DIR) + "/rovena-cli cut '" + rec.path +
                              "' --from 3 --to 7 -o '" + cliCut + "' >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::vector<std::uint8_t> fromWindow = ReadWholeFile(windowCut);
  EXPECT_EQ(fromWindow.size(), static_cast<std::size_t>(20 + rec.pictureEnds[6] - rec.picturePositions[2] + 12));
  EXPECT_EQ(ReadWholeFile(cliCut), fromWindow);
}

}  // namespace
}  // namespace rovena::test
