// Driving events as the command line prints them: a listing with the line that opens each
// one in the viewer, CSV, or JSON. `events` and `find --event` print the same rows.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/driving_events.h"

namespace rovena::cli {

struct EventRow {
  std::optional<std::size_t> number;  // as `events` numbers them; export --event takes it
  DrivingEvent event;
  std::string recording, lastRecording;  // the files it begins and ends in
};

// `format` is "text", "csv" or "json".
std::string FormatEvents(const std::vector<EventRow>& rows, const std::string& format);

}  // namespace rovena::cli
