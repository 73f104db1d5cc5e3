// One of OpenCV's trained cascades, run over a picture at every scale from its smallest
// window up, with the settings it runs with kept beside it for the record.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <opencv2/objdetect.hpp>

namespace rovena::redact {

struct CascadeSettings {
  std::string file;         // in the system's cascade folders
  double scaleStep = 1.1;   // each scale's window is this much larger than the last
  int minNeighbours = 3;    // hits at neighbouring places and scales needed for one find
  cv::Size smallest;        // the smallest thing looked for, in picture pixels
};

class Cascade {
 public:
  // Returns an error text, empty when the cascade is loaded.
  std::string Load(const CascadeSettings& settings);
  std::vector<cv::Rect> Find(const cv::Mat& gray);
  // The settings as "FILE scale-step S, neighbours N, smallest WxH".
  std::string Describe() const;

 private:
  CascadeSettings settings_;
  cv::CascadeClassifier classifier_;
};

}  // namespace rovena::redact
