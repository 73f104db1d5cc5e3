// The colour conversion of 16 pixels per 128-bit lane, written once for every vector width.
// Included by the files compiled for SSSE3 (one lane) and AVX2 (two lanes); each defines
// `Lanes`, the few operations below on its vector type, before including this file. Every
// operation works within each 128-bit lane, so a lane's 48 bytes are converted exactly as
// the SSSE3 path converts them.
//
// 48 interleaved bytes are split into Y, Cb and Cr vectors with byte shuffles, the three sums
// formed with 16-bit multiply-adds of (Y, colour) pairs, and the plain rule's conv() applied
// on 16-bit lanes. The division uses 219 x 1197 = 2^18 - 1: for 0 <= v < 55845, v / 219
// rounded down equals (v + 1) x 1197 / 2^18 rounded down. So the sums are formed plus 1 (and
// minus 32768, so that the signed saturating pack clamps them to 0..65535), limited to 55846,
// which gives 255, and one multiply-high and a shift finish the division. Every pixel gets
// exactly the plain rule's bytes.
#pragma once

#include <stdint.h>

namespace korvel {
namespace {

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

using V = Lanes::Vector;

// The pixels' bytes gathered from the three registers by one mask triple.
inline V Gather(const V in[3], const int8_t (&masks)[3][16]) {
  return Lanes::Or(Lanes::Or(Lanes::Shuffle(in[0], Lanes::Mask(masks[0])), Lanes::Shuffle(in[1], Lanes::Mask(masks[1]))),
                   Lanes::Shuffle(in[2], Lanes::Mask(masks[2])));
}

// conv() of eight sums given as v + 1 - 32768 in two vectors of four.
inline V ConvLanes(V low, V high) {
  const V biased = Lanes::Min16(Lanes::Packs32(low, high), Lanes::Set16(55846 - 32768));
  const V plusOne = Lanes::Xor(biased, Lanes::Set16(static_cast<int16_t>(0x8000)));
  return Lanes::ShiftRight16(Lanes::MulHighUnsigned16(plusOne, Lanes::Set16(1197)), 2);
}

inline V Pairs(int16_t a, int16_t b) {
  return Lanes::Set32(static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(b)) << 16 | static_cast<uint16_t>(a)));
}

// Eight pixels a lane as 16-bit values: Y, Cb, Cr in, the three colour bytes (as 16-bit
// values) out.
inline void ConvertEight(V y, V p, V q, V out[3]) {
  const V one = Lanes::Set16(1);
  const V lumaOffset = Lanes::Set32(-16 + 1 - 32768);  // L's -16, then as ConvLanes takes it
  const V yp[2] = {Lanes::Low16(y, p), Lanes::High16(y, p)};
  const V yq[2] = {Lanes::Low16(y, q), Lanes::High16(y, q)};
  const V q1[2] = {Lanes::Low16(q, one), Lanes::High16(q, one)};
  V sums[3][2];
  for (int h = 0; h < 2; ++h) {
    sums[0][h] = Lanes::Add32(Lanes::MulAdd16(yp[h], Pairs(256, 350)), lumaOffset);
    sums[1][h] = Lanes::Add32(Lanes::Add32(Lanes::MulAdd16(yp[h], Pairs(256, -179)), Lanes::MulAdd16(q1[h], Pairs(-85, -16))),
                              Lanes::Set32(1 - 32768));
    sums[2][h] = Lanes::Add32(Lanes::MulAdd16(yq[h], Pairs(256, 443)), lumaOffset);
  }
  for (int c = 0; c < 3; ++c) out[c] = ConvLanes(sums[c][0], sums[c][1]);
}

// Sixteen pixels a lane, in place in the three registers.
inline void ConvertLanes(V data[3]) {
  V component[3];
  for (int c = 0; c < 3; ++c) component[c] = Gather(data, kShuffleMasks.split[c]);
  const V zero = Lanes::Zero();
  // Cb and Cr are signed bytes: doubled into both halves of a 16-bit value and shifted back.
  const auto widenLow = [](V v) { return Lanes::ShiftRightSigned16(Lanes::Low8(v, v), 8); };
  const auto widenHigh = [](V v) { return Lanes::ShiftRightSigned16(Lanes::High8(v, v), 8); };
  V low[3], high[3];
  ConvertEight(Lanes::Low8(component[0], zero), widenLow(component[1]), widenLow(component[2]), low);
  ConvertEight(Lanes::High8(component[0], zero), widenHigh(component[1]), widenHigh(component[2]), high);
  V result[3];
  for (int c = 0; c < 3; ++c) result[c] = Lanes::PackUnsigned16(low[c], high[c]);
  for (int r = 0; r < 3; ++r) data[r] = Gather(result, kShuffleMasks.merge[r]);
}

}  // namespace
}  // namespace korvel
