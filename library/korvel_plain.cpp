// The plain kernels: the library's rules one sample at a time. They run wherever no vector
// twin applies and are the reference every vector twin is tested against.
#include "library/korvel_kernels.h"

namespace korvel {
namespace {

bool OnlyDcIsSet(const int16_t* block) {
  for (int i = 1; i < 64; ++i)
    if (block[i] != 0) return false;
  return true;
}

// Writes the clamped value into the sample's low byte, as callers may observe the block
// afterwards; the high byte stays as it was.
inline uint8_t StoreLowByte(int16_t& sample, uint8_t value) {
  const uint16_t bits = static_cast<uint16_t>(sample);
  sample = static_cast<int16_t>((bits & 0xFF00u) | value);
  return value;
}

inline uint8_t ClampLuma(int16_t s) { return s < 0 ? 0 : (s >= 255 ? 255 : static_cast<uint8_t>(s)); }
inline uint8_t ClampChroma(int16_t s) {
  const int v = s >= 127 ? 127 : (s < -128 ? -128 : s);
  return static_cast<uint8_t>(v);
}

// v / 219 for 0 <= v < 55845 as a multiply and shift; exact over that whole range
// (the library tests check every value).
constexpr uint32_t kDiv219Mul = 76609;
constexpr int kDiv219Shift = 24;

// Branch-free: clamping to 0..55845 first gives 0 for negative sums and, since 55845 is
// exactly 219 x 255, 255 for every sum at or above it; the multiply-shift is exact on the
// whole clamped range. Colour data makes the two tests unpredictable for a branch predictor.
inline uint8_t Conv(int32_t v) {
  v = v < 0 ? 0 : v;
  v = v > 55845 ? 55845 : v;
  return static_cast<uint8_t>((static_cast<uint32_t>(v) * kDiv219Mul) >> kDiv219Shift);
}

}  // namespace

void IzzqPlain(int16_t* dst, const int16_t* src) {
  // Fully unrolled by the compiler: 64 multiplications by constants.
#pragma GCC unroll 64
  for (int r = 0; r < 64; ++r) dst[r] = Low16(src[kScanPosOfRaster[r]] * kWeight[r]);
}

void IdctPassPlain(const int16_t* in, int16_t* out) {
  for (int j = 0; j < 8; ++j)
    for (int k = 0; k < 8; ++k) {
      int32_t sum = 0;
      for (int n = 0; n < 8; ++n) sum += in[8 * j + n] * kIdctMatrix[k][n];
      out[8 * k + j] = Low16(sum >> 8);
    }
}

void IdctPlain(int16_t* block) {
  if (OnlyDcIsSet(block)) return FillWithDcSample(block);
  int16_t scratch[64];
  IdctPassPlain(block, scratch);
  IdctPassPlain(scratch, block);
}

void PlaceLumaPlain(uint8_t* dst, int16_t* block, int stride) {
  for (int i = 0; i < 8; ++i) {
    uint8_t* row = dst + (7 - i) * stride;
    int16_t* samples = block + 8 * i;
    for (int c = 0; c < 8; ++c) row[3 * c] = StoreLowByte(samples[c], ClampLuma(samples[c]));
  }
}

void PlaceChromaPlain(uint8_t* dst, int16_t* block, int stride) {
  for (int i = 0; i < 8; ++i) {
    uint8_t* upper = dst + (15 - 2 * i) * stride;
    uint8_t* lower = dst + (14 - 2 * i) * stride;
    int16_t* samples = block + 8 * i;
    for (int c = 0; c < 8; ++c) {
      const uint8_t v = StoreLowByte(samples[c], ClampChroma(samples[c]));
      upper[6 * c] = upper[6 * c + 3] = v;
      lower[6 * c] = lower[6 * c + 3] = v;
    }
  }
}

void ConvertPlain(uint8_t* data, int32_t count) {
  for (int32_t i = 0; i < count; ++i, data += 3) {
    const int32_t luma = 256 * data[0] - 16;
    const int32_t cb = static_cast<int8_t>(data[1]);
    const int32_t cr = static_cast<int8_t>(data[2]);
    data[0] = Conv(luma + 350 * cb);
    data[1] = Conv(luma - 179 * cb - 85 * cr);
    data[2] = Conv(luma + 443 * cr);
  }
}

}  // namespace korvel
