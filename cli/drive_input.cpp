#include "cli/drive_input.h"

#include <charconv>
#include <filesystem>

#include "cli/recording_input.h"
#include "cli/trip_scan.h"
#include "core/gps_track.h"
#include "core/recording.h"
#include "core/text_encoding.h"

namespace rovena::cli {
namespace {

// Faster than any road vehicle's limit, slower than a number typed by mistake.
constexpr double kHighestLimitKmh = 500;

struct Walked {
  std::vector<DriveFix> fixes;
  std::int64_t pictures = 0;
  std::string damage;  // why the walk stopped short of the end, "" when it did not
};

Walked WalkSentences(const std::string& path) {
  Walked walked;
  Recording recording;
  if (walked.damage = OpenRecording(recording, path); !walked.damage.empty()) return walked;
  const TrackWalk walk = CollectTrack(recording);
  for (const GpsFix& fix : walk.fixes) walked.fixes.push_back(ToDriveFix(fix));
  walked.pictures = walk.pictures;
  walked.damage = WalkDamage(walk.outcome);
  return walked;
}

void Add(Drive& drive, const std::string& path, Walked walked, bool afterBreak) {
  drive.paths.push_back(path);
  drive.fixes.push_back(std::move(walked.fixes));
  drive.recordings.push_back({{}, walked.pictures, afterBreak});
}

}  // namespace

const char* const kLimitUsage = "--limit takes a speed in km/h, more than 0 up to 500";

std::string ReadDrive(const std::string& input, bool quiet, CommandReport& report, Drive& drive, bool& whole) {
  whole = true;
  std::error_code notFolder;
  if (!std::filesystem::is_directory(input, notFolder)) {
    Walked walked = WalkSentences(input);
    if (walked.pictures == 0) return NameText(input) + ": " + (walked.damage.empty() ? "no complete picture found" : walked.damage);
    if (!walked.damage.empty()) {
      report.Warn(NameText(input) + ": " + walked.damage);
      whole = false;
    }
    Add(drive, input, std::move(walked), false);
  } else {
    std::string error;
    const Trip trip = ScanTrip(input, false, quiet, &error);
    if (!error.empty()) return NameText(input) + ": " + error;
    if (trip.Empty()) return NameText(input) + ": no recordings in this folder";
    for (std::size_t i = 0; i < trip.Size(); ++i) {
      Walked walked = WalkSentences(trip.Recordings()[i].path);
      if (!walked.damage.empty()) {
        report.Warn(NameText(trip.Recordings()[i].name) + ": " + walked.damage);
        whole = false;
      }
      Add(drive, trip.Recordings()[i].path, std::move(walked), trip.GapBefore(i) != nullptr);
    }
  }
  // The spans go in once the vectors they point into have stopped growing.
  for (std::size_t i = 0; i < drive.fixes.size(); ++i) drive.recordings[i].fixes = drive.fixes[i];
  return {};
}

std::optional<EventThresholds> ThresholdsOption(const ParsedArgs& args) {
  EventThresholds thresholds;
  const std::optional<std::string> text = args.Option("--limit");
  if (!text) return thresholds;
  double kmh = 0;
  const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), kmh);
  if (error != std::errc() || end != text->data() + text->size() || !(kmh > 0) || kmh > kHighestLimitKmh)
    return std::nullopt;
  thresholds.speedLimitKmh = kmh;
  return thresholds;
}

std::vector<EventRow> NumberedEvents(const Drive& drive, const EventThresholds& thresholds) {
  std::vector<EventRow> rows;
  for (const DrivingEvent& event : FindDrivingEvents(drive.recordings, thresholds))
    rows.push_back({rows.size() + 1, event, drive.paths[event.recording], drive.paths[event.lastRecording]});
  return rows;
}

}  // namespace rovena::cli
