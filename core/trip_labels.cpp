#include "core/trip_labels.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace rovena {

std::string TripPositionText(std::size_t index, std::size_t count) {
  if (count < 2) return {};
  return "  (" + std::to_string(index + 1) + "/" + std::to_string(count) + ")";
}

namespace {

// "HH:MM:SS" after `label`; hours may exceed 99. Whole seconds, as the fixes carry them; a
// nonsensical length is capped to keep the text short.
std::string LengthText(const char* label, double seconds) {
  const long long total = std::llround(std::min(seconds, 1e12));
  char text[64];
  std::snprintf(text, sizeof text, "%s %02lld:%02lld:%02lld", label, total / 3600, total / 60 % 60, total % 60);
  return text;
}

}  // namespace

std::string GapText(const std::optional<double>& seconds) {
  if (!seconds || !std::isfinite(*seconds) || *seconds < 0) return "przerwa --:--:--";
  return LengthText("przerwa", *seconds);
}

std::string OverlapText(double seconds) { return LengthText("nakładanie", std::max(0.0, seconds)); }

std::string JoinText(const Trip& trip, std::size_t index) {
  if (const TripGap* gap = trip.GapAfter(index)) return GapText(gap->seconds);
  if (const TripOverlap* overlap = trip.OverlapAfter(index)) return OverlapText(overlap->seconds);
  return {};
}

}  // namespace rovena
