#include "core/bmp_writer.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace rovena {
namespace {

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// 3 x 2 pixels: each pixel's bytes encode (row, column, channel) of the picture, top row 0.
std::vector<std::uint8_t> TopDownPixels() {
  std::vector<std::uint8_t> pixels;
  for (int row = 0; row < 2; ++row)
    for (int col = 0; col < 3; ++col)
      for (int ch = 0; ch < 3; ++ch) pixels.push_back(static_cast<std::uint8_t>(row * 100 + col * 10 + ch));
  return pixels;
}

TEST(Bmp, HeaderAndPaddedBottomUpRows) {
  const std::vector<std::uint8_t> pixels = TopDownPixels();
  const std::vector<std::uint8_t> bmp = EncodeBmp24({3, 2, pixels.data(), 9, false});
  // 9 bytes of pixels per row, padded to 12.
  ASSERT_EQ(bmp.size(), 54u + 24u);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[1], 'M');
  EXPECT_EQ(Le32(bmp, 2), 78u);
  EXPECT_EQ(Le32(bmp, 10), 54u);
  EXPECT_EQ(Le32(bmp, 14), 40u);
  EXPECT_EQ(Le32(bmp, 18), 3u);
  EXPECT_EQ(Le32(bmp, 22), 2u);
  EXPECT_EQ(bmp[26] | bmp[27] << 8, 1);
  EXPECT_EQ(bmp[28] | bmp[29] << 8, 24);
  EXPECT_EQ(Le32(bmp, 30), 0u);
  EXPECT_EQ(Le32(bmp, 34), 24u);
  // First stored row is the picture's bottom row (row 1), then padding zeros.
  EXPECT_EQ(bmp[54], 100);
  EXPECT_EQ(bmp[54 + 8], 122);
  EXPECT_EQ(bmp[54 + 9], 0);
  EXPECT_EQ(bmp[54 + 11], 0);
  EXPECT_EQ(bmp[66], 0);
  EXPECT_EQ(bmp[66 + 8], 22);
}

TEST(Bmp, BottomUpSourceAndStrideAreCopiedAsStored) {
  // A bottom-up source with extra bytes after each row: rows go to the file in stored order.
  const std::vector<std::uint8_t> stored{1, 2, 3, 9, 9, 4, 5, 6, 9, 9};
  const std::vector<std::uint8_t> bmp = EncodeBmp24({1, 2, stored.data(), 5, true});
  ASSERT_EQ(bmp.size(), 54u + 8u);
  EXPECT_EQ(std::vector<std::uint8_t>(bmp.begin() + 54, bmp.end()),
            (std::vector<std::uint8_t>{1, 2, 3, 0, 4, 5, 6, 0}));
}

TEST(Bmp, FileWrittenUnderTheGivenName) {
  const test::ScratchDir scratch("rovena_bmp");
  const std::filesystem::path& dir = scratch.Path();
  const std::string name = (dir / "snapshot-without-extension").string();
  const std::vector<std::uint8_t> pixels(640 * 480 * 3, 7);
  ASSERT_EQ(WriteBmp24File(name, {640, 480, pixels.data(), 1920, true}, IfExists::Replace), "");
  EXPECT_EQ(std::filesystem::file_size(name), 54u + 640u * 480u * 3u);
  EXPECT_NE(WriteBmp24File((dir / "missing" / "x.bmp").string(), {640, 480, pixels.data(), 1920, true}, IfExists::Replace), "");
}

}  // namespace
}  // namespace rovena
