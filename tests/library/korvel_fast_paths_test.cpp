// The block library chooses its vector kernels at run time, so a machine runs only one of
// them through the exports. Here each vector kernel runs beside its plain twin on random (or
// all) inputs, and must give the very same bytes.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "library/korvel_kernels.h"

namespace {

using Samples = std::array<int16_t, 64>;
using korvel::kCifStride;
using korvel::kVgaStride;

Samples RandomSamples(std::mt19937& rng, int lo, int hi) {
  std::uniform_int_distribution<int> value(lo, hi);
  Samples s{};
  for (int16_t& v : s) v = static_cast<int16_t>(value(rng));
  return s;
}

// DC fill of the plain Idct against its two plain passes: for every DC value, and a single
// other coefficient anywhere must take the full path.
void FullIdct(int16_t* block) {
  int16_t scratch[64];
  korvel::IdctPassPlain(block, scratch);
  korvel::IdctPassPlain(scratch, block);
}

TEST(KorvelFastPaths, DcOnlyShortcutMatchesTheFullTransform) {
  for (int dc = -32768; dc <= 32767; ++dc) {
    Samples quick{}, full{};
    quick[0] = full[0] = static_cast<int16_t>(dc);
    korvel::IdctPlain(quick.data());
    FullIdct(full.data());
    ASSERT_EQ(quick, full) << "DC " << dc;
  }
  for (int position = 1; position < 64; ++position)
    for (int16_t value : {int16_t{1}, int16_t{-256}, int16_t{-32768}}) {
      Samples quick{}, full{};
      quick[0] = full[0] = 1024;
      quick[position] = full[position] = value;
      korvel::IdctPlain(quick.data());
      FullIdct(full.data());
      ASSERT_EQ(quick, full) << "coefficient at " << position;
    }
}

#if defined(__x86_64__)

TEST(KorvelFastPaths, Sse2TransformMatchesThePlainOne) {
  std::mt19937 rng(5);
  for (int round = 0; round < 20000; ++round) {
    // Full-range blocks wrap in every pass; sparse small ones are what pictures hold.
    Samples plain = round % 2 ? RandomSamples(rng, -32768, 32767) : Samples{};
    if (round % 2 == 0)
      for (int i = 0; i < round % 7; ++i) plain[rng() % 64] = static_cast<int16_t>(static_cast<int>(rng() % 2048) - 1024);
    Samples fast = plain;
    korvel::IdctPlain(plain.data());
    korvel::IdctSse2(fast.data());
    ASSERT_EQ(plain, fast) << "round " << round;
  }
}

TEST(KorvelFastPaths, Ssse3ZigZagAndWeightingMatchThePlainLoop) {
  if (!korvel::HasSsse3()) GTEST_SKIP() << "no SSSE3 on this machine";
  std::mt19937 rng(6);
  for (int round = 0; round < 20000; ++round) {
    const Samples scan = RandomSamples(rng, -32768, 32767);
    Samples plain{}, fast{};
    korvel::IzzqPlain(plain.data(), scan.data());
    korvel::IzzqSsse3(fast.data(), scan.data());
    ASSERT_EQ(plain, fast) << "round " << round;
  }
}

// Places one block with both kernels into frames of random bytes and compares the frames and
// the blocks left behind.
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
    plain(frame.data() + at, plainBlock.data(), stride);
    fast(fastFrame.data() + at, fastBlock.data(), stride);
    ASSERT_EQ(frame, fastFrame) << "round " << round;
    ASSERT_EQ(plainBlock, fastBlock) << "round " << round;
  }
}

TEST(KorvelFastPaths, Ssse3PlacementMatchesThePlainLoops) {
  if (!korvel::HasSsse3()) GTEST_SKIP() << "no SSSE3 on this machine";
  ExpectSamePlacement(korvel::PlaceLumaPlain, korvel::PlaceLumaSsse3, kCifStride, 8, 0, 1);
  ExpectSamePlacement(korvel::PlaceLumaPlain, korvel::PlaceLumaSsse3, kVgaStride, 8, 0, 2);
  for (int component : {1, 2}) {
    ExpectSamePlacement(korvel::PlaceChromaPlain, korvel::PlaceChromaSsse3, kCifStride, 16, component, 3);
    ExpectSamePlacement(korvel::PlaceChromaPlain, korvel::PlaceChromaSsse3, kVgaStride, 16, component, 4);
  }
}

// Every one of the 2^24 input pixels through each vector kernel and through the plain one.
// A group's pixels are converted together, so each kernel also runs once on a count that
// leaves pixels over, which it must not touch.
TEST(KorvelFastPaths, VectorConversionsMatchThePlainLoopForEveryPixel) {
  std::vector<uint8_t> every(size_t{3} << 24);
  for (uint32_t i = 0; i < (1u << 24); ++i) {
    every[3 * i] = static_cast<uint8_t>(i >> 16);
    every[3 * i + 1] = static_cast<uint8_t>(i >> 8);
    every[3 * i + 2] = static_cast<uint8_t>(i);
  }
  std::vector<uint8_t> plain = every;
  korvel::ConvertPlain(plain.data(), 1 << 24);
  const struct {
    const char* name;
    bool present;
    int32_t (*convert)(uint8_t*, int32_t);
    int32_t group;
  } kernels[] = {{"SSSE3", korvel::HasSsse3(), korvel::ConvertSsse3, 16},
                 {"AVX2", korvel::HasAvx2(), korvel::ConvertAvx2, 32}};
  for (const auto& k : kernels) {
    if (!k.present) continue;
    std::vector<uint8_t> fast = every;
    ASSERT_EQ(k.convert(fast.data(), 1 << 24), 1 << 24) << k.name;
    for (size_t at = 0; at < fast.size(); at += 3)
      ASSERT_TRUE(plain[at] == fast[at] && plain[at + 1] == fast[at + 1] && plain[at + 2] == fast[at + 2])
          << k.name << " pixel " << at / 3;
    std::vector<uint8_t> partial(every.begin(), every.begin() + 3 * (2 * k.group + 5));
    ASSERT_EQ(k.convert(partial.data(), 2 * k.group + 5), 2 * k.group) << k.name;
    ASSERT_TRUE(std::equal(partial.end() - 15, partial.end(), every.begin() + 3 * (2 * k.group))) << k.name;
  }
}

#endif

}  // namespace
