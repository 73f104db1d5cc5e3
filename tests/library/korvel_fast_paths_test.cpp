// The block library chooses its vector paths at run time, so a machine runs only one of
// them through the exports. Here the library's source is compiled into the test to reach
// each path directly: every vector path must give the bytes of the plain loops it replaces.
#include "KorvelMpeg.cpp"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

namespace {

using Samples = std::array<int16_t, 64>;

Samples RandomSamples(std::mt19937& rng, int lo, int hi) {
  std::uniform_int_distribution<int> value(lo, hi);
  Samples s{};
  for (int16_t& v : s) v = static_cast<int16_t>(value(rng));
  return s;
}

// Places one block with both routines into frames of random bytes and compares the frames
// and the blocks left behind.
template <class Plain, class Fast>
void ExpectSamePlacement(Plain plain, Fast fast, int stride, int rows, int component, uint32_t seed) {
  std::mt19937 rng(seed);
  for (int round = 0; round < 500; ++round) {
    std::vector<uint8_t> frame(static_cast<size_t>(stride * rows));
    for (uint8_t& byte : frame) byte = static_cast<uint8_t>(rng());
    std::vector<uint8_t> fastFrame = frame;
    // Mostly in range, with clamping on both sides and values whose high byte matters.
    const Samples samples = RandomSamples(rng, round % 3 ? -300 : -32768, round % 3 ? 300 : 32767);
    Samples plainBlock = samples, fastBlock = samples;
    const int at = 3 * 16 + component;  // column 16 of memory row 0
    plain(frame.data() + at, plainBlock.data());
    fast(fastFrame.data() + at, fastBlock.data());
    ASSERT_EQ(frame, fastFrame) << "round " << round;
    ASSERT_EQ(plainBlock, fastBlock) << "round " << round;
  }
}

TEST(KorvelFastPaths, Ssse3PlacementMatchesThePlainLoops) {
  if (!HasSsse3()) GTEST_SKIP() << "no SSSE3 on this machine";
  ExpectSamePlacement(PlaceLuma<960>, PlaceLumaSsse3<960>, 960, 8, 0, 1);
  ExpectSamePlacement(PlaceLuma<1920>, PlaceLumaSsse3<1920>, 1920, 8, 0, 2);
  for (int component : {1, 2}) {
    ExpectSamePlacement(PlaceChroma<960>, PlaceChromaSsse3<960>, 960, 16, component, 3);
    ExpectSamePlacement(PlaceChroma<1920>, PlaceChromaSsse3<1920>, 1920, 16, component, 4);
  }
}

// Idct fills a block that holds only its DC term without the matrix products; the full two
// passes must give the same samples for every DC value, and a single other coefficient
// anywhere must take the full path.
void FullIdct(int16_t* block) {
  alignas(16) int16_t scratch[64];
  IdctPass(block, scratch);
  IdctPass(scratch, block);
}

TEST(KorvelFastPaths, DcOnlyShortcutMatchesTheFullTransform) {
  for (int dc = -32768; dc <= 32767; ++dc) {
    alignas(16) Samples quick{}, full{};
    quick[0] = full[0] = static_cast<int16_t>(dc);
    Idct(quick.data());
    FullIdct(full.data());
    ASSERT_EQ(quick, full) << "DC " << dc;
  }
  for (int position = 1; position < 64; ++position)
    for (int16_t value : {int16_t{1}, int16_t{-256}, int16_t{-32768}}) {
      alignas(16) Samples quick{}, full{};
      quick[0] = full[0] = 1024;
      quick[position] = full[position] = value;
      Idct(quick.data());
      FullIdct(full.data());
      ASSERT_EQ(quick, full) << "coefficient at " << position;
    }
}

// The plain per-pixel loop serves the pixels after the last group of sixteen; converting one
// pixel per call sends every input through it.
TEST(KorvelFastPaths, PlainConversionLoopMatchesTheVectorPath) {
  if (!HasSsse3()) GTEST_SKIP() << "no SSSE3 on this machine";
  std::vector<uint8_t> vector(size_t{3} << 24);
  for (uint32_t i = 0; i < (1u << 24); ++i) {
    vector[3 * i] = static_cast<uint8_t>(i >> 16);
    vector[3 * i + 1] = static_cast<uint8_t>(i >> 8);
    vector[3 * i + 2] = static_cast<uint8_t>(i);
  }
  std::vector<uint8_t> plain = vector;
  for (size_t at = 0; at < vector.size(); at += 48) ConvertSixteen(vector.data() + at);
  for (size_t at = 0; at < plain.size(); at += 3) YUVtoRGB(plain.data() + at, 1);
  for (size_t at = 0; at < plain.size(); at += 3)
    ASSERT_TRUE(plain[at] == vector[at] && plain[at + 1] == vector[at + 1] && plain[at + 2] == vector[at + 2])
        << "pixel " << at / 3;
}

}  // namespace
