// rovena-cli redact as a user runs it: proposals for a stretch written as a boxes file, with
// pictures numbered as cut numbers them, and the project's exit codes.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <filesystem>

#include "plate_fixture.h"
#include "redact/boxes.h"
#include "scratch_dir.h"

namespace rovena::redact {
namespace {

int RunRedact(const std::string& arguments) {
  const int status = std::system((std::string(ROVENA_BIN_DIR) + "/rovena-cli redact " + arguments + " 2>/dev/null").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(RedactCommand, WritesTheProposalsOfAStretch) {
  test::ScratchDir dir("rovena_redact_cli");
  const std::vector<cv::Mat> road = test::DemoPictures(dir.Path().string(), 6);
  std::vector<test::PlateScene> scenes;
  std::vector<cv::Mat> drawn;
  for (std::uint32_t i = 0; i < road.size(); ++i) {
    scenes.push_back(test::MakePlateScene(road[i], {100 + 10 * static_cast<int>(i)}, i));
    drawn.push_back(scenes.back().picture);
  }
  test::ThroughRecorder(drawn, dir.Path().string());  // writes plates.m1v
  const std::string recording = dir.File("plates.m1v"), output = dir.File("clip.boxes.json");

  ASSERT_EQ(RunRedact(recording + " --from 2 --to 5 -o " + output + " --detect plates --jobs 2 --quiet"), 0);
  BoxFile boxes;
  ASSERT_EQ(ReadBoxesFile(output, boxes), "");
  EXPECT_TRUE(boxes.reviewed.empty());
  std::vector<int> found(road.size() + 1);
  for (const Box& box : boxes.boxes) {
    EXPECT_EQ(box.where.recording, "plates.m1v");
    ASSERT_TRUE(box.where.picture >= 2 && box.where.picture <= 5) << box.where.picture;
    EXPECT_TRUE(box.kind == BoxKind::Plate && box.origin == BoxOrigin::Detected && !box.confirmed);
    found[box.where.picture] += test::Finds(box.rect, scenes[box.where.picture - 1].plates.front());
  }
  for (int picture = 2; picture <= 5; ++picture) EXPECT_EQ(found[picture], 1) << "picture " << picture;

  EXPECT_EQ(RunRedact(recording + " --from 2 --to 5 -o " + output + " --detect cars"), 2);
  EXPECT_EQ(RunRedact(recording + " --from 5 --to 2 -o " + output), 2);
  EXPECT_EQ(RunRedact(recording + " --from 2 --to 9 -o " + output), 1);  // past the recording's end
  EXPECT_EQ(RunRedact(recording + " --from 1 --to 2 -o " + recording), 1);  // never over an input
  BoxFile unchanged;
  ASSERT_EQ(ReadBoxesFile(output, unchanged), "");
  EXPECT_EQ(unchanged, boxes);
}

}  // namespace
}  // namespace rovena::redact
