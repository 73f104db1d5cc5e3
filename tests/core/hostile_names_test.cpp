// File names in any bytes reach every text through one form (NameText): readers nobody here
// wrote accept the files, the names read back exactly (verify-export finds each file again),
// and a terminal never gets a control character, a stray byte or a library's log line.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "core/text_encoding.h"
#include "hostile_names.h"
#include "scratch_dir.h"
#include "tools/recording_writer.h"

namespace rovena {
namespace {

TEST(NameText, EveryNameReadsBackAndShowsNoControlCharacter) {
  EXPECT_EQ(NameText("z\xB3\xF3" "d\xBC\n\\x41 \xC2\x9B \xC5\x82.m1v"), "z\\xb3\\xf3d\\xbc\\x0a\\\\x41 \\xc2\\x9b \xC5\x82.m1v");
  EXPECT_EQ(NameFromText("old\\name \\x4"), "old\\name \\x4");  // what is no escape is itself
  std::mt19937 random(7);
  for (int i = 0; i < 2000; ++i) {
    std::string bytes(random() % 12, '\0');
    for (char& c : bytes) c = static_cast<char>(random() % 256);
    const std::string text = NameText(bytes);
    ASSERT_EQ(NameFromText(text), bytes);
    for (std::size_t at = 0; at < text.size(); at += Utf8SequenceLength(text, at))
      ASSERT_TRUE(Utf8SequenceLength(text, at) != 0 && static_cast<unsigned char>(text[at]) >= 0x20) << text;
  }
  EXPECT_EQ(TerminalLine("refused\n\tIs the server running?\n\x1B[2J\\x"), "refused; Is the server running?; \\x1b[2J\\x");
}

TEST(NameText, CommandsWriteValidTextThatNamesEachFileExactly) {
  const test::ScratchDir scratch("rovena_hostile");
  const std::string dir = scratch.Path(), trip = scratch.File("trip");
  std::filesystem::create_directory(trip);
  RecordingWriter writer(320, 240);
  for (int i = 0; i < 3; ++i) writer.AddPicture(MakeTestPattern(320, 240, i), MakeGprmcSentence(i));
  std::vector<std::string> texts;
  for (const std::string& name : test::kHostileNames) {
    ASSERT_TRUE(writer.WriteFile(trip + "/" + name));
    texts.push_back(NameText(name));
  }
  std::sort(texts.begin(), texts.end());
  std::string expected;  // one a line, as python prints them sorted
  for (const std::string& text : texts) expected += text + "\n";

  const test::ProgramRun listing = test::RunCli({"trip", trip}, dir);
  EXPECT_TRUE(test::SafeForTerminal(listing.out, dir)) << listing.out;
  const std::string json = test::RunCli({"trip", trip, "--format", "json"}, dir).out;
  EXPECT_EQ(test::Python("import json, sys\nfor r in sorted(r['name'] for r in json.load(open(sys.argv[1]))['recordings']): print(r)",
                         json, dir), expected);
  const std::string csv = test::RunCli({"trip", trip, "--format", "csv"}, dir).out;
  EXPECT_EQ(test::Python("import csv, sys\nfor r in sorted(r[1] for r in csv.reader(open(sys.argv[1])) if r[0] == 'recording'): print(r)",
                         csv, dir), expected);
  ASSERT_EQ(test::RunCli({"track", trip, "-o", dir + "/trip.gpx"}, dir).status, 0);
  EXPECT_EQ(test::RunProgram({"/usr/bin/xmllint", "--noout", dir + "/trip.gpx"}, dir).status, 0);

  for (const std::string& name : test::kHostileNames) {
    // Relative and with a colon: the export's temporary ".a:…" must not be taken for a protocol.
    const std::string path = trip + "/" + name, record = "a:" + name + ".json";
    const test::ProgramRun exported = test::RunCli({"export", path, "--from", "1", "--to", "2", "-o", "a:" + name + ".mp4"}, dir);
    EXPECT_EQ(exported.status, 0);
    EXPECT_EQ(exported.err, "");  // nothing from the encoder or the muxer
    EXPECT_EQ(test::RunProgram({"/usr/bin/jq", "-e", ".outputs | length == 3", record}, dir).status, 0);
    const test::ProgramRun verified = test::RunCli({"verify-export", record}, dir);
    EXPECT_EQ(verified.status, 0);
    EXPECT_NE(verified.out.find("source " + NameText(path) + ": matches\n"), std::string::npos) << verified.out;
    EXPECT_EQ(test::RunCli({"info", record}, dir).err,  // a failure names the file on one line
              "rovena-cli info: " + NameText(record) + ": not a recording (it does not begin with an MPEG-1 sequence header)\n");
  }
  std::ofstream(dir + "/deep.json") << std::string(50000, '[') + std::string(50000, ']');
  EXPECT_EQ(test::RunCli({"verify-export", "deep.json"}, dir).err,
            "rovena-cli verify-export: deep.json: not an integrity record (nested too deep)\n");
}

}  // namespace
}  // namespace rovena
