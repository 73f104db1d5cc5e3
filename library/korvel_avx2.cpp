// Kernels for processors with AVX2 (this file is compiled with -mavx2; KorvelMpeg.cpp calls it
// only after asking the processor). The conversion runs two 16-pixel groups side by side, one
// in each 128-bit lane, with the very operations of the SSSE3 path.
#include <immintrin.h>

#include "library/korvel_kernels.h"

namespace korvel {
namespace {

struct Lanes {
  using Vector = __m256i;
  static Vector Mask(const int8_t* bytes) {
    return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(bytes)));
  }
  static Vector Shuffle(Vector v, Vector mask) { return _mm256_shuffle_epi8(v, mask); }
  static Vector Or(Vector a, Vector b) { return _mm256_or_si256(a, b); }
  static Vector Xor(Vector a, Vector b) { return _mm256_xor_si256(a, b); }
  static Vector Zero() { return _mm256_setzero_si256(); }
  static Vector Set16(int16_t v) { return _mm256_set1_epi16(v); }
  static Vector Set32(int32_t v) { return _mm256_set1_epi32(v); }
  static Vector Low8(Vector a, Vector b) { return _mm256_unpacklo_epi8(a, b); }
  static Vector High8(Vector a, Vector b) { return _mm256_unpackhi_epi8(a, b); }
  static Vector Low16(Vector a, Vector b) { return _mm256_unpacklo_epi16(a, b); }
  static Vector High16(Vector a, Vector b) { return _mm256_unpackhi_epi16(a, b); }
  static Vector ShiftRightSigned16(Vector v, int n) { return _mm256_srai_epi16(v, n); }
  static Vector ShiftRight16(Vector v, int n) { return _mm256_srli_epi16(v, n); }
  static Vector MulAdd16(Vector a, Vector b) { return _mm256_madd_epi16(a, b); }
  static Vector MulHighUnsigned16(Vector a, Vector b) { return _mm256_mulhi_epu16(a, b); }
  static Vector Add32(Vector a, Vector b) { return _mm256_add_epi32(a, b); }
  static Vector Min16(Vector a, Vector b) { return _mm256_min_epi16(a, b); }
  static Vector Packs32(Vector a, Vector b) { return _mm256_packs_epi32(a, b); }
  static Vector PackUnsigned16(Vector a, Vector b) { return _mm256_packus_epi16(a, b); }
};

}  // namespace
}  // namespace korvel

#include "library/korvel_convert_lanes.h"

namespace korvel {

int32_t ConvertAvx2(uint8_t* data, int32_t count) {
  int32_t done = 0;
  // Register r holds bytes 16r.. of the first group in its low lane and of the second group
  // (48 bytes on) in its high lane.
  for (; done + 32 <= count; done += 32, data += 96) {
    __m256i pixels[3];
    for (int r = 0; r < 3; ++r)
      pixels[r] = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(data + 48 + 16 * r),
                                      reinterpret_cast<const __m128i*>(data + 16 * r));
    ConvertLanes(pixels);
    for (int r = 0; r < 3; ++r)
      _mm256_storeu2_m128i(reinterpret_cast<__m128i*>(data + 48 + 16 * r), reinterpret_cast<__m128i*>(data + 16 * r), pixels[r]);
  }
  return done;
}

}  // namespace korvel
