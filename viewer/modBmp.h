#pragma once
// Drawing a decoded frame into the picture area's persistent image.

#include <QImage>
#include <cstdint>

namespace rovena {

// Draws the W x H frame (3 bytes per pixel in blue, green, red order, rows stored bottom-up,
// 3*W bytes per row) into `target` with its top-left corner at (x, y); the part that falls
// outside the target is left out. An image of 32-bit pixels (the picture area's) is written
// directly, row by row in display order, with no intermediate image.
void DrawFrame(QImage& target, int W, int H, const std::uint8_t* frame, int x, int y);

// One row of `pixels` blue-green-red pixels as opaque 0xFFRRGGBB words: the plain loop, and
// its SSSE3 twin that DrawFrame uses where the processor has it (false: not available here).
void WordsFromBgr(QRgb* to, const std::uint8_t* bgr, int pixels);
bool WordsFromBgrSsse3(QRgb* to, const std::uint8_t* bgr, int pixels);

}  // namespace rovena
