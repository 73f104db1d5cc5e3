// What rovena-cli says, as a user reads it: ISO 8601 times, counts that match what was
// written, nouns in the number their counts call for, ranges with both ends, the true reason
// a file was passed over, and one spelling of the usage line.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tools/recording_writer.h"
#include "scratch_dir.h"

namespace rovena {
namespace {

struct Said {
  int status = -1;
  std::string out, err;
};

class CliTexts : public ::testing::Test {
 protected:
  // Four pictures; the second one's fix is not valid, so its sentence is no GPX point.
  void SetUp() override {
    std::filesystem::create_directories(dir_.File("trip"));
    RecordingWriter writer(320, 240);
    for (int i = 0; i < 4; ++i) {
      std::string sentence = MakeGprmcSentence(i);
      if (i == 1) sentence = sentence.substr(0, sentence.find('*')).replace(sentence.find(",A,"), 3, ",V,");
      writer.AddPicture(MakeTestPattern(320, 240, i), sentence);
    }
    ASSERT_TRUE(writer.WriteFile(recording_));
  }
  Said Run(const std::string& arguments) const {
    const std::string out = dir_.File("out.txt"), err = dir_.File("err.txt");
    const int status = std::system((std::string(ROVENA_BIN_DIR) + "/rovena-cli " + arguments + " >'" + out + "' 2>'" +
                                    err + "'").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Read(out), Read(err)};
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  test::ScratchDir dir_{"rovena_cli_texts"};
  std::string recording_ = dir_.File("trip/rec.m1v");
};

TEST_F(CliTexts, SayWhatWasDoneInOneFormAndTheRightNumber) {
  const std::string db = dir_.File("archive.sqlite");
  ASSERT_EQ(Run("index " + dir_.File("trip") + " --db " + db).status, 0);
  struct Case {
    std::string arguments;
    int status;
    std::string said;   // in standard output or standard error
    std::string never;  // in neither
  };
  const Case cases[] = {
      {"info " + recording_, 0, "first gps time: 2006-03-30T22:34:16", "30.03.2006"},
      {"track " + recording_ + " -o " + dir_.File("t.gpx"), 0, "(3 track points)", "4 GPS sentences"},
      {"track " + recording_ + " -o " + dir_.File("t.csv"), 0, "(4 GPS sentences)", "track points"},
      {"frames " + recording_ + " -o " + dir_.File("f") + " --count 1", 0, "wrote 1 BMP file to", "1 BMP files"},
      {"find --near 10,10 --db " + db, 0, "find: 0 passes found", "rovena-cli find: warning"},
      {"find --event stop --db " + db + " --format json", 0, "find: 0 events found", ""},
      {"find --near 52.2,21 --radius 1000001 --db " + db, 2, "more than 0 up to 1000000", "Usage"},
      {"events " + recording_ + " --limit 501", 2, "more than 0 up to 500", "Usage"},
      {"frames " + recording_ + " -o " + dir_.File("f") + " --jobs 65", 2, "from 1 to 64", "Usage"},
  };
  for (const Case& c : cases) {
    const Said said = Run(c.arguments);
    EXPECT_EQ(said.status, c.status) << c.arguments << "\n" << said.err;
    EXPECT_NE((said.out + said.err).find(c.said), std::string::npos) << c.arguments << "\n" << said.out << said.err;
    if (!c.never.empty()) {
      EXPECT_EQ((said.out + said.err).find(c.never), std::string::npos) << c.arguments;
    }
  }
  const std::string gpx = Read(dir_.File("t.gpx"));
  std::size_t points = 0;
  for (std::size_t at = gpx.find("<trkpt"); at != std::string::npos; at = gpx.find("<trkpt", at + 1)) ++points;
  EXPECT_EQ(points, 3u);
}

TEST_F(CliTexts, TripNamesTheTrueReasonAndPassesOverItsOwnOutputs) {
  for (const char* own : {"rec.gpx", "rec.json", "clip.mp4", "clip.SRT", "frame00001.bmp"})
    std::ofstream(dir_.File(std::string("trip/") + own)) << "written by rovena-cli\n";
  // A sequence header of 352 x 288 pictures: an MPEG-1 file, but not one the viewer shows.
  std::string bytes = Read(recording_);
  bytes[4] = 0x16, bytes[5] = 0x01, bytes[6] = 0x20;
  std::ofstream(dir_.File("trip/other.m1v"), std::ios::binary) << bytes;
  std::ofstream(dir_.File("trip/notes.txt")) << "not a recording\n";

  const Said said = Run("trip " + dir_.File("trip"));
  EXPECT_EQ(said.status, 0) << said.err;
  EXPECT_NE(said.out.find("skipped other.m1v: frame size is neither 640 x 480 nor 320 x 240"), std::string::npos)
      << said.out;
  EXPECT_NE(said.out.find("skipped notes.txt: not a recording"), std::string::npos) << said.out;
  for (const char* own : {"rec.gpx", "rec.json", "clip.mp4", "clip.SRT", "frame00001.bmp"})
    EXPECT_EQ(said.out.find(own), std::string::npos) << own << "\n" << said.out;
}

TEST_F(CliTexts, EveryHelpAndUsageLineIsSpelledAlike) {
  const Said program = Run("--help");
  ASSERT_EQ(program.status, 0);
  EXPECT_EQ(program.out.rfind("usage: rovena-cli COMMAND", 0), 0u) << program.out;
  std::istringstream lines(program.out.substr(program.out.find("Commands:")));
  std::string line;
  std::getline(lines, line);
  int commands = 0;
  while (std::getline(lines, line) && line.rfind("  COMMAND", 0) != 0) {
    if (line.rfind("      ", 0) == 0) continue;  // a usage line's continuation
    const std::string name = line.substr(2, line.find(' ', 2) - 2);
    const Said help = Run(name + " --help");
    EXPECT_EQ(help.status, 0) << name;
    EXPECT_EQ(help.out.rfind("usage: rovena-cli " + name, 0), 0u) << help.out;
    EXPECT_NE(help.out.find("Exit status:"), std::string::npos) << name;
    const Said wrong = Run(name + " --no-such-option");
    EXPECT_EQ(wrong.status, 2) << name;
    EXPECT_NE(wrong.err.find("\nusage: rovena-cli " + name), std::string::npos) << wrong.err;
    EXPECT_EQ((help.out + wrong.err).find("Usage"), std::string::npos) << name;
    ++commands;
  }
  EXPECT_EQ(commands, 13);
}

}  // namespace
}  // namespace rovena
