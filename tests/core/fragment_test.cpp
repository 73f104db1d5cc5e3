#include "core/fragment.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/recording_file.h"
#include "scratch_dir.h"

namespace rovena {
namespace {

namespace fs = std::filesystem;

// The byte stored at 1-based position p of the synthetic recording.
std::uint8_t ByteAtPosition(std::int64_t p) { return static_cast<std::uint8_t>(p * 31 + p / 256); }

class Fragment : public ::testing::Test {
 protected:
  void SetUp() override {
    recordingPath_ = (dir_ / "rec.mpg").string();
    std::ofstream out(recordingPath_, std::ios::binary);
    for (std::int64_t p = 1; p <= kLength; ++p) out.put(static_cast<char>(ByteAtPosition(p)));
    out.close();
    std::string error;
    ASSERT_TRUE(recording_.Open(recordingPath_, error)) << error;
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  static std::vector<std::uint8_t> Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  static constexpr std::int64_t kLength = 10000;
  test::ScratchDir scratch_{"rovena_fragment"};
  const fs::path& dir_ = scratch_.Path();
  std::string recordingPath_;
  RecordingFile recording_;
};

TEST_F(Fragment, CopiesHeaderAndMarkedRangeAndLeavesFileBehindEnd) {
  const std::string out = Path("cut.MPEG");
  const FragmentResult r = SaveFragment(recording_, 1000, 5000, out, IfExists::Replace);
  ASSERT_TRUE(r.ok()) << r.detail;
  EXPECT_EQ(r.bytesWritten, 4032);
  EXPECT_EQ(FragmentLength(1000, 5000), 4032);
  const std::vector<std::uint8_t> bytes = Read(out);
  ASSERT_EQ(bytes.size(), 4032u);
  for (std::int64_t p = 1; p <= 20; ++p) ASSERT_EQ(bytes[p - 1], ByteAtPosition(p)) << p;
  for (std::int64_t p = 989; p <= 5000; ++p) ASSERT_EQ(bytes[20 + p - 989], ByteAtPosition(p)) << p;
  EXPECT_EQ(recording_.LastPosition(), 5000);
  EXPECT_EQ(recording_.CurrentPosition(), 5001);
}

TEST_F(Fragment, SmallestRangesAndTheFileEnd) {
  // Start 12 is the first start whose lead-in stays inside the file; end at the last byte.
  FragmentResult r = SaveFragment(recording_, 12, kLength, Path("all"), IfExists::Replace);
  ASSERT_TRUE(r.ok()) << r.detail;
  EXPECT_EQ(Read(Path("all")).size(), static_cast<std::size_t>(20 + kLength));
  r = SaveFragment(recording_, 100, 101, Path("two"), IfExists::Replace);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(Read(Path("two")).size(), 20u + 13u);
}

TEST_F(Fragment, RefusalsTouchNoFile) {
  using Status = FragmentResult::Status;
  std::ofstream(Path("existing")) << "keep";
  const std::string existing = Path("existing");
  EXPECT_EQ(SaveFragment(recording_, 1000, 1000, existing, IfExists::Replace).status, Status::EndNotAfterStart);
  EXPECT_EQ(SaveFragment(recording_, 1000, 999, existing, IfExists::Replace).status, Status::EndNotAfterStart);
  EXPECT_EQ(SaveFragment(recording_, 11, 500, existing, IfExists::Replace).status, Status::StartTooEarly);
  EXPECT_EQ(SaveFragment(recording_, 100, kLength + 1, existing, IfExists::Replace).status, Status::EndPastFile);
  EXPECT_EQ(Read(existing).size(), 4u);
  EXPECT_EQ(recording_.CurrentPosition(), 1);  // nothing was read

  fs::create_symlink(recordingPath_, Path("alias.mpg"));
  fs::create_directory(Path("sub"));
  for (const std::string& same : {recordingPath_, Path("alias.mpg"), Path("sub/../rec.mpg")}) {
    const FragmentResult r = SaveFragment(recording_, 1000, 5000, same, IfExists::Replace);
    EXPECT_EQ(r.status, Status::OutputIsRecording) << same;
    EXPECT_EQ(r.detail, recordingPath_);
  }
  EXPECT_EQ(fs::file_size(recordingPath_), static_cast<std::uintmax_t>(kLength));

  const FragmentResult unwritable = SaveFragment(recording_, 1000, 5000, Path("none/x"), IfExists::Replace);
  EXPECT_EQ(unwritable.status, Status::WriteFailed);
  EXPECT_NE(unwritable.detail.find(Path("none/x")), std::string::npos);
}

}  // namespace
}  // namespace rovena
