#include "core/trip_labels.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace rovena {

std::string TripPositionText(std::size_t index, std::size_t count) {
  if (count < 2) return {};
  return "  (" + std::to_string(index + 1) + "/" + std::to_string(count) + ")";
}

std::string DurationText(const std::optional<double>& seconds) {
  if (!seconds || !std::isfinite(*seconds) || *seconds < 0) return "--:--:--";
  // A nonsensical length is capped to keep the text short.
  const long long total = std::llround(std::min(*seconds, 1e12));
  char text[48];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
  return text;
}

}  // namespace rovena
