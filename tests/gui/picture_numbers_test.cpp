// One meaning of picture N: on a recording whose tenth picture lost its end code (so the
// eleventh is joined to it), the track, the archive's find, the cut's integrity record and the
// window opened at FILE:N all name the same picture at the same byte.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sstream>

#include "gui_test_support.h"
#include "recording_fixture.h"
#include "tools/demo_drive.h"

namespace rovena::test {
namespace {

std::string Cli(const std::string& arguments) {
  std::string out;
  FILE* pipe = popen((std::string(ROVENA_BIN_DIR) + "/rovena-cli " + arguments).c_str(), "r");
  char buffer[4096];
  for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  if (pipe) pclose(pipe);
  return out;
}

// Field `index` of the CSV row of `text` that starts with `key`.
std::string CsvField(const std::string& text, const std::string& key, int index) {
  std::istringstream rows(text);
  for (std::string row; std::getline(rows, row);) {
    if (row.rfind(key, 0) != 0) continue;
    std::istringstream fields(row);
    std::string field;
    for (int i = 0; i <= index; ++i) std::getline(fields, field, ',');
    return field;
  }
  return {};
}

TEST(PictureNumbers, TrackFindRecordAndWindowAgreeWhenAnEndCodeIsLost) {
  QTemporaryDir folder, work;
  const std::string demo = work.filePath("demo.m1v").toStdString();
  const std::string path = folder.filePath("joined.m1v").toStdString();
  ASSERT_EQ(WriteDemoRecording(demo, 320, 240, 16), "");
  std::vector<std::uint8_t> bytes = ReadWholeFile(demo);
  const std::vector<std::uint8_t> endCode = {0, 0, 1, 0xB7};
  auto end = bytes.begin();
  for (int picture = 0; picture < 10; ++picture) end = std::search(end + 1, bytes.end(), endCode.begin(), endCode.end());
  bytes.erase(end, end + 4);
  WriteFileAtomically(path, bytes);

  const std::string track = Cli("track '" + path + "'");
  const std::string position = CsvField(track, "11,", 1), utc = CsvField(track, "11,", 2);
  ASSERT_FALSE(position.empty()) << track;
  EXPECT_EQ(utc, "2007-06-14T14:05:11.000Z") << "picture 11 is the twelfth recorded";

  const std::string db = work.filePath("archive.sqlite").toStdString();
  Cli("index '" + path + "' --db '" + db + "'");
  const std::string found = Cli("find --at " + utc.substr(0, 19) + "Z --db '" + db + "'");
  EXPECT_NE(found.find("picture 11 at byte " + position), std::string::npos) << found;
  EXPECT_NE(found.find("Rovena --at " + path + ":11"), std::string::npos) << found;

  const std::string cut = work.filePath("cut.m1v").toStdString();
  Cli("cut '" + path + "' --from 11 --to 11 -o '" + cut + "' --sidecars");
  const std::vector<std::uint8_t> record = ReadWholeFile(work.filePath("cut.json").toStdString());
  EXPECT_NE(std::string(record.begin(), record.end()).find("\"first_position\": " + position), std::string::npos);

  Viewer viewer;
  viewer.form->OpenAtPicture(QString::fromStdString(path), 11);
  EXPECT_EQ(viewer.form->recording.PicPos, std::stoll(position));
  EXPECT_NE(viewer.form->recording.NmeaLine.find("140511"), std::string::npos) << viewer.form->recording.NmeaLine;
}

}  // namespace
}  // namespace rovena::test
