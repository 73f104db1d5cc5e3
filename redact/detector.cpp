#include "redact/detector.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

#include <opencv2/imgproc.hpp>

namespace rovena::redact {
namespace {

// Where Debian's opencv-data puts the cascades, and where a build of OpenCV from source would.
const char* const kCascadeFolders[] = {"/usr/share/opencv4/haarcascades", "/usr/share/opencv4/lbpcascades",
                                       "/usr/local/share/opencv4/haarcascades",
                                       "/usr/local/share/opencv4/lbpcascades"};

bool Overlap(const Rect& a, const Rect& b) {
  const int w = std::min(a.x + a.w, b.x + b.w) - std::max(a.x, b.x);
  const int h = std::min(a.y + a.h, b.y + b.h) - std::max(a.y, b.y);
  if (w <= 0 || h <= 0) return false;
  const long long smaller = std::min(static_cast<long long>(a.w) * a.h, static_cast<long long>(b.w) * b.h);
  return 3LL * w * h > smaller;
}

Rect Around(const Rect& a, const Rect& b) {
  const int left = std::min(a.x, b.x), top = std::min(a.y, b.y);
  return {left, top, std::max(a.x + a.w, b.x + b.w) - left, std::max(a.y + a.h, b.y + b.h) - top};
}

}  // namespace

std::optional<DetectKinds> ParseDetectKinds(const std::string& text) {
  DetectKinds kinds;
  if (text.empty() || text.back() == ',') return std::nullopt;  // getline would not show the empty last item
  std::stringstream list(text);
  for (std::string item; std::getline(list, item, ',');) {
    if (item == "faces" && !kinds.faces)
      kinds.faces = true;
    else if (item == "plates" && !kinds.plates)
      kinds.plates = true;
    else
      return std::nullopt;
  }
  if (!kinds.faces && !kinds.plates) return std::nullopt;
  return kinds;
}

std::optional<std::string> FindCascade(const std::string& fileName, std::string& error) {
  for (const char* folder : kCascadeFolders) {
    const std::filesystem::path path = std::filesystem::path(folder) / fileName;
    std::error_code ignored;
    if (std::filesystem::is_regular_file(path, ignored)) return path.string();
  }
  error = "the detector's cascade " + fileName + " is not under /usr/share/opencv4 (install the package opencv-data)";
  return std::nullopt;
}

std::vector<std::unique_ptr<Detector>> MakeDetectors(const DetectKinds& kinds, std::string& error) {
  std::vector<std::unique_ptr<Detector>> detectors;
  if (kinds.faces) detectors.push_back(MakeFaceDetector(error));
  if (kinds.plates && error.empty()) detectors.push_back(MakePlateDetector(error));
  if (!error.empty()) detectors.clear();
  return detectors;
}

std::vector<Proposal> MergeOverlapping(std::vector<Proposal> proposals) {
  for (bool merged = true; merged;) {
    merged = false;
    for (std::size_t i = 0; i < proposals.size(); ++i)
      for (std::size_t j = i + 1; j < proposals.size(); ++j)
        if (proposals[i].kind == proposals[j].kind && Overlap(proposals[i].rect, proposals[j].rect)) {
          proposals[i].rect = Around(proposals[i].rect, proposals[j].rect);
          proposals.erase(proposals.begin() + static_cast<std::ptrdiff_t>(j));
          merged = true;
          --j;
        }
  }
  return proposals;
}

DetectorInput MakeDetectorInput(const BgrView& view) {
  DetectorInput input;
  input.bgr.create(view.height, view.width, CV_8UC3);
  for (int y = 0; y < view.height; ++y)
    std::copy_n(view.top + y * view.rowStride, 3 * view.width, input.bgr.ptr<std::uint8_t>(y));
  cv::cvtColor(input.bgr, input.gray, cv::COLOR_BGR2GRAY);
  return input;
}

std::vector<Proposal> FindAll(std::vector<std::unique_ptr<Detector>>& detectors, const BgrView& view) {
  const DetectorInput input = MakeDetectorInput(view);
  std::vector<Proposal> all;
  for (auto& detector : detectors) {
    std::vector<Proposal> found = detector->Find(input);
    all.insert(all.end(), found.begin(), found.end());
  }
  std::sort(all.begin(), all.end(), [](const Proposal& a, const Proposal& b) {
    return std::tie(a.rect.y, a.rect.x, a.rect.w, a.rect.h) < std::tie(b.rect.y, b.rect.x, b.rect.w, b.rect.h);
  });
  return all;
}

}  // namespace rovena::redact
