// rovena-cli cut as a user runs it: the fragment is a recording of its own holding exactly
// the chosen pictures, and every refusal leaves the files alone.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/fragment.h"
#include "core/gps_track.h"
#include "core/recording.h"
#include "tools/recording_writer.h"
#include "scratch_dir.h"

namespace rovena {
namespace {

namespace fs = std::filesystem;

class CutCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    RecordingWriter writer(320, 240);
    for (int i = 0; i < 6; ++i) writer.AddPicture(MakeTestPattern(320, 240, i), MakeGprmcSentence(i));
    recording_ = Path("in.mpg");
    ASSERT_TRUE(writer.WriteFile(recording_));
    bytes_ = writer.Bytes();
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  static std::vector<std::uint8_t> Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  static int Cut(const std::string& arguments) {
    const std::string command = std::string(ROVENA_BIN_DIR) + "/rovena-cli cut " + arguments + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // PicPos of each picture, found with the viewer's own search.
  std::vector<std::int64_t> PicturePositions() const {
    Recording r;
    std::string error;
    EXPECT_TRUE(r.Open(recording_, error));
    std::vector<std::int64_t> positions;
    while (r.FindStartUp()) positions.push_back(r.PicPos);
    return positions;
  }

  test::ScratchDir scratch_{"rovena_cut"};
  const fs::path& dir_ = scratch_.Path();
  std::string recording_;
  std::vector<std::uint8_t> bytes_;
};

TEST_F(CutCommand, FragmentIsARecordingOfTheChosenPictures) {
  const std::string out = Path("part.MPEG");
  ASSERT_EQ(Cut(recording_ + " --from 2 --to 4 -o " + out), 0);
  const std::vector<std::int64_t> starts = PicturePositions();
  ASSERT_EQ(starts.size(), 6u);
  // The end mark is the last byte of picture 4: before picture 5's sequence and group headers
  // (20 bytes) and its start code.
  const std::int64_t cutStart = starts[1], cutEnd = starts[4] - 24;
  const std::vector<std::uint8_t> fragment = Read(out);
  ASSERT_EQ(static_cast<std::int64_t>(fragment.size()), FragmentLength(cutStart, cutEnd));
  std::vector<std::uint8_t> expected(bytes_.begin(), bytes_.begin() + 20);
  expected.insert(expected.end(), bytes_.begin() + (cutStart - 12), bytes_.begin() + cutEnd);
  EXPECT_EQ(fragment, expected);

  Recording cut;
  std::string error;
  ASSERT_TRUE(cut.Open(out, error)) << error;
  const TrackWalk walk = CollectTrack(cut);
  EXPECT_EQ(walk.outcome.end, WalkEnd::kEndOfFile);
  ASSERT_EQ(walk.pictures, 3);
  EXPECT_EQ(walk.fixes[0].utc, ParseGprmc(MakeGprmcSentence(1))->utc);
  EXPECT_EQ(walk.fixes[2].utc, ParseGprmc(MakeGprmcSentence(3))->utc);

  // One picture alone, and the last picture of the file.
  ASSERT_EQ(Cut(recording_ + " --from 6 --to 6 --force -o " + out), 0);
  ASSERT_TRUE(cut.Open(out, error));
  EXPECT_EQ(CollectTrack(cut).pictures, 1);
  EXPECT_EQ(Read(out).size(), static_cast<std::size_t>(20 + bytes_.size() - (starts[5] - 12)));
}

TEST_F(CutCommand, RefusalsLeaveFilesAlone) {
  std::ofstream(Path("old.MPEG")) << "old";
  const std::string old = Path("old.MPEG");
  EXPECT_EQ(Cut(recording_ + " --from 4 --to 2 -o " + old), 1);   // end before start
  EXPECT_EQ(Cut(recording_ + " --from 2 --to 9 -o " + old), 1);   // no picture 9
  EXPECT_EQ(Cut(recording_ + " --from 0 --to 2 -o " + old), 2);   // pictures count from 1
  EXPECT_EQ(Cut(recording_ + " --from 1 --to 2"), 2);             // no output named
  EXPECT_EQ(Read(old), (std::vector<std::uint8_t>{'o', 'l', 'd'}));

  fs::create_symlink(recording_, Path("link.mpg"));
  EXPECT_EQ(Cut(recording_ + " --from 1 --to 2 -o " + Path("link.mpg")), 1);
  EXPECT_EQ(Cut(recording_ + " --from 1 --to 2 -o " + recording_), 1);
  EXPECT_EQ(Read(recording_), bytes_);
}

}  // namespace
}  // namespace rovena
