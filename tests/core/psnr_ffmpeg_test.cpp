// Our decode of ffmpeg-encoded recordings against ffmpeg's own decode of the same pictures.
// Our arithmetic differs from the standard's (7-bit transform constants, truncation, no
// oddification), so the match is close rather than exact; a wrong code, scan position or
// predictor drops far below the threshold.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/picture_decoder.h"
#include "core/recording.h"
#include "recording_fixture.h"
#include "tools/recording_writer.h"

namespace rovena {
namespace {

constexpr double kMinimumPsnr = 44.0;

struct PlaneMatch {
  double psnr;
  int maxDifference;
};

PlaneMatch Compare(const uint8_t* ours, const uint8_t* reference, size_t count) {
  double squares = 0;
  int worst = 0;
  for (size_t i = 0; i < count; ++i) {
    const int d = ours[i] - reference[i];
    squares += d * d;
    worst = std::max(worst, std::abs(d));
  }
  const double psnr = squares == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * static_cast<double>(count) / squares);
  return {psnr, worst};
}

// Every picture of the recording decoded as the viewer steps through it, as 4:2:0 planes
// (top line first, chroma back to the 128-centred form).
std::vector<std::vector<uint8_t>> DecodeAll(const std::string& path) {
  Recording recording;
  std::string error;
  EXPECT_TRUE(recording.Open(path, error)) << error;
  PictureDecoder decoder;
  EXPECT_TRUE(decoder.CheckSize(recording.File()));
  std::vector<std::vector<uint8_t>> pictures;
  const int w = decoder.Width(), h = decoder.Height();
  while (recording.StepUp(decoder.PicBuf())) {
    EXPECT_EQ(decoder.DecodePicture(), PictureDecoder::PictureResult::Decoded) << "picture " << pictures.size();
    std::vector<uint8_t> planes;
    for (int y = h - 1; y >= 0; --y)
      for (int x = 0; x < w; ++x) planes.push_back(decoder.FrameBuf[static_cast<size_t>(3 * (y * w + x))]);
    for (int c = 1; c <= 2; ++c)
      for (int y = h - 1; y >= 0; y -= 2)
        for (int x = 0; x < w; x += 2)
          planes.push_back(static_cast<uint8_t>(decoder.FrameBuf[static_cast<size_t>(3 * (y * w + x) + c)] ^ 0x80));
    pictures.push_back(std::move(planes));
  }
  return pictures;
}

std::vector<uint8_t> FfmpegDecode(const std::string& stream, const std::string& yuvPath) {
  const std::string command = "ffmpeg -nostdin -loglevel error -y -threads 1 -i '" + stream +
                              "' -fps_mode passthrough -f rawvideo -pix_fmt yuv420p '" + yuvPath + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return test::ReadWholeFile(yuvPath);
}

void ExpectCloseTo(const std::vector<std::vector<uint8_t>>& ours, const std::vector<uint8_t>& reference,
                   int width, int height, int pictures) {
  const size_t luma = static_cast<size_t>(width * height), frame = luma * 3 / 2;
  ASSERT_EQ(static_cast<int>(ours.size()), pictures);
  ASSERT_EQ(reference.size(), frame * static_cast<size_t>(pictures));
  const size_t offsets[3] = {0, luma, luma * 5 / 4}, sizes[3] = {luma, luma / 4, luma / 4};
  for (int p = 0; p < pictures; ++p)
    for (int plane = 0; plane < 3; ++plane) {
      const PlaneMatch m = Compare(ours[static_cast<size_t>(p)].data() + offsets[plane],
                                   reference.data() + frame * static_cast<size_t>(p) + offsets[plane], sizes[plane]);
      EXPECT_GE(m.psnr, kMinimumPsnr) << "picture " << p << " plane " << plane;
      if (p == 0) std::printf("  %dx%d plane %d: %.2f dB, largest difference %d\n", width, height, plane, m.psnr, m.maxDifference);
    }
}

void CheckFixture(const std::string& name, int width, int height, int pictures, const std::string& source) {
  const test::FixtureRecording r = test::MakeFfmpegRecording(name, width, height, pictures, source);
  const std::vector<uint8_t> reference = FfmpegDecode(r.elementaryStreamPath, r.yuvPath + ".passthrough.yuv");
  ExpectCloseTo(DecodeAll(r.path), reference, width, height, pictures);
}

TEST(DecoderAgainstFfmpeg, VgaTestPattern) { CheckFixture("psnr_vga", 640, 480, 6, "testsrc2"); }
TEST(DecoderAgainstFfmpeg, CifFractal) { CheckFixture("psnr_cif", 320, 240, 6, "mandelbrot"); }
TEST(DecoderAgainstFfmpeg, VgaHighDetail) { CheckFixture("psnr_detail", 640, 480, 4, "testsrc2,noise=alls=60:allf=t"); }

// Our writer's streams: ffmpeg must read them as valid MPEG-1 close to the source pictures,
// and our decode must match ffmpeg's as for ffmpeg's own streams.
TEST(WriterAgainstFfmpeg, StreamsAreValidAndDecodeAlike) {
  for (const auto& [w, h, detailed] : {std::tuple{640, 480, false}, std::tuple{320, 240, true}}) {
    RecordingWriter writer(w, h);
    std::vector<uint8_t> source;
    for (int i = 0; i < 3; ++i) {
      const YuvPicture p = detailed ? MakeDetailedPattern(w, h, i) : MakeTestPattern(w, h, i);
      writer.AddPicture(p, MakeGprmcSentence(i));
      for (const auto* plane : {&p.y, &p.cb, &p.cr}) source.insert(source.end(), plane->begin(), plane->end());
    }
    const std::string path = test::TestDataDir() + "/writer_" + std::to_string(w) + ".m1v";
    ASSERT_TRUE(writer.WriteFile(path));
    const std::vector<uint8_t> ffmpeg = FfmpegDecode(path, path + ".yuv");
    ASSERT_EQ(ffmpeg.size(), source.size());
    // Quantiser 8 keeps smooth content well; the noise-like pattern loses more.
    EXPECT_GE(Compare(ffmpeg.data(), source.data(), source.size()).psnr, detailed ? 20.0 : 35.0);
    ExpectCloseTo(DecodeAll(path), ffmpeg, w, h, 3);
  }
}

}  // namespace
}  // namespace rovena
