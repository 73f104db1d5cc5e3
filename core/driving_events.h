// Driving events found in the GPS fixes of consecutive pictures: hard braking and
// acceleration, sharp turns, speeding, stops and lost fixes; and, just as important, the
// stretches where the fixes lie too far apart to judge braking and turning at all.
//
// The rules see a drive as recordings in driving order, each a plain sequence of fixes, with
// the breaks where the recorder was off. They read nothing and keep no state, so the command
// line, the archive and the route window get the same events from the same fixes.
//
// Every stretch of the drive between two fixes more than EventThresholds::longestJudged
// apart lies inside a reported stop, a reported loss of fixes, or a not_assessable stretch:
// no part of a drive is passed over without saying so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

namespace rovena {

struct GpsFix;
struct Route;

enum class EventKind { kHardBraking, kHardAcceleration, kSharpTurn, kSpeeding, kStop, kGpsLost, kNotAssessable };
constexpr EventKind kAllEventKinds[] = {EventKind::kHardBraking, EventKind::kHardAcceleration,
                                        EventKind::kSharpTurn,   EventKind::kSpeeding,
                                        EventKind::kStop,        EventKind::kGpsLost,
                                        EventKind::kNotAssessable};

// "hard_braking", "hard_acceleration", "sharp_turn", "speeding", "stop", "gps_lost",
// "not_assessable": the names the command line and the archive use.
std::string_view EventKindName(EventKind kind);
std::optional<EventKind> EventKindFromName(std::string_view name);
// The unit of DrivingEvent::value: "m/s²" (braking, acceleration, turns), "km/h" (speeding)
// or "s" (stops, lost fixes, not_assessable stretches).
std::string_view EventUnit(EventKind kind);

// Every threshold of the rules, in one place. The defaults and where they come from:
struct EventThresholds {
  // 3 m/s² is about 0.3 g, the figure fleet telematics commonly uses for harsh braking and
  // harsh acceleration of passenger cars (products differ between roughly 0.25 and 0.45 g).
  // Ordinary braking stays below 2 m/s²; an emergency stop on dry asphalt reaches 7 to 9.
  double longitudinalMps2 = 3.0;
  // The same 0.3 g sideways: ordinary bends at their design speed stay below about 2 m/s².
  double lateralMps2 = 3.0;
  // A change must hold over this many consecutive fix intervals: one GPS speed or course
  // that jumps is a measurement glitch far more often than a manoeuvre.
  int sustainedIntervals = 2;
  // Fixes further apart than this cannot show a braking or a turn: a hard stop from town
  // speed takes 4 to 5 s, so with fixes 2 s apart it still spans two intervals.
  double longestJudgedSeconds = 2.0;
  // Below this speed the course a receiver reports wanders (the heading comes from the
  // movement itself), so turns are judged only between fixes at least this fast. A judgement
  // of ours, not a published figure.
  double courseTrustedKmh = 10.0;
  // Speeding: above the user's limit for at least this long (none without a limit).
  std::optional<double> speedLimitKmh;
  double speedingSeconds = 3.0;
  // A stop: below walking pace (receivers rarely report exactly 0 when standing) for at
  // least half a minute, long enough to exclude waiting in slow traffic.
  double stopBelowKmh = 3.0;
  double stopSeconds = 30.0;
  // Lost fixes: pictures without a valid fix for at least this long (shorter drop-outs are
  // common under bridges and trees and lose little).
  double lostSeconds = 5.0;
};

// One picture's fix as the rules need it. A fix is used when it is valid and has a time, a
// position and a speed; pictures without such a fix count as lost.
struct DriveFix {
  std::int64_t picture = 0;                     // 1-based within its recording
  std::optional<double> time;                   // UTC seconds since 1970
  std::optional<double> latitude, longitude;    // signed degrees
  std::optional<double> speedKmh, course;       // course in degrees true
  bool valid = false;
};
DriveFix ToDriveFix(const GpsFix& fix);

struct DriveRecording {
  std::span<const DriveFix> fixes;  // in picture order
  std::int64_t pictures = 0;        // pictures in the recording, with a fix or without
  bool afterBreak = false;          // the recorder was off before it (a gap in the trip)
};

struct DrivingEvent {
  EventKind kind = EventKind::kStop;
  // Where it begins and ends: recordings are indices into the drive, pictures are 1-based
  // within them. Stops across a gap, and lost fixes, may end in a later recording.
  std::size_t recording = 0, lastRecording = 0;
  std::int64_t firstPicture = 0, lastPicture = 0;
  std::optional<double> time, lastTime;      // UTC seconds at its first and last fix
  std::optional<double> latitude, longitude; // where it begins (lost fixes: the last known place)
  // The strongest braking, acceleration or sideways acceleration (m/s², positive), the top
  // speed (km/h) or the length (s); unknown only for lost fixes that no time bounds.
  std::optional<double> value;
};

// The events of a drive, in driving order (by where they begin; at the same picture in the
// order of kAllEventKinds).
std::vector<DrivingEvent> FindDrivingEvents(std::span<const DriveRecording> drive,
                                            const EventThresholds& thresholds = {});

// A picture of a drive: recording index and 1-based picture within it.
struct DrivePicture {
  std::size_t recording = 0;
  std::int64_t picture = 0;
  bool operator==(const DrivePicture&) const = default;
};

// The stretch to show around `event`: from the earliest picture whose fix lies at most
// `before` seconds ahead of the event's first fix, to the latest whose fix lies at most
// `after` seconds past its last; never across a break (what lies beyond was another drive).
std::pair<DrivePicture, DrivePicture> StretchAround(std::span<const DriveRecording> drive, const DrivingEvent& event,
                                                    double before, double after);

// The events of a route as the route window gathers it (each recording ends at its last
// picture with a sentence).
std::vector<DrivingEvent> FindRouteEvents(const Route& route, const EventThresholds& thresholds = {});

}  // namespace rovena
