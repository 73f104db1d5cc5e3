#include "core/play_counter.h"

#include <cmath>

namespace rovena {

float PlayBarWidth(std::int64_t lastPosition, std::int64_t fileLen, float trackWidth) {
  if (fileLen <= 0) return 0;
  return static_cast<float>(static_cast<double>(lastPosition) / static_cast<double>(fileLen) *
                            trackWidth);
}

std::string PlayCounterText(std::int64_t lastPosition, std::int64_t fileLen) {
  // Each operand is rounded to float on its own, and the quotient too, so that the last byte
  // of a file reads 99% (1000 * 100 / 1000.5 = 99.95), never a rounded-up 100%.
  const float hundredfold = static_cast<float>(static_cast<float>(lastPosition) * 100.0f);
  const float divisor = static_cast<float>(static_cast<double>(fileLen) + 0.5);
  const float percent = hundredfold / divisor;
  return std::to_string(static_cast<long long>(std::floor(percent))) + "%";
}

float PlayCounterLeft(const BarGeometry& geometry, float barWidth) {
  const float end = geometry.trackLeft + barWidth;
  return end - 0.5f * geometry.counterWidth;
}

std::string DragCounterText(float barWidth, float trackWidth) {
  const float percent = (barWidth * 100.0f) / trackWidth;
  return std::to_string(static_cast<long long>(std::floor(percent))) + "%";
}

std::int64_t SeekTarget(float barWidth, float trackWidth, std::int64_t fileLen) {
  const float fraction = barWidth / trackWidth;
  // nearbyint rounds halves to the even neighbour in the default rounding mode.
  const double target = std::nearbyint(static_cast<double>(fraction) * static_cast<double>(fileLen));
  if (!(target >= 1)) return 1;
  if (target > static_cast<double>(fileLen)) return fileLen < 1 ? 1 : fileLen;
  return static_cast<std::int64_t>(target);
}

bool InTrackBand(const BarGeometry& geometry, float y) {
  const float bottom = geometry.trackTop + geometry.trackHeight;
  return geometry.trackTop < y && y < bottom;
}

bool OnTrack(const BarGeometry& geometry, float x, float y) {
  const float right = geometry.trackLeft + geometry.trackWidth;
  return geometry.trackLeft < x && x < right && InTrackBand(geometry, y);
}

bool OnBarEnd(const BarGeometry& geometry, float barWidth, float x, float y) {
  const float end = geometry.trackLeft + barWidth;
  const float low = end - kBarEndZone;
  const float high = end + kBarEndZone;
  return low < x && x < high && InTrackBand(geometry, y);
}

BarPress ClassifyBarPress(const BarGeometry& geometry, float barWidth, bool barEnabled,
                          int buttons, float x, float y) {
  constexpr int kLeftButton = 1;
  if (buttons != kLeftButton || !barEnabled) return BarPress::Ignore;
  if (OnBarEnd(geometry, barWidth, x, y)) return BarPress::StartDrag;
  if (!OnTrack(geometry, x, y)) return BarPress::DefaultPointer;
  const float end = geometry.trackLeft + barWidth;
  return x > end ? BarPress::StepForward : BarPress::StepBack;
}

float CutLineX(const BarGeometry& geometry, std::int64_t position, std::int64_t fileLen) {
  if (fileLen <= 0) return geometry.trackLeft;
  return static_cast<float>(geometry.trackLeft + static_cast<double>(geometry.trackWidth) *
                                                     static_cast<double>(position) /
                                                     static_cast<double>(fileLen));
}

}  // namespace rovena
