// What the window shows about a trip, without its words: which recording of how many is
// open, and how long the break in driving or the overlap lasts that a step has just crossed
// (Trip::JoinAfter tells which).
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace rovena {

// Appended to the file name: "  (3/12)" for recording index 2 of 12; empty for a trip of one
// recording, so a recording alone in its folder shows its name as always.
std::string TripPositionText(std::size_t index, std::size_t count);

// A length of time as "00:04:12" (hours may exceed 99), whole seconds as the fixes carry
// them; "--:--:--" when it is unknown (a side without a fix).
std::string DurationText(const std::optional<double>& seconds);

}  // namespace rovena
