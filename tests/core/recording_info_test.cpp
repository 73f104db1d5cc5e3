// rovena-cli info on a real recording and on input that is not one.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "recording_fixture.h"

namespace rovena {
namespace {

struct CliResult {
  int status = -1;
  std::string out, err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

CliResult RunInfo(const std::string& recording) {
  const std::string base = test::TestDataDir() + "/info_" + std::to_string(::getpid());
  const std::string command = std::string("'") + ROVENA_BIN_DIR + "/rovena-cli' info '" + recording +
                              "' >'" + base + ".out' 2>'" + base + ".err' </dev/null";
  const int raw = std::system(command.c_str());
  CliResult result{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(base + ".out"), Slurp(base + ".err")};
  ::unlink((base + ".out").c_str());
  ::unlink((base + ".err").c_str());
  return result;
}

int CountLines(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

TEST(InfoCommand, DescribesARealRecording) {
  const test::FixtureRecording r = test::MakeFfmpegRecording("search", 320, 240, 40);
  const CliResult result = RunInfo(r.path);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  for (const std::string& line : std::vector<std::string>{
           "frame format: 320 x 240", "length: " + std::to_string(r.fileLength) + " bytes", "pictures: 40",
        "gps sentences: 40", "valid fixes: 37", "first gps time: 2007-06-14T08:15:00.000Z",
        "last gps time: 2007-06-14T08:15:39.000Z"})
    EXPECT_NE(result.out.find(line + "\n"), std::string::npos) << line << "\n" << result.out;
}

TEST(InfoCommand, RejectsBadInputWithOneLine) {
  const test::FixtureRecording r = test::MakeFfmpegRecording("search", 320, 240, 40);
  std::vector<uint8_t> bytes = test::ReadWholeFile(r.path);
  const std::string dir = test::TestDataDir() + "/";
  const std::string truncated = dir + "info_truncated_" + std::to_string(::getpid()) + ".m1v";
  test::WriteFileAtomically(truncated, std::vector<uint8_t>(bytes.begin(), bytes.begin() + bytes.size() / 2));
  const std::string wrongSize = dir + "info_wrong_size_" + std::to_string(::getpid()) + ".m1v";
  bytes[6] = 0xF1;  // 320 x 241
  test::WriteFileAtomically(wrongSize, bytes);

  for (const std::string& bad : {dir + "missing.m1v", dir, r.yuvPath, truncated, wrongSize}) {
    const CliResult result = RunInfo(bad);
    EXPECT_NE(result.status, 0) << bad;
    EXPECT_EQ(CountLines(result.err), 1) << bad << ": " << result.err;
  }
  EXPECT_NE(RunInfo(truncated).err.find("truncated"), std::string::npos);
  ::unlink(truncated.c_str());
  ::unlink(wrongSize.c_str());
}

}  // namespace
}  // namespace rovena
