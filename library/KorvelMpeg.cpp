// The exports: each runs the fastest kernel this processor can run. The kernels
// (korvel_kernels.h) are bit-exact twins of the plain rules in the header comments. Nothing
// here may pull in the C++ runtime: no new, no exceptions, no standard library beyond
// <stdint.h> and the intrinsics.

#include "library/KorvelMpeg.h"

#include "library/korvel_kernels.h"

namespace korvel {

namespace {

void PlaceLuma(uint8_t* dst, int16_t* block, int stride) {
#if defined(__x86_64__)
  if (HasSsse3()) return PlaceLumaSsse3(dst, block, stride);
#endif
  PlaceLumaPlain(dst, block, stride);
}

void PlaceChroma(uint8_t* dst, int16_t* block, int stride) {
#if defined(__x86_64__)
  if (HasSsse3()) return PlaceChromaSsse3(dst, block, stride);
#endif
  PlaceChromaPlain(dst, block, stride);
}

}  // namespace
}  // namespace korvel

extern "C" {

KORVEL_API void IZZQ(int16_t* dst, const int16_t* src) {
#if defined(__x86_64__)
  if (korvel::HasSsse3()) return korvel::IzzqSsse3(dst, src);
#endif
  korvel::IzzqPlain(dst, src);
}

KORVEL_API void Idct(int16_t* block) {
#if defined(__x86_64__)
  korvel::IdctSse2(block);
#else
  korvel::IdctPlain(block);
#endif
}

KORVEL_API void CopyBlockCifY(uint8_t* dst, int16_t* block) { korvel::PlaceLuma(dst, block, korvel::kCifStride); }
KORVEL_API void CopyBlockVgaY(uint8_t* dst, int16_t* block) { korvel::PlaceLuma(dst, block, korvel::kVgaStride); }
KORVEL_API void CopyBlockCifC(uint8_t* dst, int16_t* block) { korvel::PlaceChroma(dst, block, korvel::kCifStride); }
KORVEL_API void CopyBlockVgaC(uint8_t* dst, int16_t* block) { korvel::PlaceChroma(dst, block, korvel::kVgaStride); }

KORVEL_API void YUVtoRGB(uint8_t* data, int32_t count) {
  int32_t done = 0;
#if defined(__x86_64__)
  // Groups of 32 pixels, then of 16, then the last few one at a time.
  if (korvel::HasAvx2()) done = korvel::ConvertAvx2(data, count);
  if (korvel::HasSsse3()) done += korvel::ConvertSsse3(data + 3 * done, count - done);
#endif
  korvel::ConvertPlain(data + 3 * done, count - done);
}

}  // extern "C"
