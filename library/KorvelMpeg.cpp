// The block and frame arithmetic of the picture decoder. Every result is bit-exact with
// the plain integer rules in the header comments; the SSE2 paths compute the very same
// sums, only several at a time. Nothing here may pull in the C++ runtime: no new, no
// exceptions, no standard library beyond <stdint.h> and the intrinsics.

#include "KorvelMpeg.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <tmmintrin.h>
#endif

namespace {

// Default intra weights of MPEG-1 in raster order, and for each raster index the position
// it has in the zig-zag scan.
constexpr int kWeight[64] = {
    8,  16, 19, 22, 26, 27, 29, 34, 16, 16, 22, 24, 27, 29, 34, 37,
    19, 22, 26, 27, 29, 34, 34, 38, 22, 22, 26, 27, 29, 34, 37, 40,
    22, 26, 27, 29, 32, 35, 40, 48, 26, 27, 29, 32, 35, 40, 48, 58,
    26, 27, 29, 34, 38, 46, 56, 69, 27, 29, 35, 38, 46, 56, 69, 83};

constexpr int kScanPosOfRaster[64] = {
    0,  1,  5,  6,  14, 15, 27, 28, 2,  4,  7,  13, 16, 26, 29, 42,
    3,  8,  12, 17, 25, 30, 41, 43, 9,  11, 18, 24, 31, 40, 44, 53,
    10, 19, 23, 32, 39, 45, 52, 54, 20, 22, 33, 38, 46, 51, 55, 60,
    21, 34, 37, 47, 50, 56, 59, 61, 35, 36, 48, 49, 57, 58, 62, 63};

// round(128 * C(n) * cos((2k+1) n pi / 16)), row k, column n.
constexpr int16_t kIdctMatrix[8][8] = {
    {91, 126, 118, 106, 91, 71, 49, 25},     {91, 106, 49, -25, -91, -126, -118, -71},
    {91, 71, -49, -126, -91, 25, 118, 106},  {91, 25, -118, -71, 91, 106, -49, -126},
    {91, -25, -118, 71, 91, -106, -49, 126}, {91, -71, -49, 126, -91, -25, 118, -106},
    {91, -106, 49, 25, -91, 126, -118, 71},  {91, -126, 118, -106, 91, -71, 49, -25}};

inline int16_t Low16(int32_t v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }

#if defined(__SSE2__)
// Matrix pairs for pmaddwd: kPairs.v[k][p] holds the coefficient pair (M[k][2p], M[k][2p+1])
// in every 32-bit lane.
struct PairTable {
  alignas(16) int16_t v[8][4][8];
};
constexpr PairTable MakePairs() {
  PairTable t{};
  for (int k = 0; k < 8; ++k)
    for (int p = 0; p < 4; ++p)
      for (int lane = 0; lane < 4; ++lane) {
        t.v[k][p][2 * lane] = kIdctMatrix[k][2 * p];
        t.v[k][p][2 * lane + 1] = kIdctMatrix[k][2 * p + 1];
      }
  return t;
}
constexpr PairTable kPairs = MakePairs();

// Regroups four rows so that 32-bit lane j of pairs[p] holds (x[2p], x[2p+1]) of row j.
inline void GatherPairs(const int16_t* rows, __m128i pairs[4]) {
  const __m128i* r = reinterpret_cast<const __m128i*>(rows);
  const __m128i r0 = _mm_loadu_si128(r), r1 = _mm_loadu_si128(r + 1);
  const __m128i r2 = _mm_loadu_si128(r + 2), r3 = _mm_loadu_si128(r + 3);
  const __m128i t0 = _mm_unpacklo_epi32(r0, r1), t1 = _mm_unpacklo_epi32(r2, r3);
  const __m128i t2 = _mm_unpackhi_epi32(r0, r1), t3 = _mm_unpackhi_epi32(r2, r3);
  pairs[0] = _mm_unpacklo_epi64(t0, t1);
  pairs[1] = _mm_unpackhi_epi64(t0, t1);
  pairs[2] = _mm_unpacklo_epi64(t2, t3);
  pairs[3] = _mm_unpackhi_epi64(t2, t3);
}

// Sum over n of x[n] * M[k][n] for the four rows gathered in `pairs`, one row per lane.
inline __m128i RowSums(const __m128i pairs[4], int k) {
  const __m128i* m = reinterpret_cast<const __m128i*>(kPairs.v[k]);
  const __m128i s01 = _mm_add_epi32(_mm_madd_epi16(pairs[0], _mm_load_si128(m)), _mm_madd_epi16(pairs[1], _mm_load_si128(m + 1)));
  const __m128i s23 = _mm_add_epi32(_mm_madd_epi16(pairs[2], _mm_load_si128(m + 2)), _mm_madd_epi16(pairs[3], _mm_load_si128(m + 3)));
  return _mm_add_epi32(s01, s23);
}

// Bits 8..23 of each 32-bit sum as a signed 16-bit value: the low 16 bits of the sum shifted
// right arithmetically by 8. Shifting left by 8 first lets the arithmetic shift by 16 do both
// steps, and the saturating pack that follows is then exact.
inline __m128i ShiftedLow16(__m128i sums) { return _mm_srai_epi32(_mm_slli_epi32(sums, 8), 16); }

// One pass: row j of `in` becomes column j of `out`. Lanes run over the input rows, so
// output row k (all eight j at once) comes straight out of eight multiply-adds.
void IdctPass(const int16_t* in, int16_t* out) {
  __m128i upper[4], lower[4];  // input rows 0..3 and 4..7
  GatherPairs(in, upper);
  GatherPairs(in + 32, lower);
  __m128i* o = reinterpret_cast<__m128i*>(out);
  for (int k = 0; k < 8; ++k)
    _mm_storeu_si128(o + k, _mm_packs_epi32(ShiftedLow16(RowSums(upper, k)), ShiftedLow16(RowSums(lower, k))));
}
#else
void IdctPass(const int16_t* in, int16_t* out) {
  for (int j = 0; j < 8; ++j)
    for (int k = 0; k < 8; ++k) {
      int32_t sum = 0;
      for (int n = 0; n < 8; ++n) sum += in[8 * j + n] * kIdctMatrix[k][n];
      out[8 * k + j] = Low16(sum >> 8);
    }
}
#endif

// Flat blocks are common: when only the DC term is set, pass 1 leaves one value down the first
// column and pass 2 spreads it over the whole block. The same two truncating steps as the
// full product give the same samples.
#if defined(__SSE2__)
bool OnlyDcIsSet(const int16_t* block) {
  const __m128i* rows = reinterpret_cast<const __m128i*>(block);
  __m128i any = _mm_and_si128(_mm_loadu_si128(rows), _mm_set_epi16(-1, -1, -1, -1, -1, -1, -1, 0));
  for (int i = 1; i < 8; ++i) any = _mm_or_si128(any, _mm_loadu_si128(rows + i));
  return _mm_movemask_epi8(_mm_cmpeq_epi8(any, _mm_setzero_si128())) == 0xFFFF;
}
#else
bool OnlyDcIsSet(const int16_t* block) {
  for (int i = 1; i < 64; ++i)
    if (block[i] != 0) return false;
  return true;
}
#endif

void FillWithDcSample(int16_t* block) {
  const int16_t column = Low16((block[0] * kIdctMatrix[0][0]) >> 8);
  const int16_t sample = Low16((column * kIdctMatrix[0][0]) >> 8);
  for (int i = 0; i < 64; ++i) block[i] = sample;
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

template <int Stride>
void PlaceLuma(uint8_t* dst, int16_t* block) {
  for (int i = 0; i < 8; ++i) {
    uint8_t* row = dst + (7 - i) * Stride;
    int16_t* samples = block + 8 * i;
    for (int c = 0; c < 8; ++c) row[3 * c] = StoreLowByte(samples[c], ClampLuma(samples[c]));
  }
}

template <int Stride>
void PlaceChroma(uint8_t* dst, int16_t* block) {
  for (int i = 0; i < 8; ++i) {
    uint8_t* upper = dst + (15 - 2 * i) * Stride;
    uint8_t* lower = dst + (14 - 2 * i) * Stride;
    int16_t* samples = block + 8 * i;
    for (int c = 0; c < 8; ++c) {
      const uint8_t v = StoreLowByte(samples[c], ClampChroma(samples[c]));
      upper[6 * c] = upper[6 * c + 3] = v;
      lower[6 * c] = lower[6 * c + 3] = v;
    }
  }
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

#if defined(__x86_64__) || defined(__i386__)
// Sixteen pixels at a time with SSSE3 byte shuffles, chosen at run time: 48 interleaved bytes
// are split into Y, Cb and Cr vectors, the three sums formed with 16-bit multiply-adds of
// (Y, colour) pairs, and conv() applied on 16-bit lanes. The division uses
// 219 x 1197 = 2^18 - 1: for 0 <= v < 55845, v / 219 rounded down equals
// (v + 1) x 1197 / 2^18 rounded down. So the sums are formed plus 1 (and minus 32768, so that
// the signed saturating pack clamps them to 0..65535), limited to 55846, which gives 255, and
// one multiply-high and a shift finish the division. Every pixel gets exactly the plain
// rule's bytes.
struct ShuffleMasks {
  alignas(16) int8_t split[3][3][16];  // [component][source register][lane]
  alignas(16) int8_t merge[3][3][16];  // [output register][component][lane]
};
constexpr ShuffleMasks MakeShuffleMasks() {
  ShuffleMasks m{};
  for (int component = 0; component < 3; ++component)
    for (int reg = 0; reg < 3; ++reg)
      for (int lane = 0; lane < 16; ++lane) {
        const int source = 3 * lane + component;
        m.split[component][reg][lane] = static_cast<int8_t>(source / 16 == reg ? source % 16 : -128);
        const int out = 16 * reg + lane;
        m.merge[reg][component][lane] = static_cast<int8_t>(out % 3 == component ? out / 3 : -128);
      }
  return m;
}
constexpr ShuffleMasks kShuffleMasks = MakeShuffleMasks();

__attribute__((target("ssse3"))) inline __m128i Mask(const int8_t* lanes) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(lanes));
}

// conv() of eight sums given as v + 1 - 32768 in two vectors of four.
__attribute__((target("ssse3"))) inline __m128i ConvLanes(__m128i low, __m128i high) {
  const __m128i biased = _mm_min_epi16(_mm_packs_epi32(low, high), _mm_set1_epi16(55846 - 32768));
  const __m128i plusOne = _mm_xor_si128(biased, _mm_set1_epi16(static_cast<int16_t>(0x8000)));
  return _mm_srli_epi16(_mm_mulhi_epu16(plusOne, _mm_set1_epi16(1197)), 2);
}

// Eight pixels as 16-bit lanes: Y, Cb, Cr in, the three colour bytes (as 16-bit lanes) out.
__attribute__((target("ssse3"))) inline void ConvertEight(__m128i y, __m128i p, __m128i q, __m128i out[3]) {
  const auto pairs = [](int16_t a, int16_t b) __attribute__((target("ssse3"))) { return _mm_set_epi16(b, a, b, a, b, a, b, a); };
  const __m128i one = _mm_set1_epi16(1);
  const __m128i lumaOffset = _mm_set1_epi32(-16 + 1 - 32768);  // L's -16, then as ConvLanes takes it
  const __m128i yp[2] = {_mm_unpacklo_epi16(y, p), _mm_unpackhi_epi16(y, p)};
  const __m128i yq[2] = {_mm_unpacklo_epi16(y, q), _mm_unpackhi_epi16(y, q)};
  const __m128i q1[2] = {_mm_unpacklo_epi16(q, one), _mm_unpackhi_epi16(q, one)};
  __m128i sums[3][2];
  for (int h = 0; h < 2; ++h) {
    sums[0][h] = _mm_add_epi32(_mm_madd_epi16(yp[h], pairs(256, 350)), lumaOffset);
    sums[1][h] = _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(yp[h], pairs(256, -179)), _mm_madd_epi16(q1[h], pairs(-85, -16))),
                               _mm_set1_epi32(1 - 32768));
    sums[2][h] = _mm_add_epi32(_mm_madd_epi16(yq[h], pairs(256, 443)), lumaOffset);
  }
  for (int c = 0; c < 3; ++c) out[c] = ConvLanes(sums[c][0], sums[c][1]);
}

__attribute__((target("ssse3"))) void ConvertSixteen(uint8_t* data) {
  __m128i in[3], component[3];
  for (int r = 0; r < 3; ++r) in[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * r));
  for (int c = 0; c < 3; ++c)
    component[c] = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(in[0], Mask(kShuffleMasks.split[c][0])),
                                             _mm_shuffle_epi8(in[1], Mask(kShuffleMasks.split[c][1]))),
                                _mm_shuffle_epi8(in[2], Mask(kShuffleMasks.split[c][2])));
  const __m128i zero = _mm_setzero_si128();
  const auto widenSigned = [](__m128i v, bool high) __attribute__((target("ssse3"))) {
    return _mm_srai_epi16(high ? _mm_unpackhi_epi8(v, v) : _mm_unpacklo_epi8(v, v), 8);
  };
  __m128i low[3], high[3];
  ConvertEight(_mm_unpacklo_epi8(component[0], zero), widenSigned(component[1], false), widenSigned(component[2], false), low);
  ConvertEight(_mm_unpackhi_epi8(component[0], zero), widenSigned(component[1], true), widenSigned(component[2], true), high);
  __m128i result[3];
  for (int c = 0; c < 3; ++c) result[c] = _mm_packus_epi16(low[c], high[c]);
  for (int r = 0; r < 3; ++r) {
    const __m128i merged = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(result[0], Mask(kShuffleMasks.merge[r][0])),
                                                     _mm_shuffle_epi8(result[1], Mask(kShuffleMasks.merge[r][1]))),
                                        _mm_shuffle_epi8(result[2], Mask(kShuffleMasks.merge[r][2])));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(data + 16 * r), merged);
  }
}

// Asked at every call (a load and a bit test): a function-local static would need the C++
// runtime's guard functions.
bool HasSsse3() { return __builtin_cpu_supports("ssse3"); }

// Placement with SSSE3: the saturating packs clamp exactly as the plain rule does (unsigned
// to 0..255 for luminance, signed to -128..127 for chrominance), and byte shuffles spread the
// eight clamped values of a sample row to their bytes 3 apart, which are blended into the
// frame row so that the other two bytes of every pixel keep their values.
struct PlacementMasks {
  alignas(16) int8_t lumaSpread[2][16];    // sample c to byte 3c of a 24-byte row
  alignas(16) int8_t lumaKeep[2][16];      // 0 on those bytes, all ones on the others
  alignas(16) int8_t chromaSpread[3][16];  // sample c to bytes 6c and 6c + 3 of a 46-byte row
  alignas(16) int8_t chromaKeep[3][16];
};
// A chrominance row starts at a Cb or Cr byte, so its 16 pixels end 46 bytes on; the last
// window starts at byte 30 (overlapping the middle one) so that nothing beyond them is read
// or written, which at the frame's top right corner would be past the frame buffer.
constexpr int kChromaWindowStart[3] = {0, 16, 30};
constexpr PlacementMasks MakePlacementMasks() {
  PlacementMasks m{};
  for (int part = 0; part < 3; ++part)
    for (int lane = 0; lane < 16; ++lane) {
      const int byte = 16 * part + lane;
      const bool sampleByte = byte % 3 == 0;
      if (part < 2) {
        m.lumaSpread[part][lane] = static_cast<int8_t>(sampleByte ? byte / 3 : -128);
        m.lumaKeep[part][lane] = static_cast<int8_t>(sampleByte ? 0 : -1);
      }
      const int chromaByte = kChromaWindowStart[part] + lane;
      const bool chromaSampleByte = chromaByte % 3 == 0;
      m.chromaSpread[part][lane] = static_cast<int8_t>(chromaSampleByte ? chromaByte / 6 : -128);
      m.chromaKeep[part][lane] = static_cast<int8_t>(chromaSampleByte ? 0 : -1);
    }
  return m;
}
constexpr PlacementMasks kPlacementMasks = MakePlacementMasks();

// The samples with their low bytes replaced by the clamped bytes (lanes 0..7 of `clamped`).
__attribute__((target("ssse3"))) inline __m128i WithLowBytes(__m128i samples, __m128i clamped) {
  return _mm_or_si128(_mm_and_si128(samples, _mm_set1_epi16(static_cast<int16_t>(0xFF00))),
                      _mm_unpacklo_epi8(clamped, _mm_setzero_si128()));
}

__attribute__((target("ssse3"))) inline __m128i Blend(__m128i frame, __m128i clamped, const int8_t* spread, const int8_t* keep) {
  return _mm_or_si128(_mm_and_si128(frame, Mask(keep)), _mm_shuffle_epi8(clamped, Mask(spread)));
}

template <int Stride>
__attribute__((target("ssse3"))) void PlaceLumaSsse3(uint8_t* dst, int16_t* block) {
  const PlacementMasks& m = kPlacementMasks;
  for (int i = 0; i < 8; ++i) {
    __m128i* samplesAt = reinterpret_cast<__m128i*>(block + 8 * i);
    const __m128i samples = _mm_loadu_si128(samplesAt);
    const __m128i clamped = _mm_packus_epi16(samples, samples);
    _mm_storeu_si128(samplesAt, WithLowBytes(samples, clamped));
    __m128i* row = reinterpret_cast<__m128i*>(dst + (7 - i) * Stride);
    _mm_storeu_si128(row, Blend(_mm_loadu_si128(row), clamped, m.lumaSpread[0], m.lumaKeep[0]));
    _mm_storel_epi64(row + 1, Blend(_mm_loadl_epi64(row + 1), clamped, m.lumaSpread[1], m.lumaKeep[1]));
  }
}

template <int Stride>
__attribute__((target("ssse3"))) void PlaceChromaSsse3(uint8_t* dst, int16_t* block) {
  const PlacementMasks& m = kPlacementMasks;
  for (int i = 0; i < 8; ++i) {
    __m128i* samplesAt = reinterpret_cast<__m128i*>(block + 8 * i);
    const __m128i samples = _mm_loadu_si128(samplesAt);
    const __m128i clamped = _mm_packs_epi16(samples, samples);
    _mm_storeu_si128(samplesAt, WithLowBytes(samples, clamped));
    uint8_t* const rows[2] = {dst + (15 - 2 * i) * Stride, dst + (14 - 2 * i) * Stride};
    for (uint8_t* rowBytes : rows) {
      // All three windows are read before any is written: a load that straddles the
      // overlapping store just made would wait for it to retire.
      __m128i* windows[3];
      __m128i frame[3];
      for (int part = 0; part < 3; ++part) {
        windows[part] = reinterpret_cast<__m128i*>(rowBytes + kChromaWindowStart[part]);
        frame[part] = _mm_loadu_si128(windows[part]);
      }
      for (int part = 0; part < 3; ++part)
        _mm_storeu_si128(windows[part], Blend(frame[part], clamped, m.chromaSpread[part], m.chromaKeep[part]));
    }
  }
}

template <int Stride>
void PlaceLumaFastest(uint8_t* dst, int16_t* block) {
  if (HasSsse3()) return PlaceLumaSsse3<Stride>(dst, block);
  PlaceLuma<Stride>(dst, block);
}

template <int Stride>
void PlaceChromaFastest(uint8_t* dst, int16_t* block) {
  if (HasSsse3()) return PlaceChromaSsse3<Stride>(dst, block);
  PlaceChroma<Stride>(dst, block);
}
#else
template <int Stride>
void PlaceLumaFastest(uint8_t* dst, int16_t* block) {
  PlaceLuma<Stride>(dst, block);
}

template <int Stride>
void PlaceChromaFastest(uint8_t* dst, int16_t* block) {
  PlaceChroma<Stride>(dst, block);
}
#endif

}  // namespace

extern "C" {

KORVEL_API void IZZQ(int16_t* dst, const int16_t* src) {
  // Fully unrolled by the compiler: 64 multiplications by constants.
#pragma GCC unroll 64
  for (int r = 0; r < 64; ++r) dst[r] = Low16(src[kScanPosOfRaster[r]] * kWeight[r]);
}

KORVEL_API void Idct(int16_t* block) {
  if (OnlyDcIsSet(block)) {
    FillWithDcSample(block);
    return;
  }
  alignas(16) int16_t scratch[64];
  IdctPass(block, scratch);
  IdctPass(scratch, block);
}

KORVEL_API void CopyBlockCifY(uint8_t* dst, int16_t* block) { PlaceLumaFastest<960>(dst, block); }
KORVEL_API void CopyBlockVgaY(uint8_t* dst, int16_t* block) { PlaceLumaFastest<1920>(dst, block); }
KORVEL_API void CopyBlockCifC(uint8_t* dst, int16_t* block) { PlaceChromaFastest<960>(dst, block); }
KORVEL_API void CopyBlockVgaC(uint8_t* dst, int16_t* block) { PlaceChromaFastest<1920>(dst, block); }

KORVEL_API void YUVtoRGB(uint8_t* data, int32_t count) {
  int32_t i = 0;
#if defined(__x86_64__) || defined(__i386__)
  if (HasSsse3())
    for (; i + 16 <= count; i += 16, data += 48) ConvertSixteen(data);
#endif
  for (; i < count; ++i, data += 3) {
    const int32_t luma = 256 * data[0] - 16;
    const int32_t cb = static_cast<int8_t>(data[1]);
    const int32_t cr = static_cast<int8_t>(data[2]);
    data[0] = Conv(luma + 350 * cb);
    data[1] = Conv(luma - 179 * cb - 85 * cr);
    data[2] = Conv(luma + 443 * cr);
  }
}

}  // extern "C"
