// Kernels for processors with SSSE3 (this file is compiled with -mssse3; KorvelMpeg.cpp calls
// it only after asking the processor).
#include <tmmintrin.h>

#include "library/korvel_kernels.h"

namespace korvel {
namespace {

struct Lanes {
  using Vector = __m128i;
  static Vector Mask(const int8_t* bytes) { return _mm_load_si128(reinterpret_cast<const __m128i*>(bytes)); }
  static Vector Shuffle(Vector v, Vector mask) { return _mm_shuffle_epi8(v, mask); }
  static Vector Or(Vector a, Vector b) { return _mm_or_si128(a, b); }
  static Vector Xor(Vector a, Vector b) { return _mm_xor_si128(a, b); }
  static Vector Zero() { return _mm_setzero_si128(); }
  static Vector Set16(int16_t v) { return _mm_set1_epi16(v); }
  static Vector Set32(int32_t v) { return _mm_set1_epi32(v); }
  static Vector Low8(Vector a, Vector b) { return _mm_unpacklo_epi8(a, b); }
  static Vector High8(Vector a, Vector b) { return _mm_unpackhi_epi8(a, b); }
  static Vector Low16(Vector a, Vector b) { return _mm_unpacklo_epi16(a, b); }
  static Vector High16(Vector a, Vector b) { return _mm_unpackhi_epi16(a, b); }
  static Vector ShiftRightSigned16(Vector v, int n) { return _mm_srai_epi16(v, n); }
  static Vector ShiftRight16(Vector v, int n) { return _mm_srli_epi16(v, n); }
  static Vector MulAdd16(Vector a, Vector b) { return _mm_madd_epi16(a, b); }
  static Vector MulHighUnsigned16(Vector a, Vector b) { return _mm_mulhi_epu16(a, b); }
  static Vector Add32(Vector a, Vector b) { return _mm_add_epi32(a, b); }
  static Vector Min16(Vector a, Vector b) { return _mm_min_epi16(a, b); }
  static Vector Packs32(Vector a, Vector b) { return _mm_packs_epi32(a, b); }
  static Vector PackUnsigned16(Vector a, Vector b) { return _mm_packus_epi16(a, b); }
};

}  // namespace
}  // namespace korvel

#include "library/korvel_convert_lanes.h"

namespace korvel {
namespace {

// IZZQ: each raster row of eight gathers its samples from the scan rows that hold them with
// one byte shuffle per such row, and the 16-bit multiply keeps the low 16 bits of every
// product, as the plain rule does. kZigZagMasks.from[r][g] moves scan row g's samples to
// their places in raster row r; uses[r][g] says whether it holds any.
struct ZigZagMasks {
  alignas(16) int8_t from[8][8][16];
  bool uses[8][8];
};
constexpr ZigZagMasks MakeZigZagMasks() {
  ZigZagMasks m{};
  for (int r = 0; r < 8; ++r)
    for (int g = 0; g < 8; ++g)
      for (int c = 0; c < 8; ++c) {
        const int scan = kScanPosOfRaster[8 * r + c];
        const bool here = scan / 8 == g;
        m.from[r][g][2 * c] = static_cast<int8_t>(here ? 2 * (scan % 8) : -128);
        m.from[r][g][2 * c + 1] = static_cast<int8_t>(here ? 2 * (scan % 8) + 1 : -128);
        m.uses[r][g] = m.uses[r][g] || here;
      }
  return m;
}
constexpr ZigZagMasks kZigZagMasks = MakeZigZagMasks();

// Placement: the saturating packs clamp exactly as the plain rule does (unsigned to 0..255 for
// luminance, signed to -128..127 for chrominance), and byte shuffles spread the eight clamped
// values of a sample row to their bytes 3 apart, which are blended into the frame row so that
// the other two bytes of every pixel keep their values.
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
inline __m128i WithLowBytes(__m128i samples, __m128i clamped) {
  return _mm_or_si128(_mm_and_si128(samples, _mm_set1_epi16(static_cast<int16_t>(0xFF00))),
                      _mm_unpacklo_epi8(clamped, _mm_setzero_si128()));
}

inline __m128i Blend(__m128i frame, __m128i clamped, const int8_t* spread, const int8_t* keep) {
  return _mm_or_si128(_mm_and_si128(frame, Lanes::Mask(keep)), _mm_shuffle_epi8(clamped, Lanes::Mask(spread)));
}

}  // namespace

void IzzqSsse3(int16_t* dst, const int16_t* src) {
  __m128i scanRows[8];
  for (int g = 0; g < 8; ++g) scanRows[g] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 8 * g));
  // Unrolled, so that the table's `uses` are known while compiling and only the shuffles
  // that contribute remain.
#pragma GCC unroll 8
  for (int r = 0; r < 8; ++r) {
    __m128i row = _mm_setzero_si128();
#pragma GCC unroll 8
    for (int g = 0; g < 8; ++g)
      if (kZigZagMasks.uses[r][g]) row = _mm_or_si128(row, _mm_shuffle_epi8(scanRows[g], Lanes::Mask(kZigZagMasks.from[r][g])));
    const __m128i weights = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kWeight + 8 * r));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 8 * r), _mm_mullo_epi16(row, weights));
  }
}

void PlaceLumaSsse3(uint8_t* dst, int16_t* block, int stride) {
  const PlacementMasks& m = kPlacementMasks;
  for (int i = 0; i < 8; ++i) {
    __m128i* samplesAt = reinterpret_cast<__m128i*>(block + 8 * i);
    const __m128i samples = _mm_loadu_si128(samplesAt);
    const __m128i clamped = _mm_packus_epi16(samples, samples);
    _mm_storeu_si128(samplesAt, WithLowBytes(samples, clamped));
    __m128i* row = reinterpret_cast<__m128i*>(dst + (7 - i) * stride);
    _mm_storeu_si128(row, Blend(_mm_loadu_si128(row), clamped, m.lumaSpread[0], m.lumaKeep[0]));
    _mm_storel_epi64(row + 1, Blend(_mm_loadl_epi64(row + 1), clamped, m.lumaSpread[1], m.lumaKeep[1]));
  }
}

void PlaceChromaSsse3(uint8_t* dst, int16_t* block, int stride) {
  const PlacementMasks& m = kPlacementMasks;
  for (int i = 0; i < 8; ++i) {
    __m128i* samplesAt = reinterpret_cast<__m128i*>(block + 8 * i);
    const __m128i samples = _mm_loadu_si128(samplesAt);
    const __m128i clamped = _mm_packs_epi16(samples, samples);
    _mm_storeu_si128(samplesAt, WithLowBytes(samples, clamped));
    uint8_t* const rows[2] = {dst + (15 - 2 * i) * stride, dst + (14 - 2 * i) * stride};
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

int32_t ConvertSsse3(uint8_t* data, int32_t count) {
  int32_t done = 0;
  for (; done + 16 <= count; done += 16, data += 48) {
    __m128i* at = reinterpret_cast<__m128i*>(data);
    __m128i pixels[3] = {_mm_loadu_si128(at), _mm_loadu_si128(at + 1), _mm_loadu_si128(at + 2)};
    ConvertLanes(pixels);
    for (int r = 0; r < 3; ++r) _mm_storeu_si128(at + r, pixels[r]);
  }
  return done;
}

}  // namespace korvel
