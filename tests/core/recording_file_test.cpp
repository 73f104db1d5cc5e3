// The file primitives: 1-based positions, zeros past the end, refusal of what is not a file,
// and positions beyond 2 GiB.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <numeric>
#include <vector>

#include "core/recording.h"
#include "recording_fixture.h"

namespace rovena {
namespace {

std::string MakeFile(const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::string path = test::TestDataDir() + "/" + name + "_" + std::to_string(::getpid());
  test::WriteFileAtomically(path, bytes);
  return path;
}

std::vector<uint8_t> Counting(size_t length) {
  std::vector<uint8_t> bytes(length);
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
  return bytes;
}

TEST(RecordingFile, PrimitivesUseOneBasedPositions) {
  const std::vector<uint8_t> bytes = Counting(200000);
  const std::string path = MakeFile("primitives", bytes);
  RecordingFile file;
  std::string error;
  ASSERT_TRUE(file.Open(path, error)) << error;
  EXPECT_EQ(file.Length(), 200000);
  EXPECT_EQ(file.ReadNext(), bytes[0]);
  EXPECT_EQ(file.LastPosition(), 1);
  EXPECT_EQ(file.ReadAt(150000), bytes[149999]);
  EXPECT_EQ(file.ReadNext(), bytes[150000]);
  EXPECT_EQ(file.LastPosition(), 150001);
  // Backwards byte by byte across several buffer refills.
  for (int64_t p = 199999; p >= 1; p -= 997) ASSERT_EQ(file.ReadAt(p), bytes[p - 1]) << p;
  EXPECT_FALSE(file.AtEnd());
  EXPECT_EQ(file.ReadAt(200000), bytes.back());
  EXPECT_TRUE(file.AtEnd());
  EXPECT_FALSE(file.HadIoError());
  ::unlink(path.c_str());
}

TEST(RecordingFile, PastTheEndReadsZerosNotOldBytes) {
  const std::string path = MakeFile("past_end", std::vector<uint8_t>(10, 0xAB));
  RecordingFile file;
  std::string error;
  ASSERT_TRUE(file.Open(path, error));
  EXPECT_EQ(file.ReadAt(10), 0xAB);
  EXPECT_EQ(file.ReadNext(), 0);
  EXPECT_EQ(file.ReadNext(), 0);
  EXPECT_EQ(file.LastPosition(), 12);
  EXPECT_EQ(file.ReadAt(0), 0);
  EXPECT_EQ(file.ReadAt(-5), 0);
  // A shorter recording opened into the same object must not show the longer one's bytes.
  const std::string shorter = MakeFile("past_end_short", {1, 2});
  ASSERT_TRUE(file.Open(shorter, error));
  EXPECT_EQ(file.ReadAt(5), 0);
  EXPECT_EQ(file.ReadAt(2), 2);
  ::unlink(path.c_str());
  ::unlink(shorter.c_str());
}

TEST(RecordingFile, RefusesWhatIsNotAReadableRegularFile) {
  RecordingFile file;
  std::string error;
  EXPECT_FALSE(file.Open(test::TestDataDir() + "/no such recording.m1v", error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(file.Open(test::TestDataDir(), error));
  EXPECT_FALSE(error.empty());
  const std::string fifo = test::TestDataDir() + "/fifo_" + std::to_string(::getpid());
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(file.Open(fifo, error)) << "must neither block nor accept a FIFO";
  EXPECT_FALSE(file.IsOpen());
  ::unlink(fifo.c_str());
  EXPECT_FALSE(file.Open("/dev/null", error));
}

TEST(Recording, OpeningResetsPositionsFromTheLastRecording) {
  const std::string path = MakeFile("reset", {0, 0, 1, 0, 0, 0, 1, 0});
  Recording recording;
  recording.PicPos = 5000000;  // from a longer recording
  std::string error;
  ASSERT_TRUE(recording.Open(path, error));
  EXPECT_EQ(recording.FileLen, 8);
  EXPECT_FALSE(recording.FindStartDown());
  EXPECT_EQ(recording.File().CurrentPosition(), 1) << "nothing read";
  ::unlink(path.c_str());
}

// A sparse file of 5 GiB holding a picture beyond 4 GiB: positions past 32 bits must work.
TEST(Recording, FindsPicturesBeyondFourGibibytes) {
  const std::string path = test::TestDataDir() + "/huge_" + std::to_string(::getpid()) + ".m1v";
  const int64_t length = int64_t{5} << 30;
  const int64_t codeAt = (int64_t{4} << 30) + 1000;  // 1-based position of the first 00
  const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  const uint8_t code[] = {0, 0, 1, 0, 0xFF, 0, 0, 1, 0x01};
  bool written = ::ftruncate(fd, length) == 0 &&
                 ::pwrite(fd, code, sizeof code, codeAt - 1) == static_cast<ssize_t>(sizeof code);
  ::close(fd);
  if (!written) {
    ::unlink(path.c_str());
    GTEST_SKIP() << "no room for a sparse 5 GiB file here";
  }
  Recording recording;
  std::string error;
  ASSERT_TRUE(recording.Open(path, error)) << error;
  EXPECT_EQ(recording.FileLen, length);
  recording.File().SetCurrentPosition(codeAt - 1000);
  ASSERT_TRUE(recording.FindStartUp());
  EXPECT_EQ(recording.PicPos, codeAt + 3);
  EXPECT_TRUE(recording.FindPicStart());
  recording.PicPos = codeAt + 3 + 200000;
  ASSERT_TRUE(recording.FindStartDown());
  EXPECT_EQ(recording.PicPos, codeAt + 3);
  ::unlink(path.c_str());
}

}  // namespace
}  // namespace rovena
