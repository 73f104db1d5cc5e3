// The driving-event rules on crafted fix sequences: one table per kind, the spacing rule, and
// the promise that no stretch too sparse to judge goes unreported.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/driving_events.h"
#include "core/gps_track.h"
#include "tools/demo_drive.h"

namespace rovena {
namespace {

// One fix: speed, course and whether the receiver had a fix; `sentence` false leaves the
// picture without any GPS data.
struct Step {
  double speedKmh = 50;
  double course = 90;
  bool valid = true;
  bool sentence = true;
};

// A recording of one picture per step, `spacing` seconds apart; the car moves along its
// course at its speed, so positions agree with speeds.
std::vector<DriveFix> Fixes(const std::vector<Step>& steps, double spacing = 1, double start = 1.2e9) {
  std::vector<DriveFix> fixes;
  double lat = 52.2, lon = 21.0;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const Step& s = steps[i];
    const double metres = s.speedKmh / 3.6 * spacing, heading = s.course * 3.14159265358979 / 180;
    lat += metres * std::cos(heading) / 111195;
    lon += metres * std::sin(heading) / 68200;
    if (!s.sentence) continue;
    fixes.push_back({static_cast<std::int64_t>(i + 1), start + spacing * i, lat, lon, s.speedKmh, s.course, s.valid});
  }
  return fixes;
}

std::vector<Step> Speeds(std::initializer_list<double> kmh) {
  std::vector<Step> steps;
  for (double v : kmh) steps.push_back({v});
  return steps;
}

std::vector<Step> Courses(double kmh, std::initializer_list<double> degrees) {
  std::vector<Step> steps;
  for (double c : degrees) steps.push_back({kmh, c});
  return steps;
}

// "kind first-last" for each event, in order; pictures of later recordings as R:P.
std::string Describe(const std::vector<DrivingEvent>& events) {
  std::string out;
  for (const DrivingEvent& e : events) {
    out += (out.empty() ? "" : "; ") + std::string(EventKindName(e.kind)) + " ";
    out += (e.recording ? std::to_string(e.recording) + ":" : "") + std::to_string(e.firstPicture) + "-";
    out += (e.lastRecording ? std::to_string(e.lastRecording) + ":" : "") + std::to_string(e.lastPicture);
  }
  return out;
}

std::vector<DrivingEvent> Events(const std::vector<DriveFix>& fixes, const EventThresholds& t = {}) {
  const DriveRecording recording{fixes, fixes.empty() ? 0 : fixes.back().picture, false};
  return FindDrivingEvents({&recording, 1}, t);
}

struct Case {
  const char* what;
  std::vector<Step> steps;
  double spacing;
  std::string expected;
};

void Check(const std::vector<Case>& cases, const EventThresholds& t = {}) {
  for (const Case& c : cases) EXPECT_EQ(Describe(Events(Fixes(c.steps, c.spacing), t)), c.expected) << c.what;
}

TEST(DrivingEvents, BrakingAndAccelerationMustHoldOverTwoCloseIntervals) {
  Check({
      {"3.33 m/s² over three intervals", Speeds({72, 72, 60, 48, 36, 36}), 1, "hard_braking 2-5"},
      {"3.1 m/s² counts", Speeds({72, 60.84, 49.68, 49.68}), 1, "hard_braking 1-3"},
      {"2.9 m/s² does not", Speeds({72, 61.56, 51.12, 51.12}), 1, ""},
      {"one interval is a glitch", Speeds({72, 50, 72, 72}), 1, ""},
      {"two strong intervals split by a weak one", Speeds({72, 60, 58, 46, 46}), 1, ""},
      {"fixes 2 s apart still show it", Speeds({90, 66, 42, 42}), 2, "hard_braking 1-3"},
      {"gathering speed", Speeds({0, 12, 24, 36, 40}), 1, "hard_acceleration 1-4"},
      {"braking, then at once accelerating", Speeds({80, 66, 52, 64, 76}), 1, "hard_braking 1-3; hard_acceleration 3-5"},
  });
}

TEST(DrivingEvents, SharpTurnsAreSpeedTimesTurnRateTheShortWayRound) {
  Check({
      // 13.9 m/s turning 20° a second: 4.8 m/s² to the right, across north.
      {"across 0/360", Courses(50, {330, 350, 10, 30, 30}), 1, "sharp_turn 1-4"},
      {"to the left across north", Courses(50, {30, 10, 350, 330}), 1, "sharp_turn 1-4"},
      {"a gentle bend", Courses(50, {80, 88, 96, 104}), 1, ""},
      {"one jump of the course", Courses(50, {90, 130, 130, 130}), 1, ""},
      {"left then right is no sustained turn", Courses(50, {90, 110, 90, 110, 90}), 1, ""},
      {"course wanders while standing", Courses(2, {0, 170, 350, 160, 10}), 1, ""},
      {"slow but trusted speed turning tightly", Courses(12, {0, 60, 120, 180}), 1, "sharp_turn 1-4"},
  });
}

TEST(DrivingEvents, SpeedingNeedsALimitAndThreeSeconds) {
  EventThresholds limit;
  limit.speedLimitKmh = 90;
  Check({{"four fixes over 90 are 3 s", Speeds({80, 95, 96, 97, 95, 80}), 1, "speeding 2-5"},
         {"three fixes are only 2 s", Speeds({80, 95, 96, 97, 80}), 1, ""},
         {"at the limit is not over it", Speeds({90, 90, 90, 90, 90}), 1, ""},
         {"sparse fixes over the limit", Speeds({95, 95, 95}), 10, "speeding 1-3; not_assessable 1-3"}},
        limit);
  EXPECT_EQ(Describe(Events(Fixes(Speeds({95, 95, 95, 95, 95})))), "");
  const auto top = Events(Fixes(Speeds({95, 120, 99, 97})), limit);
  ASSERT_EQ(top.size(), 1u);
  EXPECT_EQ(*top[0].value, 120);
}

TEST(DrivingEvents, StopsLastHalfAMinuteBelowWalkingPace) {
  std::vector<Step> standing = Speeds({30});
  for (int i = 0; i < 31; ++i) standing.push_back({1});
  standing.push_back({30});
  std::vector<Step> waiting(standing.begin(), standing.end() - 2);
  waiting.push_back({30});
  Check({{"30 s standing", standing, 1, "stop 2-32"},
         {"29 s waiting", waiting, 1, ""},
         {"standing with sparse fixes", Speeds({40, 0, 0, 0, 0, 40}), 10,
          "not_assessable 1-2; stop 2-5; not_assessable 5-6"}});
}

TEST(DrivingEvents, LostFixesAreMeasuredBetweenTheFixesAroundThem) {
  std::vector<Step> tunnel = Speeds({50, 50});
  for (int i = 0; i < 4; ++i) tunnel.push_back({50, 90, false});
  tunnel.push_back({50});
  std::vector<Step> unplugged = Speeds({50, 50});
  for (int i = 0; i < 3; ++i) unplugged.push_back({50, 90, true, false});
  unplugged.push_back({50});
  Check({{"four invalid fixes: 5 s without a fix", tunnel, 1, "gps_lost 3-6"},
         {"three pictures without data: 4 s, too short but not judged", unplugged, 1, "not_assessable 2-6"},
         {"one picture without data", {{50}, {50}, {50, 90, true, false}, {50}, {50}}, 1, ""}});

  // At a recording's start only the invalid sentences' own times tell the length.
  std::vector<Step> late(5, {50, 90, false});
  late.push_back({50});
  std::vector<Step> early(late.begin() + 1, late.end());
  Check({{"invalid from 0 s, a fix at 5 s", late, 1, "gps_lost 1-5"}, {"a fix after 4 s", early, 1, ""}});

  // A recording without any fix is lost as a whole, even when nothing tells for how long.
  const std::vector<DriveFix> none = Fixes({{50, 90, true, false}, {50, 90, true, false}});
  const DriveRecording blind{none, 2, false};
  const auto lost = FindDrivingEvents({&blind, 1});
  EXPECT_EQ(Describe(lost), "gps_lost 1-2");
  EXPECT_FALSE(lost[0].value);
}

// A trip: the gap before a recording counts as standing when the car did not move across it.
TEST(DrivingEvents, AGapBetweenRecordingsIsAStopOnlyWhereTheCarStood) {
  const std::vector<DriveFix> before = Fixes(Speeds({60, 60, 60}), 1, 1000);
  std::vector<DriveFix> parked = Fixes(Speeds({60, 60}), 1, 1242), moved = parked;
  for (DriveFix& f : parked) *f.latitude = *before.back().latitude, *f.longitude = *before.back().longitude;
  for (DriveFix& f : moved) *f.latitude += 0.05;  // 5.5 km away
  const DriveRecording parkedTrip[] = {{before, 3, false}, {parked, 2, true}};
  const auto stop = FindDrivingEvents(parkedTrip);
  EXPECT_EQ(Describe(stop), "stop 3-1:1");
  EXPECT_EQ(*stop[0].value, 240);
  const DriveRecording movedTrip[] = {{before, 3, false}, {moved, 2, true}};
  EXPECT_EQ(Describe(FindDrivingEvents(movedTrip)), "not_assessable 3-1:1");
  // Without a break the recordings simply follow on, and braking may span the two.
  const std::vector<DriveFix> braking = Fixes(Speeds({45, 33, 21}), 1, 1003);
  const DriveRecording onward[] = {{before, 3, false}, {braking, 3, false}};
  EXPECT_EQ(Describe(FindDrivingEvents(onward)), "hard_braking 3-1:3");
}

// The stretch around an event runs on into recordings that follow on, but not across a break.
TEST(DrivingEvents, TheStretchAroundAnEventStopsAtABreak) {
  const std::vector<DriveFix> a = Fixes(Speeds({60, 60, 60}), 1, 1000), b = Fixes(Speeds({45, 33, 21, 21}), 1, 1003),
                              c = Fixes(Speeds({20, 20}), 1, 1010);
  const DriveRecording trip[] = {{a, 3, false}, {b, 4, false}, {c, 2, true}};
  const auto events = FindDrivingEvents(trip);
  ASSERT_EQ(Describe(events), "hard_braking 3-1:3; not_assessable 1:4-2:1");
  const auto [from, to] = StretchAround(trip, events[0], 1.5, 60);
  EXPECT_EQ(from, (DrivePicture{0, 2}));
  EXPECT_EQ(to, (DrivePicture{1, 4}));
  const auto [same, alsoSame] = StretchAround(trip, events[0], 0, 0);
  EXPECT_EQ(same, (DrivePicture{0, 3}));
  EXPECT_EQ(alsoSame, (DrivePicture{1, 3}));
}

// At 10 s spacing nothing about braking or turning can be said: no such event is invented,
// and the whole drive is reported as not assessable instead of passed over.
TEST(DrivingEvents, SparseFixesAreNotAssessableNeverMissedOrInvented) {
  std::vector<Step> drive;
  for (double v : {50, 90, 20, 80, 10, 70}) drive.push_back({v, drive.size() * 60.0});
  const auto events = Events(Fixes(drive, 10));
  EXPECT_EQ(Describe(events), "not_assessable 1-6");
  EXPECT_EQ(*events[0].value, 50);
  Check({{"2.5 s apart", Speeds({90, 60, 30, 30}), 2.5, "not_assessable 1-4"}});
}

// The demo trip: a tunnel of 20 invalid fixes, one picture without data, a four-minute stop
// between its second and third recordings, bends taken at speed.
TEST(DrivingEvents, DemoTripHasItsTunnelAndItsStopAndNothingElse) {
  std::vector<std::vector<DriveFix>> fixes;
  std::vector<DriveRecording> drive;
  const auto parts = DemoTripParts(360);
  for (const DemoTripPart& part : parts) {
    auto& own = fixes.emplace_back();
    for (int i = 0; i < part.pictures; ++i)
      if (auto fix = ParseGprmc(DemoSentence(part.firstPicture + i, part.stopSeconds))) {
        fix->picture = i + 1;
        own.push_back(ToDriveFix(*fix));
      }
  }
  for (std::size_t k = 0; k < parts.size(); ++k) drive.push_back({fixes[k], parts[k].pictures, parts[k].stopSeconds > 0});
  const auto events = FindDrivingEvents(drive);
  EXPECT_EQ(Describe(events), "gps_lost 91-110; stop 1:120-2:1");
  EXPECT_EQ(*events[0].value, 21);
  EXPECT_EQ(*events[1].value, kDemoStopSeconds + 1);
}

TEST(DrivingEvents, KindsHaveTheirNamesAndUnits) {
  for (EventKind kind : kAllEventKinds) EXPECT_EQ(EventKindFromName(EventKindName(kind)), kind);
  EXPECT_FALSE(EventKindFromName("braking"));
  EXPECT_EQ(EventUnit(EventKind::kSharpTurn), "m/s²");
  EXPECT_EQ(EventUnit(EventKind::kSpeeding), "km/h");
  EXPECT_EQ(EventUnit(EventKind::kStop), "s");
}

}  // namespace
}  // namespace rovena
