// The window's texts about a trip: which recording of how many is open, and the break in
// driving that a step has just crossed.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace rovena {

// Appended to the file name: "  (3/12)" for recording index 2 of 12; empty for a trip of one
// recording, so a recording alone in its folder shows its name as always.
std::string TripPositionText(std::size_t index, std::size_t count);

// Shown for a moment in the time label's place: "przerwa 00:04:12" (hours may exceed 99),
// "przerwa --:--:--" when the length is unknown (a side without a fix).
std::string GapText(const std::optional<double>& seconds);

}  // namespace rovena
