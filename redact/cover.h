// Covering boxes for good: every sample inside a covered area is replaced by a solid colour
// or by the mean of a large mosaic cell, so nothing of what was there can be computed back
// (a blur could be partly undone; these cannot). The same code covers the decoder's
// planes, 4:2:0 planes on their way to the encoder, and an RGB snapshot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "redact/boxes.h"

namespace rovena::redact {

// One plane of 8-bit samples of a picture. A plane may be subsampled (`shift` 1: one sample
// for 2 x 2 picture pixels, as 4:2:0 chroma) and interleaved with others (`pixelStride` 3
// for the decoder's Y, Cb, Cr per pixel); `rowStride` is negative when rows run bottom-up.
struct Plane {
  std::uint8_t* data = nullptr;  // the sample of the picture's top-left pixel
  int width = 0, height = 0;     // in samples
  std::ptrdiff_t pixelStride = 1;
  std::ptrdiff_t rowStride = 0;  // bytes from one row to the row below it
  int shift = 0;
  std::uint8_t solid = 0;        // the solid covering's sample value in this plane
  bool signedSamples = false;    // samples are two's complement (the decoder's chroma)
};

enum class CoverStyle { Solid, Mosaic };

// Each side of a box grows by a tenth of its size before covering (the box as a whole by
// 20 %), so a box drawn or found tight still covers the plate's or face's edge.
Rect EnlargedBox(const Rect& box);

// The area covered for `box` in a width x height picture: enlarged, clipped to the picture
// and, when `alignment` is 2, widened to even edges so that subsampled chroma covers exactly
// the same pixels as luma (no chroma sample half inside keeps its original value). Empty
// (w or h 0) when the box lies outside the picture.
Rect CoveredArea(const Rect& box, int width, int height, int alignment);

// The side of a mosaic cell in picture pixels for an area: at least a quarter of its height,
// even so cells fall on whole chroma samples.
int MosaicCell(const Rect& area);

// Covers every box in all `planes` of one width x height picture. Samples outside the
// covered areas are not touched.
void CoverPicture(std::span<const Plane> planes, int width, int height, std::span<const Rect> boxes,
                  CoverStyle style);

// The planes of common layouts. Solid covering is black in each.
// The decoder's frame buffer before conversion: Y, Cb, Cr per pixel, bottom row first,
// full-range Y, chroma signed around 0.
std::vector<Plane> DecoderFramePlanes(std::uint8_t* frame, int width, int height);
// 4:2:0 planes as the encoder takes them (video-range Y, chroma around 128), top row first.
std::vector<Plane> Yuv420Planes(std::uint8_t* y, std::ptrdiff_t yStride, std::uint8_t* cb, std::uint8_t* cr,
                                std::ptrdiff_t chromaStride, int width, int height);
// Packed 8-bit colour, `bytesPerPixel` 3 or 4 with the three colours first in any order (a
// fourth byte, alpha or padding, is left as it is), top row first.
std::vector<Plane> PackedColourPlanes(std::uint8_t* pixels, std::ptrdiff_t rowStride, int bytesPerPixel,
                                      int width, int height);

}  // namespace rovena::redact
