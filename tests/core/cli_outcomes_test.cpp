// rovena-cli as a user meets it: outputs never land on the recording or replace a file
// unasked, and the exit status says whether what was asked was done.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tools/recording_writer.h"
#include "scratch_dir.h"
#include "unprivileged.h"

namespace rovena {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string err;
};

class CliOutcomes : public ::testing::Test {
 protected:
  void SetUp() override {
    RecordingWriter writer(320, 240);
    for (int i = 0; i < 4; ++i) writer.AddPicture(MakeTestPattern(320, 240, i), MakeGprmcSentence(i));
    bytes_ = writer.Bytes();
    ASSERT_TRUE(writer.WriteFile(recording_));
  }
  Outcome Run(const std::string& arguments) const {
    const std::string errPath = dir_.File("stderr.txt");
    const std::string command =
        std::string(ROVENA_BIN_DIR) + "/rovena-cli " + arguments + " >/dev/null 2>'" + errPath + "'";
    const int status = std::system(command.c_str());
    std::ifstream in(errPath);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, {std::istreambuf_iterator<char>(in), {}}};
  }
  std::string Piece(const std::string& name, std::size_t length) const {
    std::ofstream(dir_.File(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes_.data()), static_cast<std::streamsize>(std::min(length, bytes_.size())));
    return dir_.File(name);
  }
  std::vector<std::uint8_t> Recorded() const {
    std::ifstream in(recording_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  test::ScratchDir dir_{"rovena_cli"};
  std::string recording_ = dir_.File("c.m1v");
  std::vector<std::uint8_t> bytes_;
};

TEST_F(CliOutcomes, NoCommandWritesOverTheRecording) {
  fs::create_symlink(recording_, dir_.File("l.csv"));
  for (const std::string& arguments :
       {"track " + recording_ + " -o " + recording_, "track " + recording_ + " -o " + dir_.File("l.csv"),
        "frames " + recording_ + " -o " + dir_.File("fr") + " --count 3 --y4m " + recording_,
        "cut " + recording_ + " --from 1 --to 2 -o " + dir_.File("l.csv")}) {
    const Outcome outcome = Run(arguments);
    EXPECT_EQ(outcome.status, 1) << arguments;
    EXPECT_NE(outcome.err.find(recording_), std::string::npos) << outcome.err;
    EXPECT_EQ(Recorded(), bytes_) << arguments;
  }
}

TEST_F(CliOutcomes, ExitStatusTellsWhetherWhatWasAskedWasDone) {
  const std::string frames = "frames " + recording_ + " -o " + dir_.File("fr");
  EXPECT_EQ(Run(frames + " --first 2 --count 9223372036854775807").status, 0);
  EXPECT_TRUE(fs::exists(dir_.File("fr/frame00004.bmp")));
  EXPECT_FALSE(fs::exists(dir_.File("fr/frame00001.bmp")));
  const std::string empty = dir_.File("empty.m1v");
  std::ofstream(empty).close();
  const std::string truncated = Piece("short.m1v", bytes_.size() - 100);
  const std::vector<std::string> failures = {
      frames + " --first 5", frames + " --count 0", frames + " --first 3 --count 5",
      "frames " + Piece("piece.m1v", 3000) + " -o " + dir_.File("fr2"),
      "track " + empty, "track /etc/passwd", "track " + truncated, "info " + truncated};
  for (const std::string& arguments : failures) {
    const Outcome outcome = Run(arguments);
    EXPECT_EQ(outcome.status, 1) << arguments;
    EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << arguments << ": " << outcome.err;
  }
  EXPECT_EQ(Run(frames + " -o " + dir_.File("other")).status, 2);  // repeated option
  EXPECT_EQ(Run("track " + recording_ + " -o ''").status, 2);
  for (const char* command : {"info", "frames", "track", "cut", "demo", "trip", "export", "verify-export", "index",
                              "find", "verify"})
    EXPECT_EQ(Run(std::string(command) + " --help").status, 0) << command;
}

TEST_F(CliOutcomes, ProgressOnlyOnATerminalAndJsonThatParses) {
  const std::string cli = std::string(ROVENA_BIN_DIR) + "/rovena-cli";
  const std::string frames = cli + " frames " + recording_ + " --force -o " + dir_.File("fr");
  // script(1) gives the command a pseudo-terminal; the bar is redrawn with carriage returns.
  const std::string onTerminal = dir_.File("terminal.txt");
  ASSERT_EQ(std::system(("script -qec '" + frames + " --jobs 1' /dev/null > " + onTerminal).c_str()), 0);
  std::ifstream terminal(onTerminal);
  const std::string shown{std::istreambuf_iterator<char>(terminal), {}};
  EXPECT_NE(shown.find("wrote 4 BMP files"), std::string::npos) << shown;
  EXPECT_NE(shown.find("%  "), std::string::npos) << shown;  // the bar was drawn
  EXPECT_EQ(Run("frames " + recording_ + " --force -o " + dir_.File("fr")).err, "");  // not a terminal: silent
  EXPECT_EQ(std::system(("script -qec '" + frames + " --quiet' /dev/null | grep -q '%'").c_str()) != 0, true);
  EXPECT_EQ(std::system((cli + " info --json " + recording_ + " | python3 -m json.tool >/dev/null").c_str()), 0);
}

TEST_F(CliOutcomes, AnExistingFileIsReplacedOnlyWithForceAndADeviceNever) {
  const std::string other = dir_.File("other.txt");
  for (const std::string& command : {"track " + recording_ + " -o " + other,
                                     "cut " + recording_ + " --from 1 --to 2 -o " + other}) {
    std::ofstream(other) << "notes";
    const Outcome refused = Run(command);
    EXPECT_EQ(refused.status, 1) << command;
    EXPECT_NE(refused.err.find("exists already; --force replaces it"), std::string::npos) << refused.err;
    EXPECT_EQ(Run(command + " --force").status, 0) << command;
  }
  EXPECT_EQ(Run("info " + recording_ + " --force").status, 2) << "info writes nothing to replace";
  // Its own output of the same run is never replaced, --force or not; the run says so.
  const Outcome own = Run("frames " + recording_ + " -o " + dir_.File("fy") + " --force --y4m " + dir_.File("fy/frame00001.bmp"));
  EXPECT_EQ(own.status, 1);
  EXPECT_NE(own.err.find("refusing to write over"), std::string::npos) << own.err;

  // A character device is written into and stays what it is.
  std::string device = "/dev/null";
  if (::mknod(dir_.File("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) device = dir_.File("null");
  EXPECT_EQ(Run("cut " + recording_ + " --from 2 --to 3 -o " + device).status, 0);
  EXPECT_TRUE(fs::is_character_file(device));
}

TEST_F(CliOutcomes, NewCommandsFailHonestly) {
  for (const char* jobs : {"-1", "0", "junk"})
    EXPECT_EQ(Run("track " + recording_ + " --jobs " + jobs).status, 2) << jobs;
  std::ofstream(dir_.File("empty.json")) << R"({"kind": "export", "sources": [], "outputs": []})";
  EXPECT_EQ(Run("verify-export " + dir_.File("empty.json")).status, 1);
  for (const char* pace : {"1e-300", "0.0001", "0"})
    EXPECT_EQ(Run("export " + recording_ + " --from 1 --to 2 -o " + dir_.File("p.mp4") + " --pace " + pace).status, 2);

  // A folder the user may not read is named, and the index run does not claim success.
  fs::create_directories(dir_.File("tree/locked"));
  fs::copy_file(recording_, dir_.File("tree/c.m1v"));
  fs::create_directory(dir_.File("db"));
  fs::permissions(dir_.Path(), fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(dir_.File("db"), fs::perms::all);
  fs::permissions(dir_.File("tree/locked"), fs::perms::owner_all);
  const auto index = test::Unprivileged(std::string(ROVENA_BIN_DIR) + "/rovena-cli index " + dir_.File("tree") +
                                        " --db " + dir_.File("db/a.sqlite"));
  if (!index) GTEST_SKIP() << "no unprivileged user to run as";
  const test::CommandOutput indexed = test::RunCommand(*index);
  EXPECT_EQ(indexed.status, 1) << indexed.output;
  EXPECT_NE(indexed.output.find("failed " + dir_.File("tree/locked") + ": cannot read the folder"), std::string::npos)
      << indexed.output;
}

TEST_F(CliOutcomes, GpxOfANameThatIsNotUtf8IsWellFormed) {
  const std::string latin1 = dir_.File("caf\xE9.m1v");
  fs::copy_file(recording_, latin1);
  const std::string gpx = dir_.File("t.gpx");
  ASSERT_EQ(Run("track '" + latin1 + "' -o " + gpx).status, 0);
  EXPECT_EQ(std::system(("xmllint --noout " + gpx).c_str()), 0);
}

}  // namespace
}  // namespace rovena
