// The window's colours in the planes every player understands.
//
// The window turns the decoder's samples into colours with the block library's YUVtoRGB:
// black at Y 0 and white from Y 219, and colour-difference factors that are BT.601's with
// those of Cb and Cr exchanged (1.598 Cb into blue, 2.023 Cr into red). No colour tag of a
// video stream describes that conversion, so a player given the decoded planes as they are
// would show other colours than the window (a saturated red 64 levels apart in green). The
// export therefore re-expresses each picture, straight from the decoder's planes, as BT.601
// video-range 4:2:0 whose standard conversion gives the window's colours: each pixel's luma
// from the window's colour of that pixel, and each colour-difference sample from the mean of
// the window's colours over its 2 x 2 pixels, which is where the window repeats it. All in
// whole numbers, so that every machine and build makes the same bytes.
#pragma once

#include <cstdint>
#include <vector>

namespace rovena::exporting {

// 4:2:0 planes, top row first, rows packed (chroma width / 2 by height / 2).
struct Yuv420 {
  int width = 0, height = 0;
  std::vector<std::uint8_t> y, cb, cr;
  void Resize(int w, int h);
};

// The decoder's frame buffer before conversion (Y, Cb, Cr per pixel, chroma signed and
// repeated over 2 x 2 pixels, bottom row first) as BT.601 video-range planes in `out`.
void WindowColoursAsBt601(const std::uint8_t* frame, int width, int height, Yuv420& out);

}  // namespace rovena::exporting
