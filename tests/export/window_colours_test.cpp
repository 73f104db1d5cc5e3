// The planes the export hands the encoder, turned back into colours the textbook BT.601 way
// (video range, each colour sample on its 2 x 2 pixels, as ffmpeg converts by default),
// against the colours the window itself shows for the same decoder samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "core/picture_decoder.h"
#include "core/recording.h"
#include "export/window_colours.h"
#include "recording_fixture.h"

namespace rovena::exporting {
namespace {

struct Comparison {
  double squaredError = 0;
  long values = 0;
  int worstOnFlatBlocks = 0;  // where the window shows one colour on all four pixels
  double Psnr() const { return 10 * std::log10(255.0 * 255 * values / squaredError); }
};

int Channel(double value) { return static_cast<int>(std::clamp(std::lround(value), 0L, 255L)); }

// `bgr`: the window's colours, bottom row first, as the decoder's frame holds them.
void Compare(const Yuv420& planes, const std::vector<std::uint8_t>& bgr, Comparison& result) {
  const int w = planes.width, h = planes.height;
  const auto windowColour = [&](int x, int y, int c) { return bgr[3 * (static_cast<std::size_t>(h - 1 - y) * w + x) + c]; };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const std::size_t sample = static_cast<std::size_t>(y / 2) * (w / 2) + x / 2;
      const double luma = (planes.y[static_cast<std::size_t>(y) * w + x] - 16) * 255.0 / 219;
      const double cb = (planes.cb[sample] - 128) * 255.0 / 224, cr = (planes.cr[sample] - 128) * 255.0 / 224;
      const int shown[3] = {Channel(luma + 1.772 * cb), Channel(luma - 0.344136 * cb - 0.714136 * cr),
                            Channel(luma + 1.402 * cr)};
      bool flat = true;
      for (int c = 0; c < 3; ++c)
        for (int corner = 0; corner < 4; ++corner)
          flat = flat && windowColour((x & ~1) + corner % 2, (y & ~1) + corner / 2, c) == windowColour(x, y, c);
      for (int c = 0; c < 3; ++c) {
        const int error = shown[c] - windowColour(x, y, c);
        result.squaredError += error * error;
        ++result.values;
        if (flat) result.worstOnFlatBlocks = std::max(result.worstOnFlatBlocks, std::abs(error));
      }
    }
}

TEST(WindowColours, TheStandardConversionOfThePlanesShowsTheWindowsColours) {
  const test::FixtureRecording source = test::MakeFfmpegRecording("export_cif", 320, 240, 12);
  Recording recording;
  std::string error;
  ASSERT_TRUE(recording.Open(source.path, error)) << error;
  PictureDecoder decoder;
  ASSERT_TRUE(decoder.CheckSize(recording.File()));
  Comparison pictures;
  while (recording.FindStartUp()) {
    ASSERT_TRUE(recording.FindPicStart() && recording.ReadFrame(decoder.PicBuf()));
    ASSERT_EQ(decoder.DecodePicture(), PictureDecoder::PictureResult::Decoded);
    Yuv420 planes;
    WindowColoursAsBt601(decoder.FrameBuf.data(), decoder.Width(), decoder.Height(), planes);
    decoder.ConvertFrame();
    Compare(planes, decoder.FrameBuf, pictures);
  }
  // testsrc2's saturated bars make the window clamp; the planes must still say what it shows.
  EXPECT_GE(pictures.Psnr(), 45.0);
  EXPECT_LE(pictures.worstOnFlatBlocks, 2);
}

}  // namespace
}  // namespace rovena::exporting
