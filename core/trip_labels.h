// The window's texts about a trip: which recording of how many is open, and the break in
// driving (or the overlap) that a step has just crossed.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "core/trip.h"

namespace rovena {

// Appended to the file name: "  (3/12)" for recording index 2 of 12; empty for a trip of one
// recording, so a recording alone in its folder shows its name as always.
std::string TripPositionText(std::size_t index, std::size_t count);

// Shown for a moment in the time label's place: "przerwa 00:04:12" (hours may exceed 99),
// "przerwa --:--:--" when the length is unknown (a side without a fix).
std::string GapText(const std::optional<double>& seconds);

// Shown the same way when the next recording overlaps the trip so far, so that the clock
// stepping back is never a surprise: "nakładanie 00:02:29", the time both recordings cover.
std::string OverlapText(double seconds);

// What a step from recording `index` into the next (or back) crosses: GapText or OverlapText;
// empty when the next recording follows on.
std::string JoinText(const Trip& trip, std::size_t index);

}  // namespace rovena
