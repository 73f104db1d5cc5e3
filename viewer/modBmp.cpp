#include "viewer/modBmp.h"

#include <QPainter>
#include <algorithm>

#if defined(__x86_64__)
#include <tmmintrin.h>
#endif

namespace rovena {
namespace {

// Images whose pixels are one 32-bit 0xAARRGGBB word each; for opaque pixels the three hold
// the same bits.
bool HoldsWordPixels(QImage::Format format) {
  return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
         format == QImage::Format_ARGB32_Premultiplied;
}

#if defined(__x86_64__)
// Four pixels at a time: their 12 bytes spread to 16 with one shuffle, the alpha bytes set.
__attribute__((target("ssse3"))) void WordsFromBgrGroups(QRgb* to, const std::uint8_t* bgr, int groups) {
  const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  for (int g = 0; g < groups; ++g, bgr += 48, to += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bgr));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bgr + 16));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bgr + 32));
    const __m128i quarters[4] = {a, _mm_alignr_epi8(b, a, 12), _mm_alignr_epi8(c, b, 8), _mm_srli_si128(c, 4)};
    for (int q = 0; q < 4; ++q)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 4 * q), _mm_or_si128(_mm_shuffle_epi8(quarters[q], spread), alpha));
  }
}
#endif

}  // namespace

void WordsFromBgr(QRgb* to, const std::uint8_t* bgr, int pixels) {
  for (int i = 0; i < pixels; ++i, bgr += 3) to[i] = qRgb(bgr[2], bgr[1], bgr[0]);
}

bool WordsFromBgrSsse3(QRgb* to, const std::uint8_t* bgr, int pixels) {
#if defined(__x86_64__)
  if (!__builtin_cpu_supports("ssse3")) return false;
  const int grouped = pixels / 16 * 16;
  WordsFromBgrGroups(to, bgr, pixels / 16);
  WordsFromBgr(to + grouped, bgr + 3 * grouped, pixels - grouped);
  return true;
#else
  (void)to, (void)bgr, (void)pixels;
  return false;
#endif
}

void DrawFrame(QImage& target, int W, int H, const std::uint8_t* frame, int x, int y) {
  if (!HoldsWordPixels(target.format())) {
    // Not the picture area's kind of image: let Qt convert and flip while transferring.
    const QImage bottomUp(frame, W, H, 3 * W, QImage::Format_BGR888);
    QPainter painter(&target);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QPoint(x, y), bottomUp.mirrored(false, true));
    return;
  }
  const int left = std::max(0, -x), right = std::min(W, target.width() - x);
  const int top = std::max(0, -y), bottom = std::min(H, target.height() - y);
  if (left >= right) return;
  for (int row = top; row < bottom; ++row) {
    const std::uint8_t* source = frame + static_cast<std::size_t>(3 * W) * (H - 1 - row) + 3 * left;
    QRgb* line = reinterpret_cast<QRgb*>(target.scanLine(y + row)) + x + left;
    if (!WordsFromBgrSsse3(line, source, right - left)) WordsFromBgr(line, source, right - left);
  }
}

}  // namespace rovena
