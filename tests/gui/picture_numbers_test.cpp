// One meaning of picture N: on a recording whose tenth picture lost its end code (so the
// eleventh is joined to it), the track, the archive's find, the cut's integrity record and the
// window opened at FILE:N all name the same picture at the same byte.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "gui_test_support.h"
#include "hostile_names.h"
#include "recording_fixture.h"
#include "tools/demo_drive.h"

namespace rovena::test {
namespace {

TEST(PictureNumbers, TrackFindRecordAndWindowAgreeWhenAnEndCodeIsLost) {
  QTemporaryDir folder, work;
  const std::string dir = work.path().toStdString(), path = folder.filePath("joined.m1v").toStdString();
  ASSERT_EQ(WriteDemoRecording(dir + "/demo.m1v", 320, 240, 16, IfExists::Refuse), "");
  WriteFileAtomically(path, WithoutEndCode(ReadWholeFile(dir + "/demo.m1v"), 10));

  // Row "11,POSITION,TIME,..." of the track; picture 11 is the twelfth recorded.
  const std::string track = RunCli({"track", path}, dir).out;
  const std::size_t row = track.find("\n11,") + 4;
  const std::string position = track.substr(row, track.find(',', row) - row);
  EXPECT_EQ(track.substr(row + position.size() + 1, 24), "2007-06-14T14:05:11.000Z");

  RunCli({"index", path, "--db", dir + "/archive.sqlite"}, dir);
  const std::string found = RunCli({"find", "--at", "2007-06-14T14:05:11Z", "--db", dir + "/archive.sqlite"}, dir).out;
  EXPECT_NE(found.find("picture 11 at byte " + position), std::string::npos) << found;
  EXPECT_NE(found.find("Rovena --at " + path + ":11"), std::string::npos) << found;

  RunCli({"cut", path, "--from", "11", "--to", "11", "-o", dir + "/cut.m1v", "--sidecars"}, dir);
  const std::vector<std::uint8_t> record = ReadWholeFile(dir + "/cut.json");
  EXPECT_NE(std::string(record.begin(), record.end()).find("\"first_position\": " + position), std::string::npos);

  Viewer viewer;
  viewer.form->OpenAtPicture(QString::fromStdString(path), 11);
  const Recording& shown = viewer.form->player.CurrentRecording();
  EXPECT_EQ(shown.PicPos, std::stoll(position));
  EXPECT_NE(shown.NmeaLine.find("140511"), std::string::npos) << shown.NmeaLine;
}

}  // namespace
}  // namespace rovena::test
