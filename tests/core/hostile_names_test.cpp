// File names in any bytes reach every text the programs write through one form (NameText):
// readers nobody here wrote (python3's json and csv, jq, xmllint) accept the files, the names
// read back exactly, and a terminal never gets a control character or a stray byte.
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

namespace fs = std::filesystem;
using test::kHostileNames;

TEST(NameText, EveryNameReadsBackAndShowsNoControlCharacter) {
  EXPECT_EQ(NameText("z\xB3\xF3" "d\xBC.m1v"), "z\\xb3\\xf3d\\xbc.m1v");
  EXPECT_EQ(NameText("red\x1B[31m\x07\n.m1v"), "red\\x1b[31m\\x07\\x0a.m1v");
  EXPECT_EQ(NameText("a\\x41"), "a\\\\x41");                 // a literal backslash is doubled...
  EXPECT_EQ(NameText("\xC2\x9B" "2J \xC5\x82\xC3\xB3" "d\xC5\xBA"), "\\xc2\\x9b2J \xC5\x82\xC3\xB3" "d\xC5\xBA");  // ...C1 controls escaped, UTF-8 kept
  EXPECT_EQ(NameFromText("old\\name \\x4"), "old\\name \\x4");  // what is not an escape is itself

  std::mt19937 random(7);
  for (int i = 0; i < 2000; ++i) {
    std::string bytes(random() % 12, '\0');
    for (char& c : bytes) c = static_cast<char>(random() % 256);
    const std::string text = NameText(bytes);
    ASSERT_EQ(NameFromText(text), bytes);
    for (const unsigned char c : text) ASSERT_TRUE(c >= 0x20 && c != 0x7F) << text;
    for (std::size_t at = 0; at < text.size(); at += Utf8SequenceLength(text, at)) ASSERT_NE(Utf8SequenceLength(text, at), 0u);
  }
  // A library's message of several lines becomes one; what is not text is escaped.
  EXPECT_EQ(TerminalLine("connection failed: refused\n\tIs the server running?\n"),
            "connection failed: refused; Is the server running?");
  EXPECT_EQ(TerminalLine("z\xB3 \x1B[2J\\x"), "z\\xb3 \\x1b[2J\\x");
}

// A folder of one small recording under each hostile name, run through every command that
// prints or writes names.
class HostileNames : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory(Folder());
    RecordingWriter writer(320, 240);
    for (int i = 0; i < 3; ++i) writer.AddPicture(MakeTestPattern(320, 240, i), MakeGprmcSentence(i));
    for (const std::string& name : kHostileNames) ASSERT_TRUE(writer.WriteFile(Folder() + "/" + name));
  }
  std::string Folder() const { return scratch_.File("trip"); }
  test::ProgramRun Cli(const std::vector<std::string>& arguments) const { return test::RunCli(arguments, scratch_.Path()); }
  bool SafeForTerminal(const std::string& text) const { return test::SafeForTerminal(text, scratch_.Path()); }
  std::string Saved(const std::string& content) const {
    const std::string file = scratch_.File("saved output");
    std::ofstream(file, std::ios::binary) << content;
    return file;
  }
  // What python3 prints running `script` with sys.argv[1] naming a file that holds `content`.
  std::string Python(const std::string& script, const std::string& content) const {
    const test::ProgramRun run = test::RunProgram({"/usr/bin/python3", "-c", script, Saved(content)}, scratch_.Path());
    return run.status == 0 ? run.out : "python3 failed: " + run.err;
  }
  // The names' text forms, one a line, sorted.
  static std::string ExpectedNames() {
    std::vector<std::string> texts;
    for (const std::string& name : kHostileNames) texts.push_back(NameText(name));
    std::sort(texts.begin(), texts.end());
    std::string lines;
    for (const std::string& text : texts) lines += text + "\n";
    return lines;
  }

  test::ScratchDir scratch_{"rovena_hostile"};
};

TEST_F(HostileNames, TripListingsAndTracksAreValidAndNameEveryFile) {
  const test::ProgramRun text = Cli({"trip", Folder()});
  EXPECT_EQ(text.status, 0) << text.err;
  EXPECT_TRUE(SafeForTerminal(text.out)) << text.out;
  for (const std::string& name : kHostileNames) EXPECT_NE(text.out.find(NameText(name)), std::string::npos);

  const test::ProgramRun json = Cli({"trip", Folder(), "--format", "json"});
  EXPECT_EQ(Python("import json, sys\nfor n in sorted(r['name'] for r in json.load(open(sys.argv[1]))['recordings']): print(n)",
                   json.out), ExpectedNames());
  EXPECT_EQ(test::RunProgram({"/usr/bin/jq", "-e", ".recordings | length == 4", Saved(json.out)}, scratch_.Path()).status, 0);
  const test::ProgramRun csv = Cli({"trip", Folder(), "--format", "csv"});
  EXPECT_EQ(Python("import csv, sys\n"
                   "for n in sorted(r[1] for r in csv.reader(open(sys.argv[1], newline='')) if r[0] == 'recording'): print(n)",
                   csv.out), ExpectedNames());

  const std::string gpx = scratch_.File("trip.gpx");
  ASSERT_EQ(Cli({"track", Folder(), "-o", gpx}).status, 0);
  EXPECT_EQ(test::RunProgram({"/usr/bin/xmllint", "--noout", gpx}, scratch_.Path()).status, 0);
  const test::ProgramRun track = Cli({"track", Folder(), "--format", "csv"});
  EXPECT_EQ(Python("import csv, sys\nrows = list(csv.reader(open(sys.argv[1], newline='')))\n"
                   "print(len(rows), all(len(r) == len(rows[0]) for r in rows))", track.out), "13 True\n");
}

TEST_F(HostileNames, InfoCutAndItsRecordNameTheFileSoItIsFoundAgain) {
  for (const std::string& name : kHostileNames) {
    const std::string path = Folder() + "/" + name;
    const test::ProgramRun info = Cli({"info", path});
    EXPECT_TRUE(SafeForTerminal(info.out)) << info.out;
    const test::ProgramRun json = Cli({"info", "--json", path});
    EXPECT_EQ(Python("import json, sys\nprint(json.load(open(sys.argv[1]))['file'])", json.out), NameText(path) + "\n");

    const std::string cut = scratch_.File("cut " + name);
    const test::ProgramRun saved = Cli({"cut", path, "--from", "1", "--to", "2", "-o", cut, "--sidecars"});
    ASSERT_EQ(saved.status, 0) << saved.err;
    EXPECT_TRUE(SafeForTerminal(saved.out)) << saved.out;
    const std::string record = fs::path(cut).replace_extension(".json").string();
    EXPECT_EQ(test::RunProgram({"/usr/bin/jq", "-e", ".sources[0].path | length > 0", record}, scratch_.Path()).status, 0);
    const test::ProgramRun verified = Cli({"verify-export", record});
    EXPECT_EQ(verified.status, 0) << verified.out << verified.err;
    EXPECT_TRUE(SafeForTerminal(verified.out)) << verified.out;
    EXPECT_NE(verified.out.find("source " + NameText(path) + ": matches"), std::string::npos) << verified.out;

    // A failure names the file on one line, however the name would break it.
    const test::ProgramRun refused = Cli({"info", record});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "rovena-cli info: " + NameText(record) + ": not a recording (it does not begin with an "
                           "MPEG-1 sequence header)\n");
  }
}

}  // namespace
}  // namespace rovena
