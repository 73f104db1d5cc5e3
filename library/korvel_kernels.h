// Inside the block library: each export's arithmetic as a plain kernel, always compiled, and
// its vector twins for x86, which KorvelMpeg.cpp chooses at run time by what the processor
// offers. A vector kernel must give exactly the bytes of its plain twin for every input; the
// library's fast-path test runs both on random input. Nothing here is exported.
#pragma once

#include <stdint.h>

namespace korvel {

// Frame strides in bytes of the two picture sizes (3 bytes a pixel).
constexpr int kCifStride = 960;
constexpr int kVgaStride = 1920;

// Default intra weights of MPEG-1 in raster order, and for each raster index the position
// it has in the zig-zag scan.
constexpr int16_t kWeight[64] = {
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

static inline int16_t Low16(int32_t v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }

// Flat blocks are common: when only the DC term is set, pass 1 leaves one value down the first
// column and pass 2 spreads it over the whole block. The same two truncating steps as the
// full product give the same samples.
static inline void FillWithDcSample(int16_t* block) {
  const int16_t column = Low16((block[0] * kIdctMatrix[0][0]) >> 8);
  const int16_t sample = Low16((column * kIdctMatrix[0][0]) >> 8);
  for (int i = 0; i < 64; ++i) block[i] = sample;
}

// The helpers above are static so that a file compiled for a newer instruction set never
// lends its copy of them to the plain kernels.

// The plain rules, written as the header of the library states them.
void IzzqPlain(int16_t* dst, const int16_t* src);
// One pass of the transform: row j of `in` becomes column j of `out`. Idct is two of them,
// or the DC fill above when only the DC term is set.
void IdctPassPlain(const int16_t* in, int16_t* out);
void IdctPlain(int16_t* block);
void PlaceLumaPlain(uint8_t* dst, int16_t* block, int stride);
void PlaceChromaPlain(uint8_t* dst, int16_t* block, int stride);
void ConvertPlain(uint8_t* data, int32_t count);

#if defined(__x86_64__)
// Asked at every call (a load and a bit test): a function-local static would need the C++
// runtime's guard functions.
static inline bool HasSsse3() { return __builtin_cpu_supports("ssse3"); }
static inline bool HasAvx2() { return __builtin_cpu_supports("avx2"); }

// SSE2 is part of every x86-64 processor; the others need the feature their name says.
void IdctSse2(int16_t* block);
void IzzqSsse3(int16_t* dst, const int16_t* src);
void PlaceLumaSsse3(uint8_t* dst, int16_t* block, int stride);
void PlaceChromaSsse3(uint8_t* dst, int16_t* block, int stride);
// These convert whole groups of 16 (or 32) pixels from the start and return how many pixels
// they converted; the rest is left for the plain kernel.
int32_t ConvertSsse3(uint8_t* data, int32_t count);
int32_t ConvertAvx2(uint8_t* data, int32_t count);
#endif

}  // namespace korvel
