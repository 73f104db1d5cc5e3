#include "core/gps_track.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "core/recording.h"
#include "tools/recording_writer.h"
#include "scratch_dir.h"

namespace rovena {
namespace {

namespace fs = std::filesystem;

std::string WithChecksum(const std::string& body) {
  unsigned sum = 0;
  for (char c : body) sum ^= static_cast<unsigned char>(c);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X", sum);
  return "$" + body + tail;
}

TEST(Gprmc, FullFieldsWithHemispheres) {
  auto fix = ParseGprmc("$GPRMC,223416.000,A,5214.1234,N,02100.5678,E,12.5,270.0,300306,,,A");
  ASSERT_TRUE(fix);
  EXPECT_TRUE(fix->valid());
  EXPECT_EQ(fix->utc, "2006-03-30T22:34:16.000Z");
  EXPECT_DOUBLE_EQ(fix->utcSeconds, 1143758056.0);
  EXPECT_NEAR(*fix->latitude, 52 + 14.1234 / 60, 1e-12);
  EXPECT_NEAR(*fix->longitude, 21 + 0.5678 / 60, 1e-12);
  EXPECT_NEAR(*fix->speedKmh, 23.15, 1e-12);
  EXPECT_DOUBLE_EQ(*fix->course, 270.0);

  fix = ParseGprmc(WithChecksum("GPRMC,000000,V,3351.0000,S,07038.5000,W,0,,290224,,") + "\r\n");
  ASSERT_TRUE(fix);
  EXPECT_FALSE(fix->valid());
  EXPECT_EQ(fix->utc, "2024-02-29T00:00:00Z");
  EXPECT_NEAR(*fix->latitude, -(33 + 51.0 / 60), 1e-12);
  EXPECT_NEAR(*fix->longitude, -(70 + 38.5 / 60), 1e-12);
  EXPECT_DOUBLE_EQ(*fix->speedKmh, 0);
  EXPECT_FALSE(fix->course);
}

TEST(Gprmc, RejectsAndPartialFields) {
  EXPECT_FALSE(ParseGprmc("$GPGGA,223416.000,5214.1234,N"));
  EXPECT_FALSE(ParseGprmc(""));
  const std::string good = WithChecksum("GPRMC,223416.000,A,5214.1234,N,02100.5678,E,12.5,270.0,300306,,,A");
  EXPECT_TRUE(ParseGprmc(good));
  std::string corrupted = good;
  corrupted[20] = '6';  // one changed digit no longer matches the checksum
  EXPECT_FALSE(ParseGprmc(corrupted));

  // Cut short after the speed: no course, no date, so no time either.
  auto fix = ParseGprmc("$GPRMC,223416.000,A,5214.1234,N,02100.5678,E,12.5");
  ASSERT_TRUE(fix);
  EXPECT_TRUE(fix->utc.empty());
  EXPECT_TRUE(fix->latitude);
  EXPECT_TRUE(fix->speedKmh);
  // Impossible date, minutes of 60 and an unknown hemisphere leave fields unset.
  fix = ParseGprmc("$GPRMC,223416,A,5260.0000,N,02100.5678,X,abc,,310206,,,A");
  ASSERT_TRUE(fix);
  EXPECT_TRUE(fix->utc.empty());
  EXPECT_FALSE(fix->latitude);
  EXPECT_FALSE(fix->longitude);
  EXPECT_FALSE(fix->speedKmh);
}

TEST(TrackWriters, CsvRowsAndGpxSortedValidPoints) {
  std::vector<GpsFix> fixes;
  for (const char* s : {"$GPRMC,120002,A,5200.6000,N,02030.0000,E,10,90,010106,,",
                        "$GPRMC,120001,A,5200.0000,S,02000.0000,W,0,,010106,,",
                        "$GPRMC,120003,V,5201.0000,N,02001.0000,E,,,010106,,"}) {
    fixes.push_back(*ParseGprmc(s));
    fixes.back().picture = static_cast<std::int64_t>(fixes.size());
    fixes.back().position = 100 * fixes.back().picture;
  }
  EXPECT_EQ(TrackCsv(fixes),
            "picture,position,time_utc,latitude,longitude,speed_kmh,course,status\n"
            "1,100,2006-01-01T12:00:02Z,52.0100000,20.5000000,18.52,90.0,A\n"
            "2,200,2006-01-01T12:00:01Z,-52.0000000,-20.0000000,0.00,,A\n"
            "3,300,2006-01-01T12:00:03Z,52.0166667,20.0166667,,,V\n");
  const std::string gpx = TrackGpx(fixes, "a&b<c>.mpg");
  EXPECT_NE(gpx.find("<name>a&amp;b&lt;c&gt;.mpg</name>"), std::string::npos);
  const auto second = gpx.find("lat=\"-52.0000000\"");
  const auto first = gpx.find("lat=\"52.0100000\"");
  ASSERT_NE(second, std::string::npos);
  ASSERT_NE(first, std::string::npos);
  EXPECT_LT(second, first);                                // sorted by time
  EXPECT_EQ(gpx.find("52.0166667"), std::string::npos);     // the V fix is left out
}

// A recording whose pictures carry the given user data (empty: none), written with the
// recording writer into a fresh folder.
class TrackRecording : public ::testing::Test {
 protected:
  std::string Write(const std::vector<std::string>& sentences) {
    RecordingWriter writer(320, 240);
    for (std::size_t i = 0; i < sentences.size(); ++i)
      writer.AddPicture(MakeTestPattern(320, 240, static_cast<int>(i)), sentences[i]);
    const std::string path = (dir_ / "drive.mpg").string();
    EXPECT_TRUE(writer.WriteFile(path));
    return path;
  }
  static std::string Run(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    const int rc = ::pclose(pipe);
    if (status) *status = rc;
    return out;
  }
  test::ScratchDir scratch_{"rovena_track"};
  const fs::path& dir_ = scratch_.Path();
};

std::vector<std::string> DriveSentences() {
  std::vector<std::string> sentences;
  for (int i = 0; i < 12; ++i) {
    char body[128];
    std::snprintf(body, sizeof body, "GPRMC,1200%02d.000,%c,52%02d.%04d,N,020%02d.%04d,E,%d.5,45.0,150306,,,A",
                  i, i >= 4 && i <= 6 ? 'V' : 'A', 10 + i, 1000 + 37 * i, 40 + i, 2000 + 53 * i, 20 + i);
    sentences.push_back(i == 8 ? "" : WithChecksum(body));
  }
  return sentences;
}

TEST_F(TrackRecording, WalkFindsEveryPictureAndItsSentence) {
  const std::string path = Write(DriveSentences());
  Recording recording;
  std::string error;
  ASSERT_TRUE(recording.Open(path, error)) << error;
  const TrackWalk walk = CollectTrack(recording);
  EXPECT_EQ(walk.outcome.end, WalkEnd::kEndOfFile);
  EXPECT_EQ(walk.pictures, 12);
  ASSERT_EQ(walk.fixes.size(), 11u);  // picture 9 has no user data
  EXPECT_EQ(walk.fixes[8].picture, 10);
  EXPECT_EQ(walk.fixes[0].utc, "2006-03-15T12:00:00.000Z");
  EXPECT_FALSE(walk.fixes[5].valid());
  EXPECT_LT(walk.fixes[0].position, walk.fixes[1].position);
}

TEST_F(TrackRecording, GpxIsReadBackByIndependentTools) {
  if (std::system("command -v xmllint >/dev/null && command -v gpsbabel >/dev/null") != 0)
    GTEST_SKIP() << "xmllint or gpsbabel missing";
  const std::string path = Write(DriveSentences());
  const std::string gpx = (dir_ / "drive.gpx").string();
  const std::string cli = std::string(ROVENA_BIN_DIR) + "/rovena-cli";
  int status = -1;
  Run(cli + " track " + path + " --format gpx -o " + gpx, &status);
  ASSERT_EQ(status, 0);
  Run("xmllint --noout " + gpx + " 2>&1", &status);
  EXPECT_EQ(status, 0);

  // gpsbabel's universal CSV: No,Latitude,Longitude,Speed (m/s),Course,Date,Time.
  std::istringstream rows(Run("gpsbabel -t -i gpx -f " + gpx + " -o unicsv -F - 2>&1", &status));
  ASSERT_EQ(status, 0);
  std::string line;
  std::getline(rows, line);
  EXPECT_EQ(line.rfind("No,Latitude,Longitude", 0), 0u) << line;
  std::vector<std::string> expected;
  for (int i : {0, 1, 2, 3, 7, 9, 10, 11}) {
    char row[128];
    std::snprintf(row, sizeof row, ",%.6f,%.6f,%.2f,45.0,2006/03/15,12:00:%02d", 52 + (10 + i + (1000 + 37 * i) / 1e4) / 60,
                  20 + (40 + i + (2000 + 53 * i) / 1e4) / 60, (20.5 + i) * 1.852 / 3.6, i);  // as the GPX has it
    expected.push_back(row);
  }
  std::vector<std::string> got;
  while (std::getline(rows, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();  // gpsbabel ends lines with CR LF
    if (!line.empty()) got.push_back(line.substr(line.find(',')));
  }
  EXPECT_EQ(got, expected);

  const std::string csv = Run(cli + " track " + path, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 12);  // header and 11 sentences
}

}  // namespace
}  // namespace rovena
