// The block library's vectorised colour conversion against the plain integer rule, for every
// combination of Y, Cb and Cr, in batches whose lengths also exercise the scalar tail.
#include <gtest/gtest.h>

#include <vector>

#include "core/block_library.h"

namespace rovena {
namespace {

uint8_t Conv(int v) { return v < 0 ? 0 : v >= 55845 ? 255 : static_cast<uint8_t>(v / 219); }

TEST(ColourConversion, EveryInputMatchesThePlainRule) {
  BlockLibrary& library = BlockLibrary::Instance();
  ASSERT_TRUE(library.Ready()) << library.Error();
  std::vector<uint8_t> frame(3 * 65536);
  for (int y = 0; y < 256; ++y) {
    for (int pq = 0; pq < 65536; ++pq) {
      frame[3 * pq] = static_cast<uint8_t>(y);
      frame[3 * pq + 1] = static_cast<uint8_t>(pq >> 8);
      frame[3 * pq + 2] = static_cast<uint8_t>(pq);
    }
    const int count = 65536 - y % 8;  // the last y % 8 pixels stay as they were
    library.YUVtoRGB(frame.data(), count);
    for (int pq = 0; pq < count; ++pq) {
      const int l = 256 * y - 16, p = static_cast<int8_t>(pq >> 8), q = static_cast<int8_t>(pq);
      const uint8_t expected[3] = {Conv(l + 350 * p), Conv(l - 179 * p - 85 * q), Conv(l + 443 * q)};
      ASSERT_TRUE(std::equal(expected, expected + 3, &frame[3 * pq])) << "Y " << y << " Cb " << p << " Cr " << q;
    }
    for (int pq = count; pq < 65536; ++pq) ASSERT_EQ(frame[3 * pq], y);
  }
}

}  // namespace
}  // namespace rovena
