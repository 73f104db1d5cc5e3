// The boxes file: what is written reads back the same, and what is not a boxes file is
// refused with a message that names the bad entry.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "redact/boxes.h"
#include "scratch_dir.h"

namespace rovena::redact {
namespace {

BoxFile Sample() {
  BoxFile file;
  file.boxes = {{{"140500.m1v", 1}, {0, 0, 1, 1}, BoxKind::Face, BoxOrigin::Detected, false},
                {{"140500.m1v", 120}, {600, 440, 40, 40}, BoxKind::Plate, BoxOrigin::Drawn, true},
                {{"trasa \"2\" żółta.m1v", 7}, {12, 34, 56, 78}, BoxKind::Other, BoxOrigin::Drawn, false}};
  file.reviewed = {{"140500.m1v", 1}, {"141300.m1v", 3}};
  file.detectors = {{"plates: rows", {{"scales", "1, 1.5"}, {"least width", "40"}}}};
  return file;
}

TEST(Boxes, RoundTripThroughTheFileAndPython) {
  test::ScratchDir dir("rovena_boxes");
  const std::string path = dir.File("clip.boxes.json");
  ASSERT_EQ(WriteBoxesFile(path, Sample(), IfExists::Refuse), "");
  BoxFile read;
  ASSERT_EQ(ReadBoxesFile(path, read), "");
  EXPECT_EQ(read, Sample());
  // Someone else's JSON reader sees the documented fields.
  const std::string check = "python3 -c \"import json,sys; d=json.load(open(sys.argv[1])); b=d['boxes'][1]; "
                            "assert (b['recording'],b['picture'],b['x'],b['y'],b['w'],b['h'],b['kind'],b['origin'],"
                            "b['confirmed'])==('140500.m1v',120,600,440,40,40,'plate','drawn',True); "
                            "assert d['reviewed'][1]=={'recording':'141300.m1v','picture':3}; "
                            "assert d['detectors'][0]['parameters']['least width']=='40'\" " + path;
  EXPECT_EQ(std::system(check.c_str()), 0);
  BoxFile empty;
  ASSERT_EQ(ParseBoxes(BoxesToJson({}), empty), "");
  EXPECT_EQ(empty, BoxFile{});
}

TEST(Boxes, RefusesWhatIsNotABoxesFileAndKeepsWhatItHad) {
  const std::string box = R"("recording": "a.m1v", "picture": 2, "x": 1, "y": 2, "w": 3, "h": 4, "kind": "face", "origin": "drawn", "confirmed": false)";
  const auto withBox = [&](const std::string& change) {
    return R"({"boxes": [{)" + box + change + R"(}], "reviewed": []})";
  };
  ASSERT_EQ([&] { BoxFile f; return ParseBoxes(withBox(""), f); }(), "");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"{", "not JSON"},
      {"[]", "needs \"boxes\""},
      {R"({"boxes": []})", "needs \"boxes\" and \"reviewed\""},
      {R"({"boxes": {}, "reviewed": []})", "\"boxes\" is not a list"},
      {withBox(R"(, "kind": "car")"), "boxes[0]"},  // a repeated key: nlohmann keeps the last
      {R"({"boxes": [{"recording": "a.m1v", "picture": 1.5, "x": 1, "y": 2, "w": 3, "h": 4, "kind": "face", "origin": "drawn", "confirmed": false}], "reviewed": []})", "whole number"},
      {R"({"boxes": [{"recording": "a.m1v", "picture": 0, "x": 1, "y": 2, "w": 3, "h": 4, "kind": "face", "origin": "drawn", "confirmed": false}], "reviewed": []})", "counts from 1"},
      {R"({"boxes": [{"recording": "a.m1v", "picture": 1, "x": -1, "y": 2, "w": 3, "h": 4, "kind": "face", "origin": "drawn", "confirmed": false}], "reviewed": []})", "\"x\" out of range"},
      {R"({"boxes": [{"recording": "a.m1v", "picture": 1, "x": 1, "y": 2, "w": 0, "h": 4, "kind": "face", "origin": "drawn", "confirmed": false}], "reviewed": []})", "\"w\" out of range"},
      {R"({"boxes": [{"recording": "a.m1v", "picture": 1, "x": 1, "y": 2, "w": 3, "h": 18446744073709551615, "kind": "face", "origin": "drawn", "confirmed": false}], "reviewed": []})", "whole number"},
      {R"({"boxes": [{"recording": "../a.m1v", "picture": 1, "x": 1, "y": 2, "w": 3, "h": 4, "kind": "face", "origin": "drawn", "confirmed": false}], "reviewed": []})", "file name"},
      {R"({"boxes": [{"recording": "a.m1v", "picture": 1, "x": 1, "y": 2, "w": 3, "h": 4, "kind": "face", "origin": "seen", "confirmed": false}], "reviewed": []})", "unknown \"origin\" seen"},
      {R"({"boxes": [{"recording": "a.m1v", "picture": 1, "x": 1, "y": 2, "w": 3, "h": 4, "kind": "face", "origin": "drawn", "confirmed": 1}], "reviewed": []})", "boxes[0]"},
      {withBox(R"(, "colour": "red")"), "unknown field \"colour\""},
      {R"({"boxes": [], "reviewed": [{"recording": "a.m1v"}]})", "reviewed[0]"},
      {R"({"boxes": [], "reviewed": [[[[[[]]]]]]})", "nested deeper"},
      {R"({"boxes": [], "reviewed": [], "detectors": [{"name": "x", "parameters": {"scale": 2}}]})", "detectors[0]"},
  };
  for (const auto& [text, why] : cases) {
    BoxFile file = {{}, {{"kept.m1v", 1}}, {}};
    const std::string error = ParseBoxes(text, file);
    EXPECT_NE(error.find(why), std::string::npos) << text << "\n  gave: " << error;
    EXPECT_EQ(file.reviewed.size(), 1u) << text;
  }
}

TEST(Boxes, FilesTooLargeOrMissingAreRefusedUnread) {
  test::ScratchDir dir("rovena_boxes");
  BoxFile file;
  EXPECT_NE(ReadBoxesFile(dir.File("none.json"), file).find("none.json"), std::string::npos);
  const std::string big = dir.File("big.json");
  std::ofstream(big).close();
  std::filesystem::resize_file(big, kMostBoxesFileBytes + 1);
  EXPECT_NE(ReadBoxesFile(big, file).find("larger than a boxes file"), std::string::npos);
  EXPECT_EQ(BoxRecordingName("/data/trip/140500.m1v"), "140500.m1v");
  EXPECT_EQ(BoxRecordingName("/data/z\xB3oty.m1v"), "z\\xb3oty.m1v");  // a name that is not UTF-8 stays whole
}

}  // namespace
}  // namespace rovena::redact
