// Listing a folder as a trip from the command line: the core's scan with the progress line.
#pragma once

#include <string>

#include "core/trip.h"

namespace rovena::cli {

// Trip::Scan with a progress line over the folder's files (unless `quiet`). A folder that
// cannot be read gives an empty trip and the reason in *error.
Trip ScanTrip(const std::string& folder, bool walkWhole, bool quiet, std::string* error);

}  // namespace rovena::cli
