// A folder of recordings read as one trip: driving order, gaps, files passed over, the quick
// scan against the whole walk, and the trip command's JSON.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tools/demo_drive.h"
#include "core/picture_walker.h"
#include "tools/recording_writer.h"
#include "recording_fixture.h"
#include "scratch_dir.h"
#include "core/trip.h"

namespace rovena {
namespace {

namespace fs = std::filesystem;

// A sentence at `second` of 14 June 2007, moving north a little each second.
std::string Sentence(int second, bool valid = true) {
  char text[128];
  std::snprintf(text, sizeof text, "$GPRMC,%02d%02d%02d.000,%c,52%02d.%04d,N,02100.6054,E,30.0,0.0,140607,,,A",
                second / 3600, second / 60 % 60, second % 60, valid ? 'A' : 'V', second / 600 % 60,
                second * 13 % 10000);
  return text;
}

constexpr int k10h = 10 * 3600;

class TripFolder : public ::testing::Test {
 protected:
  // A 320 x 240 recording of `pictures` pictures, one every `step` seconds from `first`.
  // `invalidAtStart` pictures report no fix; `noFix` leaves out every fix.
  std::string Write(const std::string& name, int first, int pictures, int step = 1, int invalidAtStart = 0,
                    bool noFix = false) {
    static const std::vector<std::uint8_t> slice = EncodeSliceData(MakeTestPattern(320, 240, 0));
    RecordingWriter writer(320, 240);
    for (int i = 0; i < pictures; ++i)
      writer.AddCodedPicture(slice, noFix ? "" : Sentence(first + i * step, i >= invalidAtStart));
    bytes_ = writer.Bytes();
    const std::string path = scratch_.File(name);
    EXPECT_TRUE(writer.WriteFile(path));
    return path;
  }
  void SetModified(const std::string& name, int secondOfDay) {
    const std::int64_t day = 13678;  // 14 June 2007, days since 1970
    const timespec times[2] = {{day * 86400 + secondOfDay, 0}, {day * 86400 + secondOfDay, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, scratch_.File(name).c_str(), times, 0), 0);
  }
  std::vector<std::string> Names(const Trip& trip) const {
    std::vector<std::string> names;
    for (const TripRecording& r : trip.Recordings()) names.push_back(r.name);
    return names;
  }

  test::ScratchDir scratch_{"rovena_trip"};
  std::vector<std::uint8_t> bytes_;
};

TEST_F(TripFolder, OrdersByFirstFixWhateverTheNamesAndFindsTheStop) {
  Write("b.m1v", k10h, 10);
  Write("a.mpg", k10h + 10, 10);   // follows b on without a break
  Write("c.dat", k10h + 300, 10);  // after a stop; the extension does not matter
  Write("d.m1v", k10h + 300, 4);   // same first fix as c: the name decides; overlapping, no gap
  std::ofstream(scratch_.File("notes.txt")) << "not a recording";
  std::ofstream(scratch_.File("short.m1v")) << std::string("\0\0\1\xB3\x14\x00\xF0", 7);
  fs::create_directory(scratch_.File("subfolder"));

  const Trip trip = Trip::Scan(scratch_.Path().string());
  EXPECT_EQ(Names(trip), (std::vector<std::string>{"b.m1v", "a.mpg", "c.dat", "d.m1v"}));
  ASSERT_EQ(trip.Gaps().size(), 1u);
  EXPECT_EQ(trip.Gaps()[0].after, 1u);
  EXPECT_DOUBLE_EQ(*trip.Gaps()[0].seconds, 281);
  ASSERT_EQ(trip.Skipped().size(), 2u);
  EXPECT_EQ(trip.Skipped()[0].name, "notes.txt");
  EXPECT_EQ(trip.Skipped()[1].reason, RecordingCheckText(RecordingCheck::kNoWholePicture));

  const TripRecording& a = trip.Recordings()[1];
  EXPECT_EQ(a.format, kFormatCif);
  EXPECT_EQ(a.pictures, 10);
  EXPECT_EQ(a.firstFix->utc, "2007-06-14T10:00:10.000Z");
  EXPECT_EQ(a.lastFix->utc, "2007-06-14T10:00:19.000Z");
  EXPECT_DOUBLE_EQ(a.medianFixInterval, 1);

  // Moving through it: another spelling of a path finds the same recording.
  EXPECT_EQ(trip.IndexOf((scratch_.Path() / "." / "a.mpg").string()), 1u);
  EXPECT_FALSE(trip.IndexOf(scratch_.File("notes.txt")));
  EXPECT_EQ(trip.Next(1), 2u);
  EXPECT_EQ(trip.Previous(1), 0u);
  EXPECT_FALSE(trip.Next(3));
  EXPECT_FALSE(trip.Previous(0));
  EXPECT_EQ(trip.GapAfter(1), trip.GapBefore(2));
  EXPECT_EQ(trip.GapBefore(1), nullptr);
}

TEST_F(TripFolder, RecordingsWithoutFixGoWhereTheirModificationTimeFalls) {
  Write("morning.m1v", k10h, 5);
  Write("noon.m1v", 12 * 3600, 5);
  for (const char* name : {"x.m1v", "w.m1v", "early.m1v"}) Write(name, 0, 3, 1, 0, true);
  SetModified("x.m1v", 11 * 3600);
  SetModified("w.m1v", 11 * 3600 + 60);
  SetModified("early.m1v", 9 * 3600);

  const Trip trip = Trip::Scan(scratch_.Path().string());
  // x and w fall between the same two fixes: x, modified first, comes first whatever the names.
  EXPECT_EQ(Names(trip), (std::vector<std::string>{"early.m1v", "morning.m1v", "x.m1v", "w.m1v", "noon.m1v"}));
  // Every neighbour of a recording without fix is a gap of unknown length.
  ASSERT_EQ(trip.Gaps().size(), 4u);
  for (const TripGap& gap : trip.Gaps()) EXPECT_FALSE(gap.seconds);
  EXPECT_EQ(std::system((std::string(ROVENA_BIN_DIR) + "/rovena-cli trip " + scratch_.Path().string() +
                         " | grep -q ', gaps 4 of unknown length,'").c_str()), 0);
}

TEST(TripGaps, MoreThanTwiceTheUsualIntervalAndAtLeastThreeSeconds) {
  const auto recording = [](double first, double last, double interval) {
    TripRecording r;
    r.firstFix.emplace();
    r.lastFix.emplace();
    r.firstFix->utcSeconds = first;
    r.lastFix->utcSeconds = last;
    r.medianFixInterval = interval;
    return r;
  };
  struct Case {
    double interval, apart;
    bool gap;
  };
  for (const Case c : {Case{1, 2, false}, Case{1, 2.9, false}, Case{1, 3, true}, Case{2, 4, false},
                       Case{2, 4.5, true}, Case{0, 3, true}, Case{0, 2, false}, Case{10, 20, false}}) {
    EXPECT_EQ(IsGapBetween(recording(0, 100, c.interval), recording(100 + c.apart, 200, 1)), c.gap)
        << c.interval << " " << c.apart;
  }
  TripRecording withoutFix;
  EXPECT_TRUE(IsGapBetween(recording(0, 100, 1), withoutFix));
  EXPECT_TRUE(IsGapBetween(withoutFix, recording(101, 200, 1)));
}

TEST_F(TripFolder, QuickScanFindsTheFixesPastATunnelAndAPowerLoss) {
  // Two pictures apart per fix, starting in a tunnel, the last picture cut short.
  const std::string path = Write("drive.m1v", k10h, 60, 2, 5);
  std::vector<std::uint8_t> cut(bytes_.begin(), bytes_.end() - 200);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_EQ(std::fwrite(cut.data(), 1, cut.size(), f), cut.size());
  std::fclose(f);

  std::string whyNot;
  const auto quick = ScanRecording(path, false, &whyNot);
  const auto whole = ScanRecording(path, true, &whyNot);
  ASSERT_TRUE(quick && whole);
  for (const auto& r : {*quick, *whole}) {
    EXPECT_EQ(r.firstFix->utc, "2007-06-14T10:00:10.000Z");  // the first picture out of the tunnel
    EXPECT_EQ(r.lastFix->utc, "2007-06-14T10:01:56.000Z");   // the last whole picture
    EXPECT_DOUBLE_EQ(r.medianFixInterval, 2);
  }
  EXPECT_FALSE(quick->picturesExact);
  EXPECT_NEAR(quick->pictures, 59, 1);  // pictures of one size: the estimate is close
  EXPECT_FALSE(quick->distanceKm);
  EXPECT_TRUE(whole->picturesExact);
  EXPECT_EQ(whole->pictures, 59);
  EXPECT_GT(*whole->distanceKm, 0);
}

// Read from the end, a picture whose end code is missing swallows the next one as stepping
// forward does, so the quick scan's exact count is the walker's.
TEST_F(TripFolder, QuickCountPassesOverJoinedPicturesAsTheWalkDoes) {
  // Picture 4 of 6 joined to 5 (met by the walk from the end), and picture 3 of 5 joined to
  // 4 (the last picture the walk from the start reads).
  for (const auto& [pictures, joined] : {std::pair(6, 4), std::pair(5, 3)}) {
    const std::string path = Write("joined.m1v", k10h, pictures);
    test::WriteFileAtomically(path, test::WithoutEndCode(bytes_, joined));
    std::string whyNot;
    const auto quick = ScanRecording(path, false, &whyNot);
    ASSERT_TRUE(quick) << whyNot;
    EXPECT_TRUE(quick->picturesExact) << pictures;
    EXPECT_EQ(quick->pictures, pictures - 1);
    EXPECT_EQ(quick->pictures, ScanRecording(path, true, &whyNot)->pictures);
  }
}

TEST_F(TripFolder, DemoDriveIsATripWithOneStop) {
  ASSERT_EQ(WriteDemoDrive(scratch_.File("demo.m1v"), scratch_.File("trip"), 3, IfExists::Refuse), "");  // one picture each
  const Trip trip = Trip::Scan(scratch_.File("trip"));
  EXPECT_EQ(Names(trip), (std::vector<std::string>{"140500.m1v", "140501.m1v", "140902.m1v"}));
  ASSERT_EQ(trip.Gaps().size(), 1u);
  EXPECT_EQ(trip.Gaps()[0].after, 1u);
  EXPECT_DOUBLE_EQ(*trip.Gaps()[0].seconds, kDemoStopSeconds + 1);
  EXPECT_TRUE(trip.Skipped().empty());
}

TEST_F(TripFolder, TripCommandWritesTheDocumentedJson) {
  Write("140500.m1v", k10h, 4);
  Write("141000.m1v", k10h + 300, 4);
  std::ofstream(scratch_.File("map.gif")) << "GIF89a";
  const test::ScratchDir out("rovena_trip_json");
  const std::string json = out.File("trip.json");
  const std::string command = std::string(ROVENA_BIN_DIR) + "/rovena-cli trip '" + scratch_.Path().string() +
                              "' --format json > '" + json + "' && python3 -c '\n"
                              "import json, sys\n"
                              "t = json.load(open(sys.argv[1]))\n"
                              "assert [r[\"name\"] for r in t[\"recordings\"]] == [\"140500.m1v\", \"141000.m1v\"]\n"
                              "assert list(t[\"recordings\"][0]) == [\"name\", \"path\", \"format\", \"pictures\", \"first_fix\", \"last_fix\"]\n"
                              "assert t[\"recordings\"][1][\"first_fix\"] == \"2007-06-14T10:05:00.000Z\"\n"
                              "assert t[\"gaps\"] == [{\"after\": \"140500.m1v\", \"before\": \"141000.m1v\", \"seconds\": 297}]\n"
                              "assert t[\"skipped\"] == [{\"name\": \"map.gif\", \"reason\": \"not a recording (it does not begin with an MPEG-1 sequence header)\"}]\n"
                              "s = t[\"summary\"]\n"
                              "assert (s[\"recordings\"], s[\"pictures\"], s[\"pictures_exact\"], s[\"seconds\"]) == (2, 8, True, 6)\n"
                              "' '" + json + "'";
  EXPECT_EQ(std::system(command.c_str()), 0);
}

// Output of a shell command, and its exit status in *status.
std::string RunShell(const std::string& command, int* status) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  const int raw = pclose(pipe);
  *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

TEST_F(TripFolder, TrackOfAFolderStartsASegmentAtEachGapAndNamesTheRecordings) {
  Write("b.m1v", k10h + 4, 4);
  Write("a.m1v", k10h, 4);
  Write("c.m1v", k10h + 300, 4);
  const test::ScratchDir out("rovena_trip_track");
  const std::string cli = std::string(ROVENA_BIN_DIR) + "/rovena-cli track '" + scratch_.Path().string() + "'";
  int status = -1;
  RunShell(cli + " --format gpx -o '" + out.File("trip.gpx") + "'", &status);
  ASSERT_EQ(status, 0);
  std::ifstream in(out.File("trip.gpx"));
  const std::string gpx{std::istreambuf_iterator<char>(in), {}};
  std::size_t segments = 0;
  for (std::size_t at = 0; (at = gpx.find("<trkseg>", at)) != std::string::npos; ++at) ++segments;
  EXPECT_EQ(segments, 2u);
  if (std::system("command -v gpsbabel >/dev/null") == 0) {
    // An independent reader sees the two segments as two tracks of 8 and 4 points.
    const std::string tracks = RunShell("gpsbabel -i gpx -f '" + out.File("trip.gpx") +
                                   "' -x track,seg2trk -o gpx -F - | grep -c '<trk>'", &status);
    EXPECT_EQ(tracks, "2\n");
  }

  const std::string csv = RunShell(cli, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(csv.substr(0, csv.find('\n')), "recording,picture,position,time_utc,latitude,longitude,speed_kmh,course,status");
  std::string names;
  for (std::size_t line = csv.find('\n'); line + 1 < csv.size(); line = csv.find('\n', line + 1))
    names += csv[line + 1];
  EXPECT_EQ(names, "aaaabbbbcccc");
  EXPECT_EQ(RunShell(cli + " --jobs 3", &status), csv);  // workers finish in any order; the track does not

  // The recordings are closed before the output is written: naming one as the output is refused.
  const std::vector<std::uint8_t> before = bytes_;
  RunShell(cli + " -o '" + scratch_.File("c.m1v") + "' 2>&1", &status);
  EXPECT_EQ(status, 1);
  std::ifstream kept(scratch_.File("c.m1v"), std::ios::binary);
  EXPECT_EQ(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(kept), {}), before);
}

// Two cameras of one drive, or a copy: a recording that begins before the latest fix so far
// overlaps. It is reported, never joined, and its seconds and kilometres count once.
TEST_F(TripFolder, OverlappingRecordingsAreReportedAndCountedOnce) {
  Write("front.m1v", k10h, 60);       // 10:00:00 .. 10:00:59
  Write("rear.m1v", k10h + 10, 20);   // within front
  Write("later.m1v", k10h + 50, 30);  // over front's last 9 seconds, to 10:01:19
  Write("after.m1v", k10h + 300, 5);  // after a stop
  const Trip trip = Trip::Scan(scratch_.Path().string(), {true, {}});
  ASSERT_EQ(trip.Overlaps().size(), 2u);
  EXPECT_EQ(trip.OverlapAfter(0)->seconds, 19);
  EXPECT_EQ(trip.OverlapAfter(1)->earlier, 0u);  // the recording that reaches furthest, not its neighbour
  EXPECT_EQ(trip.OverlapAfter(1)->seconds, 9);
  EXPECT_EQ(*trip.GapAfter(2)->seconds, 221);
  EXPECT_FALSE(trip.FollowsOn(1) || trip.FollowsOn(2));
  const TripTotals totals = trip.Totals();
  EXPECT_EQ(totals.seconds, 79 + 4);
  const auto& r = trip.Recordings();
  EXPECT_NEAR(*totals.distanceKm, *r[0].distanceKm + *r[2].distanceKm * 20 / 29 + *r[3].distanceKm, 1e-9);
  int status = -1;
  const std::string text = RunShell(std::string(ROVENA_BIN_DIR) + "/rovena-cli trip '" + scratch_.Path().string() + "'", &status);
  EXPECT_NE(text.find("\n      overlap 00:00:09 with front.m1v\n"), std::string::npos) << text;
  EXPECT_NE(text.find("time 00:01:23, gaps 00:03:41, overlaps 00:00:28,"), std::string::npos) << text;
}

// A recorder's clock that steps back: the length spans the earliest to the latest fix.
TEST_F(TripFolder, AClockSteppingBackGivesNoNegativeLength) {
  RecordingWriter writer(320, 240);
  for (const int second : {100, 101, 102, 60, 61}) writer.AddCodedPicture({1, 2, 3}, Sentence(k10h + second));
  ASSERT_TRUE(writer.WriteFile(scratch_.File("back.m1v")));
  for (const bool whole : {false, true}) EXPECT_EQ(Trip::Scan(scratch_.Path().string(), {whole, {}}).Totals().seconds, 42);
}

}  // namespace
}  // namespace rovena
