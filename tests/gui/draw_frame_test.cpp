// Drawing a frame writes the picture area's pixels itself; Qt's own conversion and flip of
// the same frame is the yardstick, and the SSSE3 row copy must match the plain one.
#include <gtest/gtest.h>

#include <QPainter>
#include <random>
#include <vector>

#include "viewer/modBmp.h"

namespace rovena {
namespace {

std::vector<uint8_t> RandomBytes(std::mt19937& rng, size_t count) {
  std::vector<uint8_t> bytes(count);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

// What Qt makes of the frame: wrapped as bottom-up blue-green-red rows, flipped, converted.
QImage DrawnByQt(QImage target, int W, int H, const uint8_t* frame, int x, int y) {
  const QImage bottomUp(frame, W, H, 3 * W, QImage::Format_BGR888);
  QPainter painter(&target);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.drawImage(QPoint(x, y), bottomUp.mirrored(false, true));
  return target;
}

// Both picture sizes where the window draws them, and placements that cut the frame on
// every side.
TEST(DrawFrame, WritesWhatQtsConversionAndFlipWould) {
  std::mt19937 rng(11);
  const struct {
    int W, H, x, y, targetHeight;
  } cases[] = {{640, 480, 0, 0, 480}, {320, 240, 160, 0, 480}, {320, 240, 160, 0, 240},
               {320, 240, -7, -3, 240}, {320, 240, 400, 100, 240}};
  for (const auto& c : cases) {
    const std::vector<uint8_t> frame = RandomBytes(rng, static_cast<size_t>(3 * c.W * c.H));
    QImage target(640, c.targetHeight, QImage::Format_RGB32);
    target.fill(QColor(10, 20, 30));
    const QImage expected = DrawnByQt(target, c.W, c.H, frame.data(), c.x, c.y);
    DrawFrame(target, c.W, c.H, frame.data(), c.x, c.y);
    EXPECT_EQ(target, expected) << c.W << "x" << c.H << " at " << c.x << "," << c.y;
  }
}

TEST(DrawFrame, Ssse3RowsMatchThePlainLoop) {
  std::mt19937 rng(12);
  for (int pixels = 0; pixels <= 70; ++pixels) {
    const std::vector<uint8_t> bgr = RandomBytes(rng, static_cast<size_t>(3 * pixels));
    std::vector<QRgb> plain(static_cast<size_t>(pixels) + 1, 0x12345678), fast = plain;
    WordsFromBgr(plain.data(), bgr.data(), pixels);
    if (!WordsFromBgrSsse3(fast.data(), bgr.data(), pixels)) GTEST_SKIP() << "no SSSE3 on this machine";
    ASSERT_EQ(plain, fast) << pixels << " pixels";
  }
}

}  // namespace
}  // namespace rovena
