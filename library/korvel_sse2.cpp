// The transform with SSE2 multiply-adds: the very same 32-bit sums as the plain passes, four
// rows at a time. SSE2 is part of every x86-64 processor, so this file needs no special flags.
#include <emmintrin.h>

#include "library/korvel_kernels.h"

namespace korvel {
namespace {

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

bool OnlyDcIsSet(const int16_t* block) {
  const __m128i* rows = reinterpret_cast<const __m128i*>(block);
  __m128i any = _mm_and_si128(_mm_loadu_si128(rows), _mm_set_epi16(-1, -1, -1, -1, -1, -1, -1, 0));
  for (int i = 1; i < 8; ++i) any = _mm_or_si128(any, _mm_loadu_si128(rows + i));
  return _mm_movemask_epi8(_mm_cmpeq_epi8(any, _mm_setzero_si128())) == 0xFFFF;
}

}  // namespace

void IdctSse2(int16_t* block) {
  if (OnlyDcIsSet(block)) return FillWithDcSample(block);
  alignas(16) int16_t scratch[64];
  IdctPass(block, scratch);
  IdctPass(scratch, block);
}

}  // namespace korvel
