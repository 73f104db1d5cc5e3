#include "export/window_colours.h"

#include <algorithm>

namespace rovena::exporting {
namespace {

// YUVtoRGB's arithmetic (library/KorvelMpeg.h): a colour is clamp(256 Y - 16 + k C, 0, 55845) / 219,
// rounded down.
constexpr int kTop = 55845;  // 219 x 255
constexpr int kCbBlue = 350, kCbGreen = -179, kCrGreen = -85, kCrRed = 443;
// BT.601 luma weights in 1024ths, and video range: luma 16..235, colour differences 16..240.
constexpr int kRed = 306, kGreen = 601, kBlue = 117;
constexpr float kLumaScale = 219.0f / 255, kBlueScale = 224.0f / 255 / 1.772f, kRedScale = 224.0f / 255 / 1.402f;
// Rounding down loses half a level of each colour on average; luma gives it back.
constexpr float kLumaOffset = 16.5f - 0.5f * kLumaScale;

inline int Clamped(int value, int top) { return std::clamp(value, 0, top); }
inline std::uint8_t Byte(float value) { return static_cast<std::uint8_t>(std::clamp(static_cast<int>(value), 0, 255)); }

// One luma row. The colour differences come interpolated, in sixteenths.
void LumaRow(const std::uint8_t* y, const std::int16_t* cb16, const std::int16_t* cr16, int width, std::uint8_t* out) {
  constexpr int kTop16 = 16 * kTop;
  constexpr float kScale = kLumaScale / (1024.0f * 16 * 219);
  for (int x = 0; x < width; ++x) {
    const int luma = 16 * (256 * y[x] - 16);
    const int sum = kRed * Clamped(luma + kCrRed * cr16[x], kTop16) +
                    kGreen * Clamped(luma + kCbGreen * cb16[x] + kCrGreen * cr16[x], kTop16) +
                    kBlue * Clamped(luma + kCbBlue * cb16[x], kTop16);
    out[x] = Byte(static_cast<float>(sum) * kScale + kLumaOffset);
  }
}

// One row of colour-difference samples from the window's colours of their 2 x 2 pixels
// (luma rows `upper` and `lower`), averaged.
void ChromaRow(const std::uint8_t* upper, const std::uint8_t* lower, const std::int8_t* cb, const std::int8_t* cr,
               int samples, std::uint8_t* cbOut, std::uint8_t* crOut) {
  constexpr float kColour = 1.0f / (4 * 219), kLuma = kColour / 1024;
  for (int i = 0; i < samples; ++i) {
    int r = 0, g = 0, b = 0;
    for (const int y : {upper[2 * i], upper[2 * i + 1], lower[2 * i], lower[2 * i + 1]}) {
      const int luma = 256 * y - 16;
      r += Clamped(luma + kCrRed * cr[i], kTop);
      g += Clamped(luma + kCbGreen * cb[i] + kCrGreen * cr[i], kTop);
      b += Clamped(luma + kCbBlue * cb[i], kTop);
    }
    const float luma = static_cast<float>(kRed * r + kGreen * g + kBlue * b) * kLuma;
    cbOut[i] = Byte(128.5f + kBlueScale * (static_cast<float>(b) * kColour - luma));
    crOut[i] = Byte(128.5f + kRedScale * (static_cast<float>(r) * kColour - luma));
  }
}

// A row of colour-difference samples widened to one value per pixel, in quarters, the samples
// centred between their pixels as players interpolate them: weights 3/4 and 1/4.
void WidenedRow(const std::int8_t* samples, int count, std::int16_t* out) {
  for (int i = 0; i < count; ++i) {
    out[2 * i] = static_cast<std::int16_t>(3 * samples[i] + samples[std::max(i - 1, 0)]);
    out[2 * i + 1] = static_cast<std::int16_t>(3 * samples[i] + samples[std::min(i + 1, count - 1)]);
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
  const int samples = width / 2, rows = height / 2;
  // The decoder's samples as planes, top row first: luma, then one colour difference of each
  // 2 x 2 pixels (the frame repeats it).
  std::vector<std::uint8_t> luma(out.y.size());
  std::vector<std::int8_t> cb(out.cb.size()), cr(out.cb.size());
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = frame + 3 * static_cast<std::size_t>(height - 1 - y) * width;
    for (int x = 0; x < width; ++x) luma[static_cast<std::size_t>(y) * width + x] = row[3 * x];
    if (y % 2) continue;
    for (int i = 0; i < samples; ++i) {
      cb[static_cast<std::size_t>(y / 2) * samples + i] = static_cast<std::int8_t>(row[6 * i + 1]);
      cr[static_cast<std::size_t>(y / 2) * samples + i] = static_cast<std::int8_t>(row[6 * i + 2]);
    }
  }
  const auto lumaRow = [&](int y) { return &luma[static_cast<std::size_t>(y) * width]; };
  const auto sampleAt = [&](int j) { return static_cast<std::size_t>(j) * samples; };
  for (int j = 0; j < rows; ++j)
    ChromaRow(lumaRow(2 * j), lumaRow(2 * j + 1), &cb[sampleAt(j)], &cr[sampleAt(j)], samples, &out.cb[sampleAt(j)],
              &out.cr[sampleAt(j)]);
  // Each chroma row widened once, then blended with its neighbour above or below.
  std::vector<std::int16_t> wideCb(static_cast<std::size_t>(rows) * width), wideCr(wideCb.size()), cb16(width),
      cr16(width);
  for (int j = 0; j < rows; ++j) {
    WidenedRow(&cb[sampleAt(j)], samples, &wideCb[static_cast<std::size_t>(j) * width]);
    WidenedRow(&cr[sampleAt(j)], samples, &wideCr[static_cast<std::size_t>(j) * width]);
  }
  for (int y = 0; y < height; ++y) {
    const int j = y / 2, other = y % 2 ? std::min(j + 1, rows - 1) : std::max(j - 1, 0);
    const std::int16_t* nearCb = &wideCb[static_cast<std::size_t>(j) * width];
    const std::int16_t* farCb = &wideCb[static_cast<std::size_t>(other) * width];
    const std::int16_t* nearCr = &wideCr[static_cast<std::size_t>(j) * width];
    const std::int16_t* farCr = &wideCr[static_cast<std::size_t>(other) * width];
    for (int x = 0; x < width; ++x) {
      cb16[x] = static_cast<std::int16_t>(3 * nearCb[x] + farCb[x]);
      cr16[x] = static_cast<std::int16_t>(3 * nearCr[x] + farCr[x]);
    }
    LumaRow(lumaRow(y), cb16.data(), cr16.data(), width, &out.y[static_cast<std::size_t>(y) * width]);
  }
}

}  // namespace rovena::exporting
