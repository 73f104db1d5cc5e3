#include "redact/cascade.h"

#include <cstdio>

#include "redact/detector.h"

namespace rovena::redact {

std::string Cascade::Load(const CascadeSettings& settings) {
  settings_ = settings;
  std::string error;
  const auto path = FindCascade(settings.file, error);
  if (!path) return error;
  try {
    if (classifier_.load(*path)) return {};
  } catch (const cv::Exception&) {
  }
  return *path + ": not a cascade OpenCV can load (reinstall opencv-data)";
}

std::vector<cv::Rect> Cascade::Find(const cv::Mat& gray) {
  std::vector<cv::Rect> found;
  classifier_.detectMultiScale(gray, found, settings_.scaleStep, settings_.minNeighbours, 0, settings_.smallest);
  return found;
}

std::string Cascade::Describe() const {
  char text[160];
  std::snprintf(text, sizeof text, "%s scale-step %.2f, neighbours %d, smallest %dx%d", settings_.file.c_str(),
                settings_.scaleStep, settings_.minNeighbours, settings_.smallest.width, settings_.smallest.height);
  return text;
}

}  // namespace rovena::redact
