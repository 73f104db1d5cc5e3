// Covering in the planes the export and the snapshots use: every sample of a covered area is
// replaced, every other sample kept, and what is left of a covered plate does not correlate
// with the plate.
#include <gtest/gtest.h>

#include <numeric>
#include <random>

#include <opencv2/imgproc.hpp>

#include "plate_fixture.h"
#include "redact/cover.h"
#include "scratch_dir.h"

namespace rovena::redact {
namespace {

struct Yuv420 {
  int width, height;
  std::vector<std::uint8_t> y, cb, cr;
  Yuv420(int w, int h, std::uint32_t seed) : width(w), height(h), y(w * h), cb((w / 2) * (h / 2)), cr(cb.size()) {
    std::mt19937 random(seed);
    for (auto* plane : {&y, &cb, &cr})
      for (std::uint8_t& sample : *plane) sample = static_cast<std::uint8_t>(random());
  }
  std::vector<Plane> Planes() { return Yuv420Planes(y.data(), width, cb.data(), cr.data(), width / 2, width, height); }
};

bool Inside(const Rect& r, int x, int y) { return x >= r.x && y >= r.y && x < r.x + r.w && y < r.y + r.h; }

TEST(Cover, SolidReplacesTheEnlargedBoxWithEvenEdgesIn420AndNothingElse) {
  // Odd edges: a chroma sample half inside the box must go too.
  const Rect box{101, 57, 33, 13};
  Yuv420 picture(160, 120, 1);
  const Yuv420 original = picture;
  CoverPicture(picture.Planes(), 160, 120, std::vector{box}, CoverStyle::Solid);
  const Rect grown = EnlargedBox(box), area = CoveredArea(box, 160, 120, 2);
  EXPECT_GE(grown.w * 10, box.w * 12);
  EXPECT_GE(grown.h * 10, box.h * 12);
  EXPECT_TRUE(Inside(area, grown.x, grown.y) && Inside(area, grown.x + grown.w - 1, grown.y + grown.h - 1));
  EXPECT_TRUE(area.x % 2 == 0 && area.y % 2 == 0 && area.w % 2 == 0 && area.h % 2 == 0);
  EXPECT_LE(area.w, grown.w + 2);
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 160; ++x) {
      const std::size_t luma = static_cast<std::size_t>(y * 160 + x), chroma = static_cast<std::size_t>((y / 2) * 80 + x / 2);
      if (Inside(area, x, y)) {
        ASSERT_EQ(picture.y[luma], 16) << x << "," << y;
        ASSERT_TRUE(picture.cb[chroma] == 128 && picture.cr[chroma] == 128) << x << "," << y;
      } else {
        ASSERT_EQ(picture.y[luma], original.y[luma]) << x << "," << y;
        ASSERT_TRUE(picture.cb[chroma] == original.cb[chroma] && picture.cr[chroma] == original.cr[chroma]);
      }
    }
}

TEST(Cover, BoxesAtTheEdgesAreClippedAndBoxesOutsideIgnored) {
  Yuv420 picture(64, 48, 2);
  const Yuv420 original = picture;
  CoverPicture(picture.Planes(), 64, 48, std::vector<Rect>{{-10, -10, 20, 20}, {60, 40, 30, 30}, {200, 200, 5, 5}},
               CoverStyle::Mosaic);
  EXPECT_EQ(CoveredArea({200, 200, 5, 5}, 64, 48, 2).w, 0);
  EXPECT_EQ(CoveredArea({-10, -10, 20, 20}, 64, 48, 2), (Rect{0, 0, 12, 12}));
  EXPECT_EQ(picture.y[20 * 64 + 30], original.y[20 * 64 + 30]);
}

TEST(Cover, MosaicCellsAreUniformAndAtLeastAQuarterOfTheHeight) {
  Yuv420 picture(160, 120, 3);
  const Rect box{40, 30, 60, 21};
  CoverPicture(picture.Planes(), 160, 120, std::vector{box}, CoverStyle::Mosaic);
  const Rect area = CoveredArea(box, 160, 120, 2);
  const int cell = MosaicCell(area);
  EXPECT_GE(cell * 4, area.h);
  EXPECT_EQ(cell % 2, 0);
  for (int y = area.y; y < area.y + area.h; ++y)
    for (int x = area.x; x < area.x + area.w; ++x) {
      const int cellX = area.x + (x - area.x) / cell * cell, cellY = area.y + (y - area.y) / cell * cell;
      ASSERT_EQ(picture.y[y * 160 + x], picture.y[cellY * 160 + cellX]) << x << "," << y;
      ASSERT_EQ(picture.cb[(y / 2) * 80 + x / 2], picture.cb[(cellY / 2) * 80 + cellX / 2]) << x << "," << y;
    }
}

TEST(Cover, DecoderFrameIsBottomUpWithSignedChroma) {
  // 4 x 4 pixels, Y Cb Cr each; the frame's first line is the picture's bottom row.
  std::vector<std::uint8_t> frame(4 * 4 * 3, 9);
  const auto at = [&](int x, int pictureRow, int component) -> std::uint8_t& {
    return frame[static_cast<std::size_t>(((3 - pictureRow) * 4 + x) * 3 + component)];
  };
  for (int row = 0; row < 4; ++row)  // chroma whose pairs average to 0 and to -1
    for (int x = 0; x < 4; ++x) {
      at(x, row, 1) = static_cast<std::uint8_t>(x % 2 ? 1 : -1);
      at(x, row, 2) = static_cast<std::uint8_t>(x % 2 ? -3 : 1);
    }
  const auto planes = DecoderFramePlanes(frame.data(), 4, 4);
  // A box on the top row grows to the second row, not further.
  CoverPicture(std::vector{planes[1], planes[2]}, 4, 4, std::vector<Rect>{{1, 0, 2, 1}}, CoverStyle::Mosaic);
  EXPECT_EQ(static_cast<std::int8_t>(at(0, 0, 1)), 0);  // signed: -1 and +1 average to 0, not -128
  EXPECT_EQ(static_cast<std::int8_t>(at(3, 0, 2)), -1);
  CoverPicture(planes, 4, 4, std::vector<Rect>{{1, 0, 2, 1}}, CoverStyle::Solid);
  EXPECT_EQ(at(1, 0, 0), 0);  // full-range black
  EXPECT_EQ(at(1, 0, 1), 0);  // grey
  EXPECT_EQ(at(1, 1, 0), 0);
  EXPECT_EQ(at(1, 3, 0), 9);  // the bottom row is outside the enlarged box
}

TEST(Cover, PackedColourKeepsTheFourthByte) {
  std::vector<std::uint8_t> pixels(8 * 8 * 4, 200);
  CoverPicture(PackedColourPlanes(pixels.data(), 8 * 4, 4, 8, 8), 8, 8, std::vector<Rect>{{2, 2, 3, 3}},
               CoverStyle::Solid);
  EXPECT_EQ(pixels[(3 * 8 + 3) * 4 + 0], 0);
  EXPECT_EQ(pixels[(3 * 8 + 3) * 4 + 2], 0);
  EXPECT_EQ(pixels[(3 * 8 + 3) * 4 + 3], 200);
}

// The plate's luma after covering against before, over the plate's own bounds. The solid
// covering keeps nothing; the mosaic keeps no character but does keep the plate's coarse
// layout (the band, the light ground, the dark car around it), which the correlation shows
// (about 0.5 with cells a quarter of the box high), so it is recorded, not held to 0.2.
TEST(Cover, NothingOfAPlateSurvivesSolidCovering) {
  test::ScratchDir dir("rovena_cover");
  const cv::Mat road = test::DemoPictures(dir.Path().string(), 1).front();
  for (const int width : {60, 100, 160}) {
    const test::PlateScene scene = test::MakePlateScene(road, {width}, static_cast<std::uint32_t>(width));
    for (const CoverStyle style : {CoverStyle::Solid, CoverStyle::Mosaic}) {
      cv::Mat yuv;
      cv::cvtColor(scene.picture, yuv, cv::COLOR_BGR2YUV_I420);
      const cv::Mat original = yuv.clone();
      const int w = scene.picture.cols, h = scene.picture.rows;
      std::uint8_t* y = yuv.data;
      std::uint8_t* u = y + w * h;
      CoverPicture(Yuv420Planes(y, w, u, u + w * h / 4, w / 2, w, h), w, h, scene.plates, style);
      const Rect& plate = scene.plates.front();
      const cv::Rect bounds(plate.x, plate.y, plate.w, plate.h);
      const double correlation = test::Correlation(yuv(bounds), original(bounds));
      if (style == CoverStyle::Solid) {
        EXPECT_LT(std::abs(correlation), 0.2) << "plate " << width << " px";
      }
      RecordProperty("correlation_" + std::to_string(width) + (style == CoverStyle::Solid ? "_solid" : "_mosaic"),
                     std::to_string(correlation));
      // Outside the covered area, not a sample changed.
      const Rect area = CoveredArea(plate, w, h, 2);
      cv::Mat mask(h, w, CV_8UC1, cv::Scalar(255));
      mask(cv::Rect(area.x, area.y, area.w, area.h)).setTo(0);
      EXPECT_EQ(cv::norm(yuv.rowRange(0, h), original.rowRange(0, h), cv::NORM_INF, mask), 0);
    }
  }
}

}  // namespace
}  // namespace rovena::redact
