#include "redact/cover.h"

#include <algorithm>

namespace rovena::redact {
namespace {

// A rectangle of picture pixels in one plane's samples: edges divided by the subsampling,
// outwards, so every sample that touches the rectangle is inside.
Rect InPlane(const Rect& area, const Plane& plane) {
  const int step = 1 << plane.shift;
  const int left = area.x >> plane.shift, top = area.y >> plane.shift;
  const int right = std::min(plane.width, (area.x + area.w + step - 1) >> plane.shift);
  const int bottom = std::min(plane.height, (area.y + area.h + step - 1) >> plane.shift);
  return {left, top, std::max(0, right - left), std::max(0, bottom - top)};
}

std::uint8_t* Sample(const Plane& plane, int x, int y) {
  return plane.data + y * plane.rowStride + x * plane.pixelStride;
}

void Fill(const Plane& plane, const Rect& cell, std::uint8_t value) {
  for (int y = cell.y; y < cell.y + cell.h; ++y)
    for (int x = cell.x; x < cell.x + cell.w; ++x) *Sample(plane, x, y) = value;
}

std::uint8_t Mean(const Plane& plane, const Rect& cell) {
  // Signed samples are summed shifted by 128, so the rounding below works on positive sums.
  const int offset = plane.signedSamples ? 128 : 0;
  std::int64_t sum = 0;
  for (int y = cell.y; y < cell.y + cell.h; ++y)
    for (int x = cell.x; x < cell.x + cell.w; ++x) {
      const std::uint8_t sample = *Sample(plane, x, y);
      sum += (plane.signedSamples ? static_cast<std::int8_t>(sample) : sample) + offset;
    }
  const std::int64_t count = static_cast<std::int64_t>(cell.w) * cell.h;
  return static_cast<std::uint8_t>((sum + count / 2) / count - offset);
}

// Cells of `cell` picture pixels from the area's top-left corner; the last row and column
// take what is left.
void Mosaic(const Plane& plane, const Rect& area, int cell) {
  for (int y = area.y; y < area.y + area.h; y += cell)
    for (int x = area.x; x < area.x + area.w; x += cell) {
      const Rect block = InPlane({x, y, std::min(cell, area.x + area.w - x), std::min(cell, area.y + area.h - y)}, plane);
      if (block.w > 0 && block.h > 0) Fill(plane, block, Mean(plane, block));
    }
}

}  // namespace

Rect EnlargedBox(const Rect& box) {
  // A tenth of each side, rounded up, so the growth is never less than 20 % in all.
  const int dx = (box.w + 9) / 10, dy = (box.h + 9) / 10;
  return {box.x - dx, box.y - dy, box.w + 2 * dx, box.h + 2 * dy};
}

Rect CoveredArea(const Rect& box, int width, int height, int alignment) {
  const Rect grown = EnlargedBox(box);
  int left = std::max(0, grown.x), top = std::max(0, grown.y);
  int right = std::min(width, grown.x + grown.w), bottom = std::min(height, grown.y + grown.h);
  if (right <= left || bottom <= top) return {left, top, 0, 0};
  left -= left % alignment;
  top -= top % alignment;
  right = std::min(width, right + (alignment - right % alignment) % alignment);
  bottom = std::min(height, bottom + (alignment - bottom % alignment) % alignment);
  return {left, top, right - left, bottom - top};
}

int MosaicCell(const Rect& area) {
  const int quarter = (area.h + 3) / 4;
  return std::max(2, quarter + quarter % 2);
}

void CoverPicture(std::span<const Plane> planes, int width, int height, std::span<const Rect> boxes,
                  CoverStyle style) {
  const bool subsampled = std::any_of(planes.begin(), planes.end(), [](const Plane& p) { return p.shift > 0; });
  for (const Rect& box : boxes) {
    const Rect area = CoveredArea(box, width, height, subsampled ? 2 : 1);
    if (area.w == 0 || area.h == 0) continue;
    for (const Plane& plane : planes) {
      if (style == CoverStyle::Solid)
        Fill(plane, InPlane(area, plane), plane.solid);
      else
        Mosaic(plane, area, MosaicCell(area));
    }
  }
}

std::vector<Plane> DecoderFramePlanes(std::uint8_t* frame, int width, int height) {
  const std::ptrdiff_t row = 3 * static_cast<std::ptrdiff_t>(width);
  std::uint8_t* top = frame + (height - 1) * row;  // the frame's last line is the picture's top
  // Y is full range here (0 is black); chroma 0 is grey.
  return {{top, width, height, 3, -row, 0, 0, false}, {top + 1, width, height, 3, -row, 0, 0, true},
          {top + 2, width, height, 3, -row, 0, 0, true}};
}

std::vector<Plane> Yuv420Planes(std::uint8_t* y, std::ptrdiff_t yStride, std::uint8_t* cb, std::uint8_t* cr,
                                std::ptrdiff_t chromaStride, int width, int height) {
  const int chromaWidth = (width + 1) / 2, chromaHeight = (height + 1) / 2;
  return {{y, width, height, 1, yStride, 0, 16, false},
          {cb, chromaWidth, chromaHeight, 1, chromaStride, 1, 128, false},
          {cr, chromaWidth, chromaHeight, 1, chromaStride, 1, 128, false}};
}

std::vector<Plane> PackedColourPlanes(std::uint8_t* pixels, std::ptrdiff_t rowStride, int bytesPerPixel,
                                      int width, int height) {
  std::vector<Plane> planes;
  for (int channel = 0; channel < 3; ++channel)
    planes.push_back({pixels + channel, width, height, bytesPerPixel, rowStride, 0, 0, false});
  return planes;
}

}  // namespace rovena::redact
