// Exports named in any bytes: the MP4 and every sidecar are written, the record is JSON that
// python3 and jq read, verify-export finds each file again from it, and the libraries' own
// log lines never reach the terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "core/text_encoding.h"
#include "hostile_names.h"
#include "scratch_dir.h"
#include "tools/recording_writer.h"

namespace rovena {
namespace {

namespace fs = std::filesystem;

class ExportNames : public ::testing::Test {
 protected:
  std::string Recording(const std::string& name) const {
    RecordingWriter writer(320, 240);
    for (int i = 0; i < 4; ++i) writer.AddPicture(MakeTestPattern(320, 240, i), MakeGprmcSentence(i));
    EXPECT_TRUE(writer.WriteFile(scratch_.File(name)));
    return scratch_.File(name);
  }
  test::ProgramRun Cli(const std::vector<std::string>& arguments) const { return test::RunCli(arguments, scratch_.Path()); }

  test::ScratchDir scratch_{"rovena_export_names"};
};

TEST_F(ExportNames, EveryNameGivesAWholeSetThatVerifies) {
  for (const std::string& name : test::kHostileNames) {
    const std::string source = Recording(name);
    const std::string clip = scratch_.File(fs::path(name).replace_extension(".mp4").string());
    const test::ProgramRun exported = Cli({"export", source, "--from", "1", "--to", "3", "-o", clip});
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(exported.err, "");  // nothing from the encoder or the muxer
    EXPECT_TRUE(test::SafeForTerminal(exported.out, scratch_.Path())) << exported.out;
    for (const char* extension : {".mp4", ".srt", ".gpx", ".json"})
      EXPECT_TRUE(fs::exists(fs::path(clip).replace_extension(extension))) << NameText(name) << extension;

    const std::string record = fs::path(clip).replace_extension(".json").string();
    std::ifstream in(record);
    const nlohmann::json parsed = nlohmann::json::parse(in);
    EXPECT_EQ(NameFromText(parsed["sources"][0]["path"].get<std::string>()), source);
    EXPECT_EQ(NameFromText(parsed["options"]["output"].get<std::string>()), clip);
    EXPECT_EQ(test::RunProgram({"/usr/bin/python3", "-m", "json.tool", record}, scratch_.Path()).status, 0);
    EXPECT_EQ(test::RunProgram({"/usr/bin/jq", "-e", ".outputs | length == 3", record}, scratch_.Path()).status, 0);
    const test::ProgramRun verified = Cli({"verify-export", record});
    EXPECT_EQ(verified.status, 0) << verified.out << verified.err;
    EXPECT_EQ(std::count(verified.out.begin(), verified.out.end(), '\n'), 4) << verified.out;
  }
}

// A name with a colon is a file name, not a protocol, also when the muxer opens the file
// again to move its index to the front.
TEST_F(ExportNames, AColonInTheNameIsNoProtocol) {
  Recording("a.m1v");
  const test::ProgramRun exported = Cli({"export", "a.m1v", "--from", "1", "--to", "2", "-o", "a:b.mp4"});
  EXPECT_EQ(exported.status, 0) << exported.err;
  EXPECT_TRUE(fs::exists(scratch_.File("a:b.mp4")));
  EXPECT_EQ(Cli({"verify-export", "a:b.json"}).status, 0);
}

// Records are read with bounds: a deep one or a huge one is refused on one line, never by
// running out of stack or memory.
TEST_F(ExportNames, AHostileRecordIsRefusedOnOneLine) {
  const std::string deep = scratch_.File("deep.json");
  std::ofstream(deep) << std::string(50000, '[') + std::string(50000, ']');
  const std::string large = scratch_.File("large.json");
  std::ofstream(large) << "{\"sources\": [], \"outputs\": []" + std::string(17 << 20, ' ') + "}";
  for (const auto& [record, why] : {std::pair{deep, ": not an integrity record (nested too deep)\n"},
                                    std::pair{large, ": too large for an integrity record\n"}}) {
    const test::ProgramRun refused = Cli({"verify-export", record});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "rovena-cli verify-export: " + record + why);
  }
}

}  // namespace
}  // namespace rovena
