// Tests of libKorvelMpeg through the built shared library, bound by name at run time the
// way the viewer binds it. Each export is checked against a slow, obvious reference
// written here from the arithmetic rules, on worked examples and on many random inputs.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

using BlockFn = void (*)(int16_t*);
using PairFn = void (*)(int16_t*, const int16_t*);
using PlaceFn = void (*)(uint8_t*, int16_t*);
using ConvertFn = void (*)(uint8_t*, int32_t);
using Block = std::array<int16_t, 64>;

struct Library {
  void* handle = nullptr;
  PairFn izzq = nullptr;
  BlockFn idct = nullptr;
  PlaceFn cifY = nullptr, cifC = nullptr, vgaY = nullptr, vgaC = nullptr;
  ConvertFn yuvToRgb = nullptr;

  Library() {
    handle = dlopen(KORVEL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!handle) return;
    izzq = reinterpret_cast<PairFn>(dlsym(handle, "IZZQ"));
    idct = reinterpret_cast<BlockFn>(dlsym(handle, "Idct"));
    cifY = reinterpret_cast<PlaceFn>(dlsym(handle, "CopyBlockCifY"));
    cifC = reinterpret_cast<PlaceFn>(dlsym(handle, "CopyBlockCifC"));
    vgaY = reinterpret_cast<PlaceFn>(dlsym(handle, "CopyBlockVgaY"));
    vgaC = reinterpret_cast<PlaceFn>(dlsym(handle, "CopyBlockVgaC"));
    yuvToRgb = reinterpret_cast<ConvertFn>(dlsym(handle, "YUVtoRGB"));
  }
};

const Library& Lib() {
  static Library lib;
  return lib;
}

class KorvelLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(Lib().handle, nullptr) << dlerror();
    ASSERT_TRUE(Lib().izzq && Lib().idct && Lib().cifY && Lib().cifC && Lib().vgaY && Lib().vgaC &&
                Lib().yuvToRgb);
  }
};

// ---- references -------------------------------------------------------------------------

// Zig-zag scan: scan position -> raster index, as printed in the MPEG-1 standard.
constexpr int kZigZag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                             12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                             35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                             58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
constexpr int kIntraMatrix[64] = {8,  16, 19, 22, 26, 27, 29, 34, 16, 16, 22, 24, 27, 29, 34, 37,
                                  19, 22, 26, 27, 29, 34, 34, 38, 22, 22, 26, 27, 29, 34, 37, 40,
                                  22, 26, 27, 29, 32, 35, 40, 48, 26, 27, 29, 32, 35, 40, 48, 58,
                                  26, 27, 29, 34, 38, 46, 56, 69, 27, 29, 35, 38, 46, 56, 69, 83};

Block RefIzzq(const Block& scan) {
  Block out{};
  for (int s = 0; s < 64; ++s)
    out[kZigZag[s]] = static_cast<int16_t>(static_cast<uint16_t>(scan[s] * kIntraMatrix[kZigZag[s]]));
  return out;
}

int MatrixEntry(int k, int n) {
  const double c = n == 0 ? 1.0 / std::sqrt(2.0) : 1.0;
  return static_cast<int>(std::lround(128.0 * c * std::cos((2 * k + 1) * n * M_PI / 16.0)));
}

Block RefIdctPass(const Block& in) {
  Block out{};
  for (int j = 0; j < 8; ++j)
    for (int k = 0; k < 8; ++k) {
      int64_t sum = 0;
      for (int n = 0; n < 8; ++n) sum += int64_t{in[8 * j + n]} * MatrixEntry(k, n);
      // floor division by 256, then the low 16 bits
      const int64_t shifted = sum >= 0 ? sum / 256 : -((-sum + 255) / 256);
      out[8 * k + j] = static_cast<int16_t>(static_cast<uint16_t>(shifted & 0xFFFF));
    }
  return out;
}

Block RefIdct(const Block& in) { return RefIdctPass(RefIdctPass(in)); }

int RefConv(int64_t v) { return v < 0 ? 0 : (v >= 55845 ? 255 : static_cast<int>(v / 219)); }

std::array<uint8_t, 3> RefPixel(uint8_t y, uint8_t p, uint8_t q) {
  const int64_t luma = 256 * int64_t{y} - 16;
  const int64_t cb = static_cast<int8_t>(p), cr = static_cast<int8_t>(q);
  return {static_cast<uint8_t>(RefConv(luma + 350 * cb)), static_cast<uint8_t>(RefConv(luma - 179 * cb - 85 * cr)),
          static_cast<uint8_t>(RefConv(luma + 443 * cr))};
}

Block RandomBlock(std::mt19937& rng, int lo, int hi) {
  std::uniform_int_distribution<int> d(lo, hi);
  Block b{};
  for (auto& v : b) v = static_cast<int16_t>(d(rng));
  return b;
}

Block WithValueAt(int index, int16_t value) {
  Block b{};
  b[index] = value;
  return b;
}

// ---- IZZQ and Idct ------------------------------------------------------------------------

TEST_F(KorvelLibrary, MatrixTableMatchesCosineFormula) {
  // The hand-typed table in the library must be the rounded cosines; Idct of a unit impulse
  // at (row 0, column n) exposes column n of the matrix after one pass.
  for (int n = 0; n < 8; ++n) {
    Block b = WithValueAt(n, 256);  // 256 * M >> 8 == M after the first pass
    Block once = RefIdctPass(b);
    for (int k = 0; k < 8; ++k) EXPECT_EQ(once[8 * k], MatrixEntry(k, n));
  }
  EXPECT_EQ(MatrixEntry(0, 0), 91);
  EXPECT_EQ(MatrixEntry(7, 7), -25);
}

TEST_F(KorvelLibrary, IzzqWorkedExamples) {
  Block dst{};
  Lib().izzq(dst.data(), WithValueAt(0, 128).data());
  EXPECT_EQ(dst[0], 1024);
  Lib().izzq(dst.data(), WithValueAt(1, 1).data());
  EXPECT_EQ(dst[1], 16);
  Lib().izzq(dst.data(), WithValueAt(2, 1).data());
  EXPECT_EQ(dst[8], 16);
  Lib().izzq(dst.data(), WithValueAt(63, 1).data());
  EXPECT_EQ(dst[63], 83);
  Lib().izzq(dst.data(), WithValueAt(63, 2000).data());  // 166000 keeps its low 16 bits
  EXPECT_EQ(dst[63], static_cast<int16_t>(166000 & 0xFFFF));
  EXPECT_EQ(dst[63], -30608);  // 166000 - 196608
}

TEST_F(KorvelLibrary, IdctWorkedExamples) {
  Block zero{};
  Lib().idct(zero.data());
  for (int16_t v : zero) EXPECT_EQ(v, 0);

  Block dc = WithValueAt(0, 1024);  // DC 128 after IZZQ
  EXPECT_EQ(RefIdctPass(dc)[0], 364);
  Lib().idct(dc.data());
  for (int16_t v : dc) EXPECT_EQ(v, 129);

  Block negative = WithValueAt(0, -8);  // DC -1 after IZZQ
  EXPECT_EQ(RefIdctPass(negative)[0], -3);
  Lib().idct(negative.data());
  for (int16_t v : negative) EXPECT_EQ(v, -2);
}

TEST_F(KorvelLibrary, IzzqAndIdctMatchReferenceOnRandomBlocks) {
  std::mt19937 rng(1234);
  for (int round = 0; round < 20000; ++round) {
    // Small levels as in real pictures, and full-range values that overflow 16 bits.
    const Block scan = round % 2 ? RandomBlock(rng, -2048, 2047) : RandomBlock(rng, -32768, 32767);
    Block weighted{};
    Lib().izzq(weighted.data(), scan.data());
    ASSERT_EQ(weighted, RefIzzq(scan)) << "round " << round;
    Block samples = weighted;
    Lib().idct(samples.data());
    ASSERT_EQ(samples, RefIdct(weighted)) << "round " << round;
  }
}

TEST_F(KorvelLibrary, IdctExtremesWrapLikeReference) {
  for (int16_t v : {int16_t{-32768}, int16_t{32767}}) {
    Block all{};
    all.fill(v);
    Block got = all;
    Lib().idct(got.data());
    EXPECT_EQ(got, RefIdct(all));
  }
}

// ---- placement ------------------------------------------------------------------------------

struct Frame {
  int stride;
  std::vector<uint8_t> bytes;
  static constexpr uint8_t kGuard = 0xA5;
  Frame(int width, int height) : stride(3 * width), bytes(static_cast<size_t>(3 * width * height), kGuard) {}
  uint8_t* At(int memoryRow, int column, int component) {
    return &bytes[static_cast<size_t>(memoryRow * stride + 3 * column + component)];
  }
};

uint8_t LumaClamp(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v >= 255 ? 255 : v)); }
uint8_t ChromaClamp(int v) { return static_cast<uint8_t>(v >= 127 ? 127 : (v < -128 ? -128 : v)); }

void CheckLumaPlacement(PlaceFn place, int width) {
  std::mt19937 rng(width);
  for (int round = 0; round < 200; ++round) {
    Frame frame(width, 32);
    const Block samples = RandomBlock(rng, -400, 400);
    Block scratch = samples;
    const int baseRow = 8, baseColumn = 16;
    place(frame.At(baseRow, baseColumn, 0), scratch.data());
    Frame expected(width, 32);
    for (int i = 0; i < 8; ++i)
      for (int c = 0; c < 8; ++c) *expected.At(baseRow + 7 - i, baseColumn + c, 0) = LumaClamp(samples[8 * i + c]);
    ASSERT_EQ(frame.bytes, expected.bytes);
    for (int k = 0; k < 64; ++k) {
      ASSERT_EQ(static_cast<uint16_t>(scratch[k]) & 0xFF, LumaClamp(samples[k]));
      ASSERT_EQ(static_cast<uint16_t>(scratch[k]) >> 8, static_cast<uint16_t>(samples[k]) >> 8);
    }
  }
}

void CheckChromaPlacement(PlaceFn place, int width, int component) {
  std::mt19937 rng(width + component);
  for (int round = 0; round < 200; ++round) {
    Frame frame(width, 48);
    const Block samples = RandomBlock(rng, -400, 400);
    Block scratch = samples;
    const int baseRow = 16, baseColumn = 32;
    place(frame.At(baseRow, baseColumn, component), scratch.data());
    Frame expected(width, 48);
    for (int row = 0; row < 16; ++row)
      for (int column = 0; column < 16; ++column) {
        // Memory row baseRow + 15 is the top of the macroblock: sample row 0.
        const int sampleRow = (15 - row) / 2, sampleColumn = column / 2;
        *expected.At(baseRow + row, baseColumn + column, component) =
            ChromaClamp(samples[8 * sampleRow + sampleColumn]);
      }
    ASSERT_EQ(frame.bytes, expected.bytes);
    for (int k = 0; k < 64; ++k) ASSERT_EQ(static_cast<uint16_t>(scratch[k]) & 0xFF, ChromaClamp(samples[k]));
  }
}

TEST_F(KorvelLibrary, LumaPlacementWritesOnlyByteZeroOfItsBlock) {
  CheckLumaPlacement(Lib().cifY, 320);
  CheckLumaPlacement(Lib().vgaY, 640);
}

TEST_F(KorvelLibrary, ChromaPlacementCoversItsMacroblock) {
  CheckChromaPlacement(Lib().cifC, 320, 1);
  CheckChromaPlacement(Lib().cifC, 320, 2);
  CheckChromaPlacement(Lib().vgaC, 640, 1);
  CheckChromaPlacement(Lib().vgaC, 640, 2);
}

TEST_F(KorvelLibrary, ClampingEdges) {
  Frame frame(640, 16);
  Block luma{};
  const int16_t in[] = {-1, 0, 254, 255, 300};
  const uint8_t out[] = {0, 0, 254, 255, 255};
  for (int i = 0; i < 5; ++i) luma[56 + i] = in[i];  // bottom sample row lands on memory row 0
  Lib().vgaY(frame.At(0, 0, 0), luma.data());
  for (int i = 0; i < 5; ++i) EXPECT_EQ(*frame.At(0, i, 0), out[i]);

  Block chroma{};
  const int16_t cin[] = {-200, -128, 126, 127, 500};
  const int8_t cout[] = {-128, -128, 126, 127, 127};
  for (int i = 0; i < 5; ++i) chroma[i] = cin[i];  // sample row 0: the top two memory rows
  Lib().vgaC(frame.At(0, 0, 1), chroma.data());
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(static_cast<int8_t>(*frame.At(15, 2 * i, 1)), cout[i]);
    EXPECT_EQ(static_cast<int8_t>(*frame.At(14, 2 * i + 1, 1)), cout[i]);
  }
}

// ---- colour conversion ----------------------------------------------------------------------

TEST_F(KorvelLibrary, ConversionWorkedExamples) {
  auto convert = [](uint8_t y, int8_t p, int8_t q) {
    std::array<uint8_t, 3> px = {y, static_cast<uint8_t>(p), static_cast<uint8_t>(q)};
    Lib().yuvToRgb(px.data(), 1);
    return px;
  };
  EXPECT_EQ(convert(128, 0, 0), (std::array<uint8_t, 3>{149, 149, 149}));
  EXPECT_EQ(convert(0, 0, 0), (std::array<uint8_t, 3>{0, 0, 0}));
  EXPECT_EQ(convert(218, 0, 0), (std::array<uint8_t, 3>{254, 254, 254}));
  EXPECT_EQ(convert(219, 0, 0), (std::array<uint8_t, 3>{255, 255, 255}));
  EXPECT_EQ(convert(128, 127, -128), (std::array<uint8_t, 3>{255, 95, 0}));
}

TEST_F(KorvelLibrary, ConversionIsExactForEveryInputPixel) {
  // All 2^24 combinations of Y, Cb and Cr in one call.
  std::vector<uint8_t> frame(size_t{3} << 24);
  for (uint32_t i = 0; i < (1u << 24); ++i) {
    frame[3 * i] = static_cast<uint8_t>(i >> 16);
    frame[3 * i + 1] = static_cast<uint8_t>(i >> 8);
    frame[3 * i + 2] = static_cast<uint8_t>(i);
  }
  Lib().yuvToRgb(frame.data(), 1 << 24);
  for (uint32_t i = 0; i < (1u << 24); ++i) {
    const auto want = RefPixel(static_cast<uint8_t>(i >> 16), static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i));
    ASSERT_TRUE(frame[3 * i] == want[0] && frame[3 * i + 1] == want[1] && frame[3 * i + 2] == want[2]) << "pixel " << i;
  }
}

TEST_F(KorvelLibrary, ConversionCoversExactlyCountPixels) {
  for (int count : {76800, 307200}) {
    std::vector<uint8_t> frame(static_cast<size_t>(3 * count + 3), 128);
    frame[static_cast<size_t>(3 * count)] = 7;  // the pixel after the frame stays untouched
    Lib().yuvToRgb(frame.data(), count);
    const auto want = RefPixel(128, 128, 128);
    EXPECT_EQ(frame[1], want[1]);
    EXPECT_EQ(frame[static_cast<size_t>(3 * count - 2)], want[1]);
    EXPECT_EQ(frame[static_cast<size_t>(3 * count)], 7);
  }
  std::array<uint8_t, 3> px = {128, 0, 0};
  Lib().yuvToRgb(px.data(), 0);
  Lib().yuvToRgb(px.data(), -5);
  EXPECT_EQ(px, (std::array<uint8_t, 3>{128, 0, 0}));
}

}  // namespace
