// The drive that `events` and `export --event` work on: one recording, or the recordings of a
// folder's trip in driving order with the breaks between them, each walked for the sentence
// of every picture; and its events, numbered as `events` lists them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/event_output.h"
#include "cli/options.h"
#include "core/driving_events.h"

namespace rovena::cli {

struct Drive {
  std::vector<std::string> paths;            // as given, or the folder joined with each name
  std::vector<std::vector<DriveFix>> fixes;  // per recording
  std::vector<DriveRecording> recordings;    // over `fixes`
};

// Reads RECORDING|DIR into `drive`. Returns why nothing could be read, empty otherwise;
// recordings read only in part are warned about through `report` and make `whole` false.
std::string ReadDrive(const std::string& input, bool quiet, CommandReport& report, Drive& drive, bool& whole);

// The thresholds with the speed limit of --limit KMH; nothing when it is not a speed.
std::optional<EventThresholds> ThresholdsOption(const ParsedArgs& args);
extern const char* const kLimitUsage;

// The drive's events, numbered from 1 in driving order.
std::vector<EventRow> NumberedEvents(const Drive& drive, const EventThresholds& thresholds);

}  // namespace rovena::cli
