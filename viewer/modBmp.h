#pragma once
// Drawing a decoded frame into the picture area's persistent image.

#include <QImage>
#include <cstdint>

namespace rovena {

// Draws the W x H frame (3 bytes per pixel in blue, green, red order, rows stored bottom-up,
// 3*W bytes per row) into `target` with its top-left corner at (x, y), in one transfer.
void DrawFrame(QImage& target, int W, int H, const std::uint8_t* frame, int x, int y);

}  // namespace rovena
