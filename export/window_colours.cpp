#include "export/window_colours.h"

#include <algorithm>

namespace rovena::exporting {
namespace {

// YUVtoRGB's arithmetic (library/KorvelMpeg.h): a colour is clamp(256 Y - 16 + k C, 0, 55845) / 219,
// rounded down.
constexpr int kTop = 55845;  // 219 x 255
constexpr int kCbBlue = 350, kCbGreen = -179, kCrGreen = -85, kCrRed = 443;

// BT.601 in video range (luma 16..235, colour differences 16..240) from 8-bit colours: luma
// in 65536ths, colour differences (from sums of four colours) in 16384ths of each. Each set of
// weights sums to its range's scale (219/255, or 0 for the differences). Every product and
// sum below is a whole number under 2^24, so float arithmetic is exact with them, and the
// bytes are the same on every machine whatever instructions the compiler picks.
constexpr float kScale = 1.0f / 65536;
constexpr float kLumaR = 16829, kLumaG = 33039, kLumaB = 6416, kLumaBase = (16 << 16) + (1 << 15);
constexpr float kCbR = -2428, kCbG = -4768, kCbB = 7196;
constexpr float kCrR = 7196, kCrG = -6026, kCrB = -1170, kDifferenceBase = (128 << 16) + (1 << 15);

// The rows passed below never overlap; saying so lets the compiler turn each loop into vector
// code (twice as fast as the same arithmetic a pixel at a time).
using Bytes = std::uint8_t* __restrict__;
using ConstBytes = const std::uint8_t* __restrict__;

// The luma of a pair of picture rows split by each pixel's place in its 2 x 2 block (upper
// left, upper right, lower left, lower right).
struct BlockRows {
  explicit BlockRows(int samples) : count(samples), bytes(4 * static_cast<std::size_t>(samples)) {}
  std::uint8_t* Luma(int k) { return &bytes[static_cast<std::size_t>(k) * count]; }
  int count;
  std::vector<std::uint8_t> bytes;
};

void Split(ConstBytes upper, ConstBytes lower, int samples, Bytes y0, Bytes y1, Bytes y2, Bytes y3, Bytes cb,
           Bytes cr) {
  for (int i = 0; i < samples; ++i) {
    y0[i] = upper[6 * i];
    y1[i] = upper[6 * i + 3];
    y2[i] = lower[6 * i];
    y3[i] = lower[6 * i + 3];
    cb[i] = upper[6 * i + 1];
    cr[i] = upper[6 * i + 2];
  }
}

// A colour level, 0..255, as YUVtoRGB rounds it down; the half keeps x / 219 off whole
// numbers, where a float product could land a hair below one.
inline float Level(int value) {
  return static_cast<float>(static_cast<int>((static_cast<float>(std::clamp(value, 0, kTop)) + 0.5f) * (1.0f / 219)));
}

// One pixel's colour in the window from its luma and its block's colour-difference terms:
// added to the block's sums, and returned as BT.601 luma.
inline std::uint8_t LumaOf(int y, int red, int green, int blue, float& sumR, float& sumG, float& sumB) {
  const int luma = 256 * y - 16;
  const float r = Level(luma + red), g = Level(luma + green), b = Level(luma + blue);
  sumR += r;
  sumG += g;
  sumB += b;
  return static_cast<std::uint8_t>(static_cast<int>((kLumaR * r + kLumaG * g + kLumaB * b + kLumaBase) * kScale));
}

// A colour difference of the mean of a block's four colours, from their sums.
inline std::uint8_t DifferenceOf(float sumR, float sumG, float sumB, float wr, float wg, float wb) {
  return static_cast<std::uint8_t>(static_cast<int>((wr * sumR + wg * sumG + wb * sumB + kDifferenceBase) * kScale));
}

// In place: the window's luma and colour-difference rows of a pair of picture rows become
// BT.601's.
void Convert(int samples, Bytes y0, Bytes y1, Bytes y2, Bytes y3, Bytes cbRow, Bytes crRow) {
  for (int i = 0; i < samples; ++i) {
    const int cb = static_cast<std::int8_t>(cbRow[i]), cr = static_cast<std::int8_t>(crRow[i]);
    const int red = kCrRed * cr, green = kCbGreen * cb + kCrGreen * cr, blue = kCbBlue * cb;
    float sumR = 0, sumG = 0, sumB = 0;
    y0[i] = LumaOf(y0[i], red, green, blue, sumR, sumG, sumB);
    y1[i] = LumaOf(y1[i], red, green, blue, sumR, sumG, sumB);
    y2[i] = LumaOf(y2[i], red, green, blue, sumR, sumG, sumB);
    y3[i] = LumaOf(y3[i], red, green, blue, sumR, sumG, sumB);
    cbRow[i] = DifferenceOf(sumR, sumG, sumB, kCbR, kCbG, kCbB);
    crRow[i] = DifferenceOf(sumR, sumG, sumB, kCrR, kCrG, kCrB);
  }
}

void Join(ConstBytes y0, ConstBytes y1, ConstBytes y2, ConstBytes y3, int samples, Bytes upper, Bytes lower) {
  for (int i = 0; i < samples; ++i) {
    upper[2 * i] = y0[i];
    upper[2 * i + 1] = y1[i];
    lower[2 * i] = y2[i];
    lower[2 * i + 1] = y3[i];
  }
}

}  // namespace

void Yuv420::Resize(int w, int h) {
  width = w;
  height = h;
  y.resize(static_cast<std::size_t>(w) * h);
  cb.resize(static_cast<std::size_t>(w / 2) * (h / 2));
  cr.resize(cb.size());
}

void WindowColoursAsBt601(const std::uint8_t* frame, int width, int height, Yuv420& out) {
  out.Resize(width, height);
  const int samples = width / 2;
  BlockRows rows(samples);
  const auto frameRow = [&](int y) { return frame + 3 * static_cast<std::size_t>(height - 1 - y) * width; };
  const auto lumaRow = [&](int y) { return &out.y[static_cast<std::size_t>(y) * width]; };
  for (int j = 0; j < height / 2; ++j) {
    std::uint8_t* cb = &out.cb[static_cast<std::size_t>(j) * samples];
    std::uint8_t* cr = &out.cr[static_cast<std::size_t>(j) * samples];
    Split(frameRow(2 * j), frameRow(2 * j + 1), samples, rows.Luma(0), rows.Luma(1), rows.Luma(2), rows.Luma(3), cb, cr);
    Convert(samples, rows.Luma(0), rows.Luma(1), rows.Luma(2), rows.Luma(3), cb, cr);
    Join(rows.Luma(0), rows.Luma(1), rows.Luma(2), rows.Luma(3), samples, lumaRow(2 * j), lumaRow(2 * j + 1));
  }
}

}  // namespace rovena::exporting
