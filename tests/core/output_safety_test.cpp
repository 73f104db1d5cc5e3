// No output may land on a recording being read, and no failed or interrupted write may leave
// a partial file or touch an existing one.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/atomic_file.h"
#include "core/fragment.h"
#include "core/gps_track.h"
#include "core/output_guard.h"
#include "core/recording.h"
#include "tools/recording_writer.h"
#include "scratch_dir.h"
#include "core/text_encoding.h"

namespace rovena {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

class OutputGuard : public ::testing::Test {
 protected:
  void SetUp() override {
    RecordingWriter writer(320, 240);
    for (int i = 0; i < 4; ++i) writer.AddPicture(MakeTestPattern(320, 240, i), MakeGprmcSentence(i));
    ASSERT_TRUE(writer.WriteFile(path_));
    bytes_ = writer.Bytes();
    std::string error;
    ASSERT_TRUE(recording_.Open(path_, error)) << error;
  }
  // The window's marks for pictures 2 to 3, as stepping there takes them.
  std::pair<std::int64_t, std::int64_t> Marks() {
    std::vector<std::uint8_t> picture(kPicBufSize);
    std::int64_t start = 0;
    for (int i = 1; i <= 3; ++i) {
      EXPECT_TRUE(recording_.FindStartUp() && recording_.FindPicStart() && recording_.ReadFrame(picture.data()));
      if (i == 2) start = recording_.PicPos;
    }
    return {start, recording_.File().LastPosition()};
  }

  test::ScratchDir scratch_{"rovena_guard"};
  std::string path_ = scratch_.File("rec.m1v");
  std::vector<std::uint8_t> bytes_;
  Recording recording_;
};

TEST_F(OutputGuard, NoSpellingOfAnOpenRecordingCanBeWritten) {
  fs::create_symlink(path_, scratch_.File("link.csv"));
  fs::create_hard_link(path_, scratch_.File("hard.bmp"));
  fs::create_directory(scratch_.File("sub"));
  for (const std::string& target : {path_, scratch_.File("link.csv"), scratch_.File("hard.bmp"),
                                    scratch_.File("sub/../rec.m1v")}) {
    const std::string error = WriteFileAtomically(target, Bytes("text"));
    EXPECT_NE(error.find("refusing to write over " + path_), std::string::npos) << target << ": " << error;
  }
  // Renamed since it was opened: the open descriptor still knows it.
  fs::rename(path_, scratch_.File("renamed.m1v"));
  EXPECT_FALSE(WriteFileAtomically(scratch_.File("renamed.m1v"), Bytes("text")).empty());
  const auto [start, end] = Marks();
  const FragmentResult saved = SaveFragment(recording_.File(), path_, start, end, scratch_.File("renamed.m1v"));
  EXPECT_EQ(saved.status, FragmentResult::Status::OutputIsRecording);
  EXPECT_EQ(Read(scratch_.File("renamed.m1v")), bytes_);

  EXPECT_EQ(WriteFileAtomically(scratch_.File("other.csv"), Bytes("text")), "");
  recording_.Close();  // no longer read: writable like any file
  EXPECT_EQ(WriteFileAtomically(scratch_.File("renamed.m1v"), Bytes("text")), "");
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch_.Path()), {}), 5) << "a temporary file was left";
}

TEST_F(OutputGuard, ACutOfARecordingThatShrinksFailsAndWritesNothing) {
  const auto [start, end] = Marks();
  ASSERT_EQ(::truncate(path_.c_str(), end - 100), 0);
  const FragmentResult saved = SaveFragment(recording_.File(), path_, start, end, scratch_.File("cut.m1v"));
  EXPECT_EQ(saved.status, FragmentResult::Status::ReadFailed);
  EXPECT_FALSE(fs::exists(scratch_.File("cut.m1v")));
}

TEST_F(OutputGuard, LongNamesAndSignalsLeaveNoTemporaryFile) {
  const std::string longest = scratch_.File(std::string(251, 'n') + ".csv");  // 255 bytes, the limit
  EXPECT_EQ(WriteFileAtomically(longest, Bytes("text")), "");
  EXPECT_EQ(Read(longest), Bytes("text"));

  const pid_t child = ::fork();
  if (child == 0) {
    RemoveTemporariesOnSignals();
    AtomicFileWriter writer;
    if (!writer.Open(scratch_.File("interrupted.y4m")).empty()) ::_exit(3);
    writer.Write(std::vector<std::uint8_t>(1 << 20, 7));
    std::raise(SIGTERM);
    ::_exit(4);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(scratch_.Path())) left.push_back(entry.path().filename());
  EXPECT_EQ(left.size(), 2u) << "rec.m1v and the long name only";
}

TEST(TextOutput, NamesAndNumbersAlwaysMakeValidText) {
  EXPECT_EQ(NameText("caf\xE9.m1v"), "caf\\xe9.m1v");
  EXPECT_EQ(NameText("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x9A\x97"), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x9A\x97");
  // Overlong, surrogate, cut short, beyond U+10FFFF: each byte written \xHH.
  for (std::string_view bad : {"\xC0\xAF", "\xED\xA0\x80", "\xE2\x82", "\xF4\x90\x80\x80"})
    EXPECT_EQ(NameText(bad).size(), 4 * bad.size()) << bad;

  const auto fix = ParseGprmc("$GPRMC,223416.000,A,5214.1234,N,02100.5678,E,1e308,270.0,300306,,,A");
  ASSERT_TRUE(fix);
  const std::string csv = TrackCsv({*fix});
  EXPECT_EQ(csv.find("inf"), std::string::npos);
  EXPECT_NE(csv.find(",,270.0,A\n"), std::string::npos) << csv;
  EXPECT_NE(TrackGpx({*fix}, "caf\xE9.m1v").find("<name>caf\\xe9.m1v</name>"), std::string::npos);
}

TEST(TextOutput, OnlyRegularFilesAreReadAsConfiguration) {
  test::ScratchDir dir("rovena_fifo");
  const std::string fifo = dir.File("Rovena.ini");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string content, error;
  EXPECT_FALSE(ReadRegularFile(fifo, 1024, content, error));  // returns at once, never blocks
  EXPECT_EQ(error, "Not a regular file");
  std::ofstream(dir.File("big")) << std::string(2000, 'x');
  EXPECT_FALSE(ReadRegularFile(dir.File("big"), 1024, content, error));
}

}  // namespace
}  // namespace rovena
