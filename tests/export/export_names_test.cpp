// An export named in any bytes, with a colon in its name: the whole set is written without a
// word from the libraries, and verify-export finds every file again from its record. A hostile
// record is refused on one line.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "hostile_names.h"
#include "scratch_dir.h"
#include "tools/recording_writer.h"

namespace rovena {
namespace {

TEST(ExportNames, AnyNameGivesAWholeSetThatVerifies) {
  const test::ScratchDir scratch("rovena_export_names");
  const std::string dir = scratch.Path();
  RecordingWriter writer(320, 240);
  for (int i = 0; i < 4; ++i) writer.AddPicture(MakeTestPattern(320, 240, i), MakeGprmcSentence(i));
  ASSERT_TRUE(writer.WriteFile(scratch.File(test::kHostileNames[0])));
  // Relative and with a colon: the temporary ".a:…" must not be taken for a protocol.
  const test::ProgramRun exported =
      test::RunCli({"export", test::kHostileNames[0], "--from", "1", "--to", "3", "-o", "a:" + test::kHostileNames[1] + ".mp4"}, dir);
  EXPECT_EQ(exported.status, 0);
  EXPECT_EQ(exported.err, "");
  const std::string record = "a:" + test::kHostileNames[1] + ".json";
  EXPECT_EQ(test::RunProgram({"/usr/bin/jq", "-e", ".outputs | length == 3", record}, dir).status, 0);
  const test::ProgramRun verified = test::RunCli({"verify-export", record}, dir);
  EXPECT_EQ(verified.status, 0);
  EXPECT_EQ(std::count(verified.out.begin(), verified.out.end(), '\n'), 4) << verified.out;

  std::ofstream(scratch.File("deep.json")) << std::string(50000, '[') + std::string(50000, ']');
  EXPECT_EQ(test::RunCli({"verify-export", "deep.json"}, dir).err,
            "rovena-cli verify-export: deep.json: not an integrity record (nested too deep)\n");
}

}  // namespace
}  // namespace rovena
