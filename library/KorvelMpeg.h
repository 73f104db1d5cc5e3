/* KorvelMpeg: the per-sample arithmetic of Rovena's picture decoder.
 *
 * Seven stateless exports with C linkage. Every function works only on the memory it is
 * given, allocates nothing and keeps nothing between calls. Blocks are 64 contiguous
 * int16_t values; frames are 3 bytes per pixel, lines stored bottom-up. The viewer loads
 * the library by file name at run time and binds each export by name.
 */
#ifndef KORVEL_MPEG_H
#define KORVEL_MPEG_H

#include <stdint.h>

#if defined(_WIN32)
#define KORVEL_API __declspec(dllexport)
#else
#define KORVEL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Inverse zig-zag and intra weighting: dst[r] = low 16 bits of src[zigzag position of r] * W[r],
 * W the default intra matrix. dst and src must not overlap. */
KORVEL_API void IZZQ(int16_t* dst, const int16_t* src);

/* 8x8 inverse DCT in place: two passes of the 7-bit direct matrix product, each shifting
 * the 32-bit sum right arithmetically by 8 and writing its output transposed. No clamping. */
KORVEL_API void Idct(int16_t* block);

/* Luminance placement: clamps to 0..255 and writes byte 0 of 8x8 pixels. dst is byte 0 of
 * the block's bottom-left pixel; rows go upwards by the stride (960 Cif, 1920 Vga).
 * The low byte of every sample in block is overwritten with its clamped value. */
KORVEL_API void CopyBlockCifY(uint8_t* dst, int16_t* block);
KORVEL_API void CopyBlockVgaY(uint8_t* dst, int16_t* block);

/* Chrominance placement: clamps to -128..127 and writes one chroma byte of 16x16 pixels,
 * every sample repeated over 2x2. dst is the chroma byte of the macroblock's bottom-left
 * pixel. The block's low bytes are overwritten as above. */
KORVEL_API void CopyBlockCifC(uint8_t* dst, int16_t* block);
KORVEL_API void CopyBlockVgaC(uint8_t* dst, int16_t* block);

/* Converts count pixels in place from (Y, Cb, Cr) to the three display bytes
 * (blue, green, red). A count of 0 or less converts nothing. */
KORVEL_API void YUVtoRGB(uint8_t* data, int32_t count);

#ifdef __cplusplus
}
#endif

#endif
