#include "core/driving_events.h"

#include <algorithm>
#include <cmath>
#include <compare>
#include <tuple>
#include <utility>

#include "core/gps_track.h"
#include "core/route.h"

namespace rovena {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kKmhPerMps = 3.6;

constexpr std::string_view kNames[] = {"hard_braking", "hard_acceleration", "sharp_turn", "speeding",
                                       "stop",         "gps_lost",          "not_assessable"};
static_assert(std::size(kNames) == std::size(kAllEventKinds));

bool Used(const DriveFix& f) { return f.valid && f.time && f.latitude && f.longitude && f.speedKmh; }

// A used fix: repeats of the same fix on later pictures are folded into the first.
struct Sample {
  std::size_t recording;
  std::int64_t picture;
  double time, latitude, longitude, speedKmh;
  std::optional<double> course;
};

struct PictureRef {
  std::size_t recording = 0;
  std::int64_t picture = 0;
  auto operator<=>(const PictureRef&) const = default;
};

double MetresBetween(const Sample& a, const Sample& b) {
  return DistanceMetres(a.latitude, a.longitude, b.latitude, b.longitude);
}

// The turn from one course to the next the short way round, in radians (-pi..pi]: 350° to
// 10° is a turn of 20° to the right, not 340° to the left.
double TurnRadians(double fromDegrees, double toDegrees) {
  double turn = std::fmod(toDegrees - fromDegrees, 360.0);
  if (turn > 180) turn -= 360;
  if (turn <= -180) turn += 360;
  return turn * kPi / 180;
}

// Pictures without a used fix, from where the fixes stopped until they came back.
struct PendingLoss {
  PictureRef first, last;
  std::optional<std::size_t> sampleBefore;
  std::optional<double> startTime;  // the fix before it, else its first sentence with a time
  std::optional<double> lastSentenceTime;
};

class EventFinder {
 public:
  EventFinder(std::span<const DriveRecording> drive, const EventThresholds& t) : t_(t) {
    Collect(drive);
    covered_.assign(samples_.size(), false);
    for (std::size_t interval : lossIntervals_) covered_[interval] = true;
  }

  std::vector<DrivingEvent> Find() {
    const double a = t_.longitudinalMps2, lateral = t_.lateralMps2;
    Sustained(EventKind::kHardBraking, [&](std::size_t i) { return Judged(i) ? -Acceleration(i) : 0.0; }, a);
    Sustained(EventKind::kHardAcceleration, [&](std::size_t i) { return Judged(i) ? Acceleration(i) : 0.0; }, a);
    Sustained(EventKind::kSharpTurn, [&](std::size_t i) { return Lateral(i); }, lateral);
    Sustained(EventKind::kSharpTurn, [&](std::size_t i) { return -Lateral(i); }, lateral);
    if (t_.speedLimitKmh) Speeding(*t_.speedLimitKmh);
    Stops();
    NotAssessable();
    std::stable_sort(events_.begin(), events_.end(), [](const DrivingEvent& x, const DrivingEvent& y) {
      return std::tie(x.recording, x.firstPicture, x.kind) < std::tie(y.recording, y.firstPicture, y.kind);
    });
    return std::move(events_);
  }

 private:
  // --- Reading the drive: used fixes become samples, pictures without one become losses.

  void Collect(std::span<const DriveRecording> drive) {
    for (std::size_t r = 0; r < drive.size(); ++r) {
      const DriveRecording& recording = drive[r];
      if (recording.afterBreak) {
        CloseLoss(nullptr);
        segmentStart_ = samples_.size();
      }
      breaksSoFar_.push_back((breaksSoFar_.empty() ? 0 : breaksSoFar_.back()) + (recording.afterBreak ? 1 : 0));
      std::int64_t covered = 0;  // the last picture with a used fix
      for (const DriveFix& fix : recording.fixes) {
        if (!Used(fix)) {
          ExtendLoss({r, covered + 1}, {r, fix.picture}, fix.time);
          continue;
        }
        if (fix.picture > covered + 1) ExtendLoss({r, covered + 1}, {r, fix.picture - 1}, std::nullopt);
        covered = fix.picture;
        const bool repeat = samples_.size() > segmentStart_ && samples_.back().time == *fix.time;
        CloseLoss(&fix);
        if (!repeat)
          samples_.push_back({r, fix.picture, *fix.time, *fix.latitude, *fix.longitude, *fix.speedKmh, fix.course});
      }
      if (recording.pictures > covered) ExtendLoss({r, covered + 1}, {r, recording.pictures}, std::nullopt);
    }
    CloseLoss(nullptr);
  }

  std::optional<std::size_t> LastSampleOfSegment() const {
    if (samples_.size() > segmentStart_) return samples_.size() - 1;
    return std::nullopt;
  }

  void ExtendLoss(PictureRef from, PictureRef to, std::optional<double> sentenceTime) {
    if (!loss_) {
      loss_ = PendingLoss{from, to, LastSampleOfSegment(), std::nullopt, std::nullopt};
      if (loss_->sampleBefore) loss_->startTime = samples_[*loss_->sampleBefore].time;
    }
    loss_->last = to;
    if (sentenceTime) {
      if (!loss_->startTime) loss_->startTime = sentenceTime;
      loss_->lastSentenceTime = sentenceTime;
    }
  }

  // Ends the pending loss at the used fix `back` (nullptr: at a break or the drive's end).
  // A loss is reported when it lasted long enough, or when no time tells how long it lasted
  // (none at one end, or a clock that went back).
  void CloseLoss(const DriveFix* back) {
    if (!loss_) return;
    const PendingLoss loss = *std::exchange(loss_, std::nullopt);
    const std::optional<double> end = back ? back->time : loss.lastSentenceTime;
    std::optional<double> seconds;
    if (loss.startTime && end && *end >= *loss.startTime) seconds = *end - *loss.startTime;
    if (seconds && *seconds < t_.lostSeconds) return;
    DrivingEvent event{EventKind::kGpsLost, loss.first.recording, loss.last.recording, loss.first.picture,
                       loss.last.picture, loss.startTime, end, std::nullopt, std::nullopt, seconds};
    if (loss.sampleBefore) {
      event.latitude = samples_[*loss.sampleBefore].latitude;
      event.longitude = samples_[*loss.sampleBefore].longitude;
    } else if (back) {
      event.latitude = back->latitude;
      event.longitude = back->longitude;
    }
    events_.push_back(event);
    // The interval from the fix before the loss to the one after it is accounted for.
    if (back && loss.sampleBefore) lossIntervals_.push_back(samples_.size());
  }

  // --- Intervals: interval i runs from sample i - 1 to sample i (1 <= i < samples).

  double Seconds(std::size_t i) const { return samples_[i].time - samples_[i - 1].time; }
  bool OverBreak(std::size_t i) const {
    return breaksSoFar_[samples_[i].recording] != breaksSoFar_[samples_[i - 1].recording];
  }
  // Close enough in time, and not across a break, for braking and turning to show.
  bool Judged(std::size_t i) const {
    return !OverBreak(i) && Seconds(i) > 0 && Seconds(i) <= t_.longestJudgedSeconds;
  }
  double Acceleration(std::size_t i) const {
    return (samples_[i].speedKmh - samples_[i - 1].speedKmh) / kKmhPerMps / Seconds(i);
  }
  // Sideways acceleration, positive to the right: speed times the rate of turning. Zero where
  // the course cannot be trusted.
  double Lateral(std::size_t i) const {
    const Sample &a = samples_[i - 1], &b = samples_[i];
    if (!Judged(i) || !a.course || !b.course) return 0;
    if (std::min(a.speedKmh, b.speedKmh) < t_.courseTrustedKmh) return 0;
    const double speed = (a.speedKmh + b.speedKmh) / 2 / kKmhPerMps;
    return speed * TurnRadians(*a.course, *b.course) / Seconds(i);
  }
  bool Long(std::size_t i) const {
    return Seconds(i) > t_.longestJudgedSeconds || (OverBreak(i) && Seconds(i) > 0);
  }
  // Standing: slow at both ends and not moved further in between; over a break, not moved
  // further than that pace would have taken the car (the gap itself counts as standing).
  bool Stopped(std::size_t i) const {
    if (Seconds(i) <= 0) return false;
    const double averageKmh = MetresBetween(samples_[i - 1], samples_[i]) / Seconds(i) * kKmhPerMps;
    if (OverBreak(i)) return averageKmh < t_.stopBelowKmh;
    const bool slow = samples_[i - 1].speedKmh < t_.stopBelowKmh && samples_[i].speedKmh < t_.stopBelowKmh;
    return slow && (Seconds(i) <= t_.longestJudgedSeconds || averageKmh < t_.stopBelowKmh);
  }

  // Calls found(first, last) for each longest run of consecutive intervals for which in(i) holds.
  template <class In, class Found>
  void ForEachRun(In in, Found found) const {
    for (std::size_t i = 1; i < samples_.size(); ++i) {
      if (!in(i)) continue;
      std::size_t last = i;
      while (last + 1 < samples_.size() && in(last + 1)) ++last;
      found(i, last);
      i = last;
    }
  }

  DrivingEvent& Add(EventKind kind, std::size_t firstInterval, std::size_t lastInterval, double value) {
    const Sample &a = samples_[firstInterval - 1], &b = samples_[lastInterval];
    return events_.emplace_back(DrivingEvent{kind, a.recording, b.recording, a.picture, b.picture, a.time, b.time,
                                             a.latitude, a.longitude, value});
  }

  // --- The rules.

  // Runs of at least sustainedIntervals judged intervals whose `strength` reaches `threshold`.
  template <class Strength>
  void Sustained(EventKind kind, Strength strength, double threshold) {
    ForEachRun([&](std::size_t i) { return strength(i) >= threshold; },
               [&](std::size_t first, std::size_t last) {
                 if (static_cast<int>(last - first + 1) < t_.sustainedIntervals) return;
                 double strongest = 0;
                 for (std::size_t i = first; i <= last; ++i) strongest = std::max(strongest, strength(i));
                 Add(kind, first, last, strongest);
               });
  }

  void Speeding(double limitKmh) {
    ForEachRun(
        [&](std::size_t i) {
          return !OverBreak(i) && Seconds(i) > 0 && samples_[i - 1].speedKmh > limitKmh && samples_[i].speedKmh > limitKmh;
        },
        [&](std::size_t first, std::size_t last) {
          if (samples_[last].time - samples_[first - 1].time < t_.speedingSeconds) return;
          double top = 0;
          for (std::size_t s = first - 1; s <= last; ++s) top = std::max(top, samples_[s].speedKmh);
          Add(EventKind::kSpeeding, first, last, top);
        });
  }

  void Stops() {
    ForEachRun([&](std::size_t i) { return Stopped(i); },
               [&](std::size_t first, std::size_t last) {
                 const double seconds = samples_[last].time - samples_[first - 1].time;
                 if (seconds < t_.stopSeconds) return;
                 Add(EventKind::kStop, first, last, seconds);
                 std::fill(covered_.begin() + static_cast<std::ptrdiff_t>(first),
                           covered_.begin() + static_cast<std::ptrdiff_t>(last) + 1, true);
               });
  }

  // What no stop or loss explains of the stretches too long to judge.
  void NotAssessable() {
    ForEachRun([&](std::size_t i) { return Long(i) && !covered_[i]; },
               [&](std::size_t first, std::size_t last) {
                 Add(EventKind::kNotAssessable, first, last, samples_[last].time - samples_[first - 1].time);
               });
  }

  const EventThresholds& t_;
  std::vector<Sample> samples_;
  std::vector<int> breaksSoFar_;  // per recording: breaks up to and including its own
  std::size_t segmentStart_ = 0;  // the first sample after the latest break
  std::optional<PendingLoss> loss_;
  std::vector<std::size_t> lossIntervals_;  // intervals holding a reported loss
  std::vector<bool> covered_;               // per interval: inside a reported stop or loss
  std::vector<DrivingEvent> events_;
};

}  // namespace

std::string_view EventKindName(EventKind kind) { return kNames[static_cast<std::size_t>(kind)]; }

std::optional<EventKind> EventKindFromName(std::string_view name) {
  for (EventKind kind : kAllEventKinds)
    if (EventKindName(kind) == name) return kind;
  return std::nullopt;
}

std::string_view EventUnit(EventKind kind) {
  switch (kind) {
    case EventKind::kHardBraking:
    case EventKind::kHardAcceleration:
    case EventKind::kSharpTurn: return "m/s²";
    case EventKind::kSpeeding: return "km/h";
    default: return "s";
  }
}

DriveFix ToDriveFix(const GpsFix& fix) {
  DriveFix out;
  out.picture = fix.picture;
  if (!fix.utc.empty()) out.time = fix.utcSeconds;
  out.latitude = fix.latitude;
  out.longitude = fix.longitude;
  out.speedKmh = fix.speedKmh;
  out.course = fix.course;
  out.valid = fix.valid();
  return out;
}

std::vector<DrivingEvent> FindDrivingEvents(std::span<const DriveRecording> drive, const EventThresholds& thresholds) {
  return EventFinder(drive, thresholds).Find();
}

namespace {

// Walks the fixes from `start` towards one end of the drive (forwards or backwards), moving
// `edge` to each fix whose time lies within `seconds` of `time`, until a fix lies beyond
// that or a break is reached.
DrivePicture StretchEdge(std::span<const DriveRecording> drive, DrivePicture start, std::optional<double> time,
                         double seconds, bool forwards) {
  DrivePicture edge = start;
  if (!time) return edge;
  for (std::size_t r = start.recording;;) {
    const auto& fixes = drive[r].fixes;
    for (std::size_t k = 0; k < fixes.size(); ++k) {
      const DriveFix& fix = fixes[forwards ? k : fixes.size() - 1 - k];
      const bool beyondStart = r != start.recording || (forwards ? fix.picture > start.picture : fix.picture < start.picture);
      if (!beyondStart || !fix.time) continue;
      if (std::fabs(*fix.time - *time) > seconds) return edge;
      edge = {r, fix.picture};
    }
    if (forwards ? r + 1 >= drive.size() || drive[r + 1].afterBreak : r == 0 || drive[r].afterBreak) break;
    r = forwards ? r + 1 : r - 1;
  }
  return edge;
}

}  // namespace

std::pair<DrivePicture, DrivePicture> StretchAround(std::span<const DriveRecording> drive, const DrivingEvent& event,
                                                    double before, double after) {
  return {StretchEdge(drive, {event.recording, event.firstPicture}, event.time, before, false),
          StretchEdge(drive, {event.lastRecording, event.lastPicture}, event.lastTime, after, true)};
}

std::vector<DrivingEvent> FindRouteEvents(const Route& route, const EventThresholds& thresholds) {
  std::vector<std::vector<DriveFix>> fixes(route.recordings.size());
  for (const RoutePoint& p : route.points) {
    DriveFix& fix = fixes[static_cast<std::size_t>(p.recording)].emplace_back();
    fix.picture = p.picture;
    if (p.utcSeconds > 0) fix.time = p.utcSeconds;
    if (p.valid) fix.latitude = p.lat, fix.longitude = p.lon;
    fix.speedKmh = p.speedKmh;
    fix.course = p.course;
    fix.valid = p.valid;
  }
  std::vector<DriveRecording> drive;
  for (std::size_t r = 0; r < fixes.size(); ++r) {
    const bool followsOn = r < route.followsOn.size() && route.followsOn[r];
    drive.push_back({fixes[r], fixes[r].empty() ? 0 : fixes[r].back().picture, r > 0 && !followsOn});
  }
  return FindDrivingEvents(drive, thresholds);
}

}  // namespace rovena
