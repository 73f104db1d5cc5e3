// Finding faces and number plates in a picture, offline and on the processor. Each kind of
// thing has its own detector behind one interface, so a stronger one (say a network model a
// user supplies, run by OpenCV's DNN module) can take a kind over later without the callers
// changing; what ships is what Debian's OpenCV packages carry.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "redact/boxes.h"

namespace rovena::redact {

struct Proposal {
  Rect rect;
  BoxKind kind = BoxKind::Other;
  bool operator==(const Proposal&) const = default;
};

// One picture as the detectors take it: colour (BGR) and its grey, both top row first.
struct DetectorInput {
  cv::Mat bgr;
  cv::Mat gray;
};

class Detector {
 public:
  virtual ~Detector() = default;
  // Everything of its kind in the picture, overlapping finds already merged. Not safe to call
  // from two threads at once: give each thread its own detector.
  virtual std::vector<Proposal> Find(const DetectorInput& picture) = 0;
  // Its name and settings, for the record of what was looked for and how.
  virtual std::string Name() const = 0;
  virtual std::map<std::string, std::string> Parameters() const = 0;
};

// Which kinds to look for: "faces", "plates" or both, comma-separated.
struct DetectKinds {
  bool faces = false;
  bool plates = false;
};
std::optional<DetectKinds> ParseDetectKinds(const std::string& text);

// A cascade file from the system's OpenCV data (package opencv-data): its path, or nothing
// with `error` saying where it was looked for.
std::optional<std::string> FindCascade(const std::string& fileName, std::string& error);

// The shipped detectors, each loaded and ready; nothing with `error` set when one cannot be.
std::unique_ptr<Detector> MakeFaceDetector(std::string& error);
std::unique_ptr<Detector> MakePlateDetector(std::string& error);

// The detectors for `kinds`, each loaded and ready; empty with `error` set when one cannot be
// loaded (a cascade file missing, say).
std::vector<std::unique_ptr<Detector>> MakeDetectors(const DetectKinds& kinds, std::string& error);

// Boxes of one kind that overlap (by more than a third of the smaller one's area) become one
// box around them both, repeatedly, so a thing found at two scales or by two cascades is one
// box. Boxes of different kinds are left apart.
std::vector<Proposal> MergeOverlapping(std::vector<Proposal> proposals);

// A picture as the callers hold it: 3 bytes per pixel blue, green, red; `rowStride` bytes
// from a row to the one below it, negative when the rows are stored bottom-up (as the
// decoder's frame buffer is).
struct BgrView {
  const std::uint8_t* top = nullptr;  // the first byte of the picture's top row
  int width = 0, height = 0;
  std::ptrdiff_t rowStride = 0;
};
DetectorInput MakeDetectorInput(const BgrView& view);
// The picture's proposals from all `detectors`, in reading order (top to bottom, left to right).
std::vector<Proposal> FindAll(std::vector<std::unique_ptr<Detector>>& detectors, const BgrView& view);

}  // namespace rovena::redact
