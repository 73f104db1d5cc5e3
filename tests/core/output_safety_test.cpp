// No output may land on an input (a recording being read, any recording of a trip being
// read, a registered name, an output of the same run) or replace an existing or special file
// unasked, and no failed or interrupted write may leave a partial file or touch an existing one.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "core/atomic_file.h"
#include "core/fragment.h"
#include "core/gps_track.h"
#include "core/output_guard.h"
#include "core/recording.h"
#include "core/trip.h"
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
    const std::string error = WriteFileAtomically(target, Bytes("text"), IfExists::Replace);
    EXPECT_NE(error.find("refusing to write over " + path_), std::string::npos) << target << ": " << error;
  }
  // Renamed since it was opened: the open descriptor still knows it.
  fs::rename(path_, scratch_.File("renamed.m1v"));
  EXPECT_FALSE(WriteFileAtomically(scratch_.File("renamed.m1v"), Bytes("text"), IfExists::Replace).empty());
  const auto [start, end] = Marks();
  const FragmentResult saved = SaveFragment(recording_.File(), start, end, scratch_.File("renamed.m1v"), IfExists::Replace);
  EXPECT_EQ(saved.status, FragmentResult::Status::OutputIsRecording);
  EXPECT_EQ(Read(scratch_.File("renamed.m1v")), bytes_);

  EXPECT_EQ(WriteFileAtomically(scratch_.File("other.csv"), Bytes("text"), IfExists::Replace), "");
  recording_.Close();  // no longer read: writable like any file
  EXPECT_EQ(WriteFileAtomically(scratch_.File("renamed.m1v"), Bytes("text"), IfExists::Replace), "");
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch_.Path()), {}), 5) << "a temporary file was left";
}

TEST_F(OutputGuard, ACutOfARecordingThatShrinksFailsAndWritesNothing) {
  const auto [start, end] = Marks();
  ASSERT_EQ(::truncate(path_.c_str(), end - 100), 0);
  const FragmentResult saved = SaveFragment(recording_.File(), start, end, scratch_.File("cut.m1v"), IfExists::Replace);
  EXPECT_EQ(saved.status, FragmentResult::Status::RecordingShrank);
  EXPECT_FALSE(fs::exists(scratch_.File("cut.m1v")));
}

TEST_F(OutputGuard, LongNamesAndSignalsLeaveNoTemporaryFile) {
  const std::string longest = scratch_.File(std::string(251, 'n') + ".csv");  // 255 bytes, the limit
  EXPECT_EQ(WriteFileAtomically(longest, Bytes("text"), IfExists::Replace), "");
  EXPECT_EQ(Read(longest), Bytes("text"));

  const pid_t child = ::fork();
  if (child == 0) {
    RemoveTemporariesOnSignals();
    AtomicFileWriter writer;
    if (!writer.Open(scratch_.File("interrupted.y4m"), IfExists::Replace).empty()) ::_exit(3);
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

std::string Refusal(const std::string& target) {
  const std::string error = WriteFileAtomically(target, Bytes("text"), IfExists::Replace);
  return error.find("refusing to write over") != std::string::npos ? "refused" : error;
}

TEST_F(OutputGuard, NoOutputLandsOnAnInputThatIsNotHeldOpen) {
  fs::create_directory(scratch_.File("trip"));
  for (const char* name : {"a.m1v", "b.m1v"}) fs::copy_file(path_, scratch_.File("trip/") + name);
  fs::create_directory_symlink(scratch_.File("trip"), scratch_.File("via"));
  {
    // Reading a trip makes every recording of it an input, open or not.
    const Trip trip = Trip::Scan(scratch_.File("trip"));
    ASSERT_EQ(trip.Size(), 2u);
    for (const std::string& target : {scratch_.File("trip/b.m1v"), scratch_.File("via/a.m1v"),
                                      scratch_.File("via/../trip/./b.m1v")})
      EXPECT_EQ(Refusal(target), "refused") << target;
    // A name given before its file exists (an archive's side file) through a linked folder.
    const InputFiles sideFile({scratch_.File("trip/arch-wal")});
    EXPECT_EQ(Refusal(scratch_.File("via/arch-wal")), "refused");
    EXPECT_FALSE(fs::exists(scratch_.File("trip/arch-wal")));
  }
  EXPECT_EQ(Refusal(scratch_.File("trip/b.m1v")), "") << "the trip is no longer read";
  {
    // Within a run, what it wrote is an input for the rest of it, under any name.
    const OutputRun run;
    EXPECT_EQ(Refusal(scratch_.File("out.csv")), "");
    fs::create_hard_link(scratch_.File("out.csv"), scratch_.File("hard.csv"));
    EXPECT_EQ(Refusal(scratch_.File("out.csv")), "refused");
    EXPECT_EQ(Refusal(scratch_.File("hard.csv")), "refused");
    // A file being written is an input of every other writer.
    AtomicFileWriter first;
    ASSERT_EQ(first.Open(scratch_.File("y.y4m"), IfExists::Refuse), "");
    EXPECT_EQ(Refusal(scratch_.File("via/../y.y4m")), "refused");
  }
  EXPECT_EQ(Refusal(scratch_.File("out.csv")), "") << "the run is over";
}

class OutputTargets : public ::testing::Test {
 protected:
  std::string File(const std::string& name) const { return scratch_.File(name); }
  std::string Text(const std::string& name) const {
    std::ifstream in(File(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  // Files of the folder whose name begins with a dot: temporary files or kept old ones.
  int Hidden() const {
    int hidden = 0;
    for (const auto& entry : fs::directory_iterator(scratch_.Path())) hidden += entry.path().filename().string()[0] == '.';
    return hidden;
  }
  test::ScratchDir scratch_{"rovena_targets"};
};

TEST_F(OutputTargets, AnExistingFileIsReplacedOnlyWhenAskedAndASpecialFileNever) {
  std::ofstream(File("old.csv")) << "old";
  EXPECT_NE(WriteFileAtomically(File("old.csv"), Bytes("new"), IfExists::Refuse).find("exists already"), std::string::npos);
  EXPECT_EQ(Text("old.csv"), "old");
  EXPECT_EQ(WriteFileAtomically(File("old.csv"), Bytes("new"), IfExists::Replace), "");
  EXPECT_EQ(Text("old.csv"), "new");
  // A file that appears while the output is written is not replaced without leave either.
  AtomicFileWriter late;
  ASSERT_EQ(late.Open(File("late.csv"), IfExists::Refuse), "");
  late.Write(Bytes("ours"));
  std::ofstream(File("late.csv")) << "theirs";
  EXPECT_NE(late.Commit(), "");
  EXPECT_EQ(Text("late.csv"), "theirs");

  // Devices and FIFOs are written into, as other tools do.
  EXPECT_EQ(WriteFileAtomically("/dev/null", Bytes("gone"), IfExists::Refuse), "");
  ASSERT_EQ(::mkfifo(File("fifo").c_str(), 0600), 0);
  std::string piped;
  std::thread reader([&] {
    std::ifstream in(File("fifo"), std::ios::binary);
    piped.assign(std::istreambuf_iterator<char>(in), {});
  });
  EXPECT_EQ(WriteFileAtomically(File("fifo"), Bytes("through"), IfExists::Refuse), "");
  reader.join();
  EXPECT_EQ(piped, "through");
  EXPECT_TRUE(fs::is_fifo(File("fifo")));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));

  // Folders, sockets and block devices are refused and stay what they were.
  fs::create_directory(File("folder"));
  const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", File("socket").c_str());
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  std::vector<std::pair<std::string, std::string>> refused = {{"folder", "is a folder"}, {"socket", "is a socket"}};
  if (::mknod(File("block").c_str(), S_IFBLK | 0600, makedev(7, 250)) == 0) refused.push_back({"block", "is a block device"});
  for (const auto& [name, why] : refused)
    EXPECT_NE(WriteFileAtomically(File(name), Bytes("x"), IfExists::Replace).find(why), std::string::npos) << name;
  ::close(listener);
  EXPECT_TRUE(fs::is_directory(File("folder")));
  EXPECT_TRUE(fs::is_socket(File("socket")));
  EXPECT_EQ(Hidden(), 0);
}

TEST_F(OutputTargets, ASetIsCommittedWholeOrNotAtAll) {
  std::ofstream(File("clip.mp4")) << "old video";
  std::ofstream(File("clip.gpx")) << "old track";
  const auto commit = [&](IfExists ifExists) {
    AtomicFileWriter video, track, record;
    EXPECT_EQ(video.Open(File("clip.mp4"), ifExists), "");
    EXPECT_EQ(track.Open(File("clip.gpx"), ifExists), "");
    EXPECT_EQ(record.Open(File("clip.json"), ifExists), "");
    for (AtomicFileWriter* file : {&video, &track, &record}) file->Write(Bytes("new"));
    // The last rename fails: a folder took the record's name meanwhile.
    fs::create_directories(File("clip.json/in"));
    AtomicFileWriter* const set[] = {&video, &track, &record};
    return CommitTogether(set);
  };
  EXPECT_NE(commit(IfExists::Replace), "");
  EXPECT_EQ(Text("clip.mp4"), "old video");
  EXPECT_EQ(Text("clip.gpx"), "old track");
  EXPECT_EQ(Hidden(), 0) << "no temporary file and no kept old one left";

  // New files are taken back again.
  for (const char* name : {"clip.json", "clip.mp4", "clip.gpx"}) fs::remove_all(File(name));
  EXPECT_NE(commit(IfExists::Refuse), "");
  EXPECT_FALSE(fs::exists(File("clip.mp4")) || fs::exists(File("clip.gpx")));

  fs::remove_all(File("clip.json"));
  AtomicFileWriter video, track;
  ASSERT_EQ(video.Open(File("clip.mp4"), IfExists::Replace), "");
  ASSERT_EQ(track.Open(File("clip.gpx"), IfExists::Replace), "");
  video.Write(Bytes("new video"));
  track.Write(Bytes("new track"));
  AtomicFileWriter* const set[] = {&video, &track};
  EXPECT_EQ(CommitTogether(set), "");
  EXPECT_EQ(Text("clip.mp4") + Text("clip.gpx"), "new videonew track");
  EXPECT_EQ(Hidden(), 0);
}

// Stopped at any moment by Ctrl+C, however many workers write at once, a run leaves no
// temporary file: the handler waits for files being made and stops new ones first.
TEST(Signals, InterruptedParallelRunsLeaveNoTemporaryFile) {
  test::ScratchDir dir("rovena_signals");
  RecordingWriter writer(320, 240);
  for (int i = 0; i < 150; ++i) writer.AddPicture(MakeTestPattern(320, 240, i % 8), MakeGprmcSentence(i));
  ASSERT_TRUE(writer.WriteFile(dir.File("long.m1v")));
  int left = 0;
  for (int run = 0; run < 25; ++run) {
    const std::string out = dir.File("frames" + std::to_string(run));
    const pid_t child = ::fork();
    if (child == 0) {
      ::execl(ROVENA_BIN_DIR "/rovena-cli", "rovena-cli", "frames", dir.File("long.m1v").c_str(), "-o", out.c_str(),
              "--jobs", "8", "--quiet", nullptr);
      ::_exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20 + run * 37 % 300));
    ::kill(child, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    std::error_code none;
    for (const auto& entry : fs::directory_iterator(out, none)) left += entry.path().filename().string()[0] == '.';
  }
  EXPECT_EQ(left, 0);
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
