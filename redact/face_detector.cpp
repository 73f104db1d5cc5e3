// Faces with the cascades Debian's opencv-data ships. Two cascades, because no single one
// finds both views: a frontal one for faces looking at the camera (pedestrians crossing in
// front) and a profile one for faces seen from the side (people on the pavement as the car
// passes). The profile cascade was trained on faces turned one way only, so it also runs on
// the mirrored picture.
//
// Both are LBP cascades with small windows (24 x 24 frontal, 20 x 34 profile), so faces from
// about 24 pixels up are found, as small as a face at the roadside is in a VGA picture; the
// newer frontal LBP cascade needs 45 pixels, and the Haar ones took two to three times as
// long on the demo's VGA pictures. The scale step is 1.2, not OpenCV's usual 1.1: the windows
// still overlap scale to scale enough for a cascade trained on faces jittered in size, and it
// halves the time, which keeps all detectors of a picture above 20 VGA pictures a second on
// two cores (bench_redact). Three neighbouring hits make a find, OpenCV's own default, which
// drops most single-window noise without losing small faces.
#include <opencv2/core.hpp>

#include "redact/cascade.h"
#include "redact/detector.h"

namespace rovena::redact {
namespace {

constexpr double kScaleStep = 1.2;

class FaceDetector : public Detector {
 public:
  std::string Load() {
    std::string error = frontal_.Load({"lbpcascade_frontalface.xml", kScaleStep, 3, {24, 24}});
    if (error.empty()) error = profile_.Load({"lbpcascade_profileface.xml", kScaleStep, 3, {20, 34}});
    return error;
  }

  std::vector<Proposal> Find(const DetectorInput& picture) override {
    std::vector<Proposal> faces;
    const auto add = [&](const cv::Rect& r) { faces.push_back({{r.x, r.y, r.width, r.height}, BoxKind::Face}); };
    for (const cv::Rect& r : frontal_.Find(picture.gray)) add(r);
    for (const cv::Rect& r : profile_.Find(picture.gray)) add(r);
    cv::Mat mirrored;
    cv::flip(picture.gray, mirrored, 1);
    for (const cv::Rect& r : profile_.Find(mirrored)) add({picture.gray.cols - r.x - r.width, r.y, r.width, r.height});
    return MergeOverlapping(std::move(faces));
  }

  std::string Name() const override { return "faces: OpenCV LBP cascades (frontal, profile both ways)"; }
  std::map<std::string, std::string> Parameters() const override {
    return {{"frontal", frontal_.Describe()}, {"profile", profile_.Describe()}};
  }

 private:
  Cascade frontal_, profile_;
};

}  // namespace

std::unique_ptr<Detector> MakeFaceDetector(std::string& error) {
  auto detector = std::make_unique<FaceDetector>();
  error = detector->Load();
  if (!error.empty()) return nullptr;
  return detector;
}

}  // namespace rovena::redact
