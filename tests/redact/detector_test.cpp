// The detectors on generated plate pictures (tests/redact/plate_fixture.h): plates of a few
// widths found, nothing proposed on the plain road. No face imagery can be made credibly
// here, so the face cascades are only shown to load and to stay quiet on the road.
#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include "plate_fixture.h"
#include "redact/detector.h"
#include "scratch_dir.h"

namespace rovena::redact {
namespace {

BgrView View(const cv::Mat& bgr) { return {bgr.data, bgr.cols, bgr.rows, static_cast<std::ptrdiff_t>(bgr.step)}; }

class Detection : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::ScratchDir("rovena_detect");
    road_ = new std::vector<cv::Mat>(test::DemoPictures(dir_->Path().string(), 24));
  }
  static void TearDownTestSuite() {
    delete road_;
    delete dir_;
  }
  static test::ScratchDir* dir_;
  static std::vector<cv::Mat>* road_;
};
test::ScratchDir* Detection::dir_ = nullptr;
std::vector<cv::Mat>* Detection::road_ = nullptr;

TEST_F(Detection, FindsPlatesFrom60PixelsWideAndProposesNothingElse) {
  std::vector<test::PlateScene> scenes;
  std::vector<cv::Mat> drawn;
  // Pairs that always leave room for both cars.
  const std::vector<std::vector<int>> widths = {{160}, {100, 60}, {120, 60}, {80, 70}};
  for (std::uint32_t i = 0; i < 12; ++i) {
    scenes.push_back(test::MakePlateScene((*road_)[i * 2], widths[i % widths.size()], 7 + i));
    drawn.push_back(scenes.back().picture);
  }
  const std::vector<cv::Mat> stored = test::ThroughRecorder(drawn, dir_->Path().string());
  std::string error;
  auto detectors = MakeDetectors({false, true}, error);
  ASSERT_EQ(error, "");
  int plates = 0, found = 0;
  for (std::size_t i = 0; i < stored.size(); ++i) {
    const std::vector<Proposal> proposals = FindAll(detectors, View(stored[i]));
    for (const Rect& plate : scenes[i].plates) {
      ++plates;
      found += std::any_of(proposals.begin(), proposals.end(), [&](const Proposal& p) { return test::Finds(p.rect, plate); });
    }
    for (const Proposal& p : proposals) {
      EXPECT_EQ(p.kind, BoxKind::Plate);
      EXPECT_TRUE(test::OnSomePlate(p.rect, scenes[i].plates)) << "picture " << i << " at " << p.rect.x << "," << p.rect.y;
    }
  }
  EXPECT_GE(found, plates * 9 / 10) << found << " of " << plates;
}

TEST_F(Detection, FaceCascadesLoadAndStayQuietOnTheRoad) {
  std::string error;
  auto detectors = MakeDetectors({true, true}, error);
  ASSERT_EQ(error, "");
  ASSERT_EQ(detectors.size(), 2u);
  EXPECT_NE(detectors[0]->Parameters().at("frontal").find("lbpcascade_frontalface.xml"), std::string::npos);
  for (std::size_t i = 0; i < road_->size(); i += 4) EXPECT_TRUE(FindAll(detectors, View((*road_)[i])).empty()) << i;
}

TEST(Detectors, KindsCascadesAndMerging) {
  EXPECT_TRUE(ParseDetectKinds("faces,plates").has_value());
  EXPECT_TRUE(ParseDetectKinds("plates")->plates && !ParseDetectKinds("plates")->faces);
  for (const char* bad : {"", "faces,", "cars", "faces,faces", "Faces"}) EXPECT_FALSE(ParseDetectKinds(bad)) << bad;

  std::string error;
  EXPECT_FALSE(FindCascade("no_such_cascade.xml", error));
  EXPECT_NE(error.find("opencv-data"), std::string::npos);

  // A chain of overlaps becomes one box around all; another kind on the same spot stays apart;
  // a box touching another by less than a third of the smaller stays apart.
  const std::vector<Proposal> merged = MergeOverlapping({{{0, 0, 10, 10}, BoxKind::Plate},
                                                         {{5, 0, 10, 10}, BoxKind::Plate},
                                                         {{9, 2, 10, 10}, BoxKind::Plate},
                                                         {{0, 0, 10, 10}, BoxKind::Face},
                                                         {{40, 40, 10, 10}, BoxKind::Plate},
                                                         {{48, 48, 10, 10}, BoxKind::Plate}});
  EXPECT_EQ(merged, (std::vector<Proposal>{{{0, 0, 19, 12}, BoxKind::Plate},
                                           {{0, 0, 10, 10}, BoxKind::Face},
                                           {{40, 40, 10, 10}, BoxKind::Plate},
                                           {{48, 48, 10, 10}, BoxKind::Plate}}));
}

}  // namespace
}  // namespace rovena::redact
