// rovena-cli events and export --event on recorded drives: every event put into a drive is
// found at its pictures with one fix a second; with one fix every ten seconds braking and
// turning are reported as not assessable, neither missed nor invented. The JSON is read back
// by python3's own parser.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/text_encoding.h"
#include "hostile_names.h"
#include "scratch_dir.h"
#include "scripted_drive.h"

namespace rovena {
namespace {

// Seconds 20-25 braking from 60 km/h to a stop, standing until 60, gathering speed to 60 by
// 65, a right turn of 20° a second over 90-94, no fix over 120-129, 150 seconds in all.
test::DriveSecond Incident(int t) {
  test::DriveSecond s{60, 90};
  if (t >= 20 && t <= 25) s.speedKmh = 60 - 12 * (t - 20);
  if (t > 25 && t <= 60) s.speedKmh = 0;
  if (t > 60 && t < 65) s.speedKmh = 12 * (t - 60);
  if (t >= 90) s.course = 90 + 20 * std::min(t - 89, 5);
  s.valid = t < 120 || t > 129;
  return s;
}

class EventsCommand : public ::testing::Test {
 protected:
  std::string Drive(const std::string& name, int spacing) {
    const std::string path = dir_.File(name);
    EXPECT_TRUE(test::WriteScriptedDrive(path, 150, spacing, Incident));
    return path;
  }
  test::ProgramRun Cli(std::vector<std::string> arguments) { return test::RunCli(std::move(arguments), Dir()); }
  // "number kind first-last value" per event, as python3 reads the JSON.
  std::string Listed(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "events");
    arguments.insert(arguments.end(), {"--format", "json"});
    const test::ProgramRun run = Cli(arguments);
    EXPECT_EQ(run.status, 0) << run.err;
    return test::Python("import json, sys\nfor e in json.load(open(sys.argv[1])): print(e['number'], e['kind'], "
                        "'%d-%d' % (e['first_picture'], e['last_picture']), e['value'], e['unit'])",
                        run.out, Dir());
  }
  std::string Dir() const { return dir_.Path().string(); }
  test::ScratchDir dir_{"rovena_events"};
};

TEST_F(EventsCommand, FindsEveryEventOfADriveAtItsPictures) {
  const std::string drive = Drive("incident.m1v", 1);
  EXPECT_EQ(Listed({drive}), "1 hard_braking 21-26 3.3 m/s²\n"
                           "2 stop 26-61 35.0 s\n"
                           "3 hard_acceleration 61-66 3.3 m/s²\n"
                           "4 sharp_turn 90-95 5.8 m/s²\n"
                           "5 gps_lost 121-130 11.0 s\n");
  // Over 55 km/h the car speeds wherever it cruises, through the lost fixes too.
  EXPECT_EQ(Listed({drive, "--limit", "55"}), "1 speeding 1-21 60.0 km/h\n"
                                           "2 hard_braking 21-26 3.3 m/s²\n"
                                           "3 stop 26-61 35.0 s\n"
                                           "4 hard_acceleration 61-66 3.3 m/s²\n"
                                           "5 speeding 66-150 60.0 km/h\n"
                                           "6 sharp_turn 90-95 5.8 m/s²\n"
                                           "7 gps_lost 121-130 11.0 s\n");
  const test::ProgramRun text = Cli({"events", drive});
  EXPECT_NE(text.out.find("#4  sharp_turn  2006-03-01T00:01:29Z  " + drive + " pictures 90-95  5.8 m/s²  at 52.2"),
            std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("\n  Rovena --at " + drive + ":90\n"), std::string::npos);
}

TEST_F(EventsCommand, SparseFixesLeaveBrakingAndTurnsNotAssessable) {
  // Pictures at 0, 10, 20 s ...: the braking (20-25 s) and the turn (90-94 s) fall inside
  // not_assessable stretches; the stop and the lost fix are still found.
  EXPECT_EQ(Listed({Drive("sparse.m1v", 10)}), "1 not_assessable 1-4 30.0 s\n"
                                             "2 stop 4-7 30.0 s\n"
                                             "3 not_assessable 7-12 50.0 s\n"
                                             "4 gps_lost 13-13 20.0 s\n"
                                             "5 not_assessable 14-15 10.0 s\n");
}

TEST_F(EventsCommand, ExportsTheStretchAroundAnEvent) {
  const std::string drive = Drive("incident.m1v", 1), none = dir_.File("none.mp4");
  const test::ProgramRun exported =
      Cli({"export", drive, "--event", "1", "--before", "3", "--after", "2", "-o", dir_.File("braking.mp4")});
  ASSERT_EQ(exported.status, 0) << exported.err;
  std::ifstream record(dir_.File("braking.json"));
  const std::string json{std::istreambuf_iterator<char>(record), {}};
  EXPECT_NE(json.find("\"pictures\": \"" + drive + ":18-28\""), std::string::npos) << json;
  EXPECT_EQ(Cli({"export", drive, "--event", "6", "-o", none}).status, 1);
  EXPECT_EQ(Cli({"export", drive, "--event", "1", "--from", "1", "-o", none}).status, 2);
  EXPECT_EQ(Cli({"export", drive, "--from", "1", "--to", "2", "--before", "3", "-o", none}).status, 2);
}

// Names reach the listing, the JSON and the Rovena --at words as every text writes them.
TEST_F(EventsCommand, NamesInAnyBytesAreShownSafelyAndOpenTheirFile) {
  for (const std::string& name : test::kHostileNames) {
    const std::string drive = Drive(name, 1);
    const test::ProgramRun text = Cli({"events", drive});
    EXPECT_TRUE(test::SafeForTerminal(text.out, Dir())) << text.out;
    const std::size_t at = text.out.find("Rovena --at ") + 12;
    EXPECT_EQ(test::RunProgram({"/bin/bash", "-c", "printf %s " + text.out.substr(at, text.out.find('\n', at) - at)}, Dir()).out,
              drive + ":21");
    const std::string json = Cli({"events", drive, "--format", "json"}).out;
    EXPECT_EQ(test::Python("import json, sys\nprint(json.load(open(sys.argv[1]))[0]['recording'])", json, Dir()),
              NameText(drive) + "\n");
  }
}

TEST_F(EventsCommand, RefusesWhatItCannotUnderstandOrRead) {
  const std::string drive = Drive("incident.m1v", 1);
  for (const std::vector<std::string>& wrong : std::vector<std::vector<std::string>>{
           {"events", drive, "--limit", "fast"}, {"events", drive, "--limit", "0"},
           {"events", drive, "--format", "xml"}, {"events"}})
    EXPECT_EQ(Cli(wrong).status, 2) << wrong.back();
  std::ofstream(dir_.File("notes.txt")) << "not a recording";
  EXPECT_EQ(Cli({"events", dir_.File("notes.txt")}).status, 1);
  EXPECT_EQ(Cli({"events", dir_.File("missing.m1v")}).status, 1);
}

}  // namespace
}  // namespace rovena
