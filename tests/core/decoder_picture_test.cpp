// The picture loop: the format decision, where each block lands in the bottom-up frame, what
// a failed picture leaves, the missing library, and rovena-cli frames end to end.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <tuple>

#include "core/picture_decoder.h"
#include "core/recording_file.h"
#include "recording_fixture.h"
#include "tools/recording_writer.h"

namespace rovena {
namespace {

// What a DC-only block of DC level v becomes: 8v through both transform passes.
int DcOnlySample(int v) { return (((8 * v * 91) >> 8) * 91) >> 8; }

// A 320x240 picture whose blocks carry only DC levels that tell their place apart.
struct PlacedLevels {
  static int Luma(int row, int column, int block) { return 20 + (row * 20 + column) % 50 * 4 + block; }
  static int Cb(int row) { return 8 * (row - 7); }
  static int Cr(int column) { return 6 * (column - 10); }
};

std::vector<uint8_t> PlacementSlice(int brokenMacroblock = -1) {
  BitWriter w;
  PutSliceHeaderFields(w);
  int predY = 128, predCb = 0, predCr = 0;
  for (int row = 0; row < 15; ++row)
    for (int column = 0; column < 20; ++column) {
      if (row * 20 + column == brokenMacroblock) {
        w.Put(0b10, 2);  // macroblock type other than intra
        continue;
      }
      PutIntraMacroblockHeader(w);
      ScanLevels levels{};
      for (int block = 0; block < 4; ++block) {
        levels[0] = PlacedLevels::Luma(row, column, block);
        PutBlock(w, levels, predY, true);
      }
      levels[0] = PlacedLevels::Cb(row);
      PutBlock(w, levels, predCb, false);
      levels[0] = PlacedLevels::Cr(column);
      PutBlock(w, levels, predCr, false);
    }
  return w.Bytes();
}

std::array<uint8_t, 7> Header(uint8_t b4, uint8_t b5, uint8_t b6) { return {0, 0, 1, 0xB3, b4, b5, b6}; }

TEST(CheckSize, AcceptsExactlyTheTwoSizesAndZeroesTheFrame) {
  PictureDecoder d;
  EXPECT_TRUE(d.CheckSize(Header(0x28, 0x01, 0xE0)));
  EXPECT_EQ(d.PicFormat, 1);
  EXPECT_EQ(d.FrameBuf.size(), 640u * 480 * 3);
  EXPECT_EQ(d.DrawX(), 0);
  d.FrameBuf.assign(d.FrameBuf.size(), 7);
  EXPECT_TRUE(d.CheckSize(Header(0x14, 0x00, 0xF0)));
  EXPECT_EQ(d.PicFormat, 2);
  EXPECT_EQ(d.FrameBuf, std::vector<uint8_t>(320u * 240 * 3, 0));
  EXPECT_EQ(d.DrawX(), 160);
  EXPECT_FALSE(d.CheckSize({0, 0, 1, 0xB2, 0x28, 0x01, 0xE0}));
  EXPECT_EQ(d.PicFormat, 2) << "no sequence header: nothing changes";
  EXPECT_FALSE(d.CheckSize(Header(0x28, 0x01, 0xE1)));  // 640 x 481
  EXPECT_EQ(d.PicFormat, 0);
  EXPECT_EQ(d.ShowPic(), PictureDecoder::PictureResult::NoFormat);
}

TEST(CheckSize, ReadsSevenBytesOfTheFile) {
  RecordingWriter writer(640, 480);
  writer.AddCodedPicture({0x40}, "");
  const std::string path = test::TestDataDir() + "/checksize.m1v";
  ASSERT_TRUE(writer.WriteFile(path));
  RecordingFile file;
  std::string error;
  ASSERT_TRUE(file.Open(path, error));
  PictureDecoder d;
  EXPECT_TRUE(d.CheckSize(file));
  EXPECT_EQ(file.LastPosition(), 7);
}

class PictureLoopTest : public ::testing::Test {
 protected:
  void LoadCif(const std::vector<uint8_t>& slice) {
    ASSERT_TRUE(decoder.CheckSize(Header(0x14, 0x00, 0xF0)));
    std::copy(slice.begin(), slice.end(), decoder.PicBuf());
  }
  // Byte of the pixel `x` columns right and `y` lines down from the top left.
  uint8_t Pixel(int x, int y, int component) const {
    return decoder.FrameBuf[static_cast<size_t>(3 * ((239 - y) * 320 + x) + component)];
  }
  PictureDecoder decoder;
};

TEST_F(PictureLoopTest, BlocksLandTopDownInTheBottomUpFrame) {
  LoadCif(PlacementSlice());
  ASSERT_EQ(decoder.DecodePicture(), PictureDecoder::PictureResult::Decoded);
  for (int row = 0; row < 15; ++row)
    for (int column = 0; column < 20; ++column)
      for (int block = 0; block < 4; ++block)
        for (const auto& [dx, dy] : {std::pair{0, 0}, {7, 7}}) {
          const int x = 16 * column + 8 * (block % 2) + dx, y = 16 * row + 8 * (block / 2) + dy;
          ASSERT_EQ(Pixel(x, y, 0), DcOnlySample(PlacedLevels::Luma(row, column, block))) << row << "," << column << " block " << block;
          ASSERT_EQ(static_cast<int8_t>(Pixel(x, y, 1)), DcOnlySample(PlacedLevels::Cb(row)));
          ASSERT_EQ(static_cast<int8_t>(Pixel(x, y, 2)), DcOnlySample(PlacedLevels::Cr(column)));
        }
}

TEST_F(PictureLoopTest, ShowPicConvertsOnceAndAFailedPictureIsNotConverted) {
  LoadCif(PlacementSlice());
  ASSERT_EQ(decoder.ShowPic(), PictureDecoder::PictureResult::Decoded);
  const std::vector<uint8_t> converted = decoder.FrameBuf;
  LoadCif(PlacementSlice());
  ASSERT_EQ(decoder.DecodePicture(), PictureDecoder::PictureResult::Decoded);
  BlockLibrary::Instance().YUVtoRGB(decoder.FrameBuf.data(), 320 * 240);
  EXPECT_EQ(decoder.FrameBuf, converted);

  LoadCif(PlacementSlice(25));
  EXPECT_EQ(decoder.ShowPic(), PictureDecoder::PictureResult::Failed);
  EXPECT_EQ(Pixel(0, 0, 0), DcOnlySample(PlacedLevels::Luma(0, 0, 0))) << "placed samples stay unconverted";
  EXPECT_EQ(Pixel(16 * 5, 16, 0), 0) << "macroblock 25 and after are not placed";
}

TEST(BlockLibraryBinding, MissingFileOrExportIsAnErrorNotACrash) {
  BlockLibrary missing({"/nonexistent/folder/libKorvelMpeg.so"});
  EXPECT_FALSE(missing.Ready());
  EXPECT_NE(missing.Error().find("libKorvelMpeg.so"), std::string::npos) << missing.Error();
  PictureDecoder decoder(missing);
  ASSERT_TRUE(decoder.CheckSize(Header(0x14, 0x00, 0xF0)));
  EXPECT_EQ(decoder.ShowPic(), PictureDecoder::PictureResult::NoLibrary);

  BlockLibrary wrong({"libm.so.6"});
  EXPECT_FALSE(wrong.Ready());
  EXPECT_NE(wrong.Error().find("IZZQ"), std::string::npos) << wrong.Error();
  EXPECT_EQ(wrong.IZZQ, nullptr);
}

// The command as a user runs it: a recording with a damaged second picture.
TEST(FramesCommand, WritesDecodedPicturesReportsTheDamagedOneAndMakesAPlayableY4m) {
  RecordingWriter writer(320, 240);
  writer.AddCodedPicture(PlacementSlice(), MakeGprmcSentence(0));
  writer.AddCodedPicture(PlacementSlice(3), MakeGprmcSentence(1));
  writer.AddPicture(MakeTestPattern(320, 240, 2), MakeGprmcSentence(2));
  const std::string dir = test::TestDataDir() + "/frames_cli";
  std::filesystem::remove_all(dir);
  const std::string path = dir + ".m1v";
  ASSERT_TRUE(writer.WriteFile(path));
  const std::string cli = std::string(ROVENA_BIN_DIR) + "/rovena-cli frames '" + path + "' -o '" + dir + "'";
  const int status = std::system((cli + " --y4m '" + dir + "/all.y4m' 2>/dev/null").c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "a picture failed, so the status says so";
  EXPECT_TRUE(std::filesystem::exists(dir + "/frame00001.bmp"));
  EXPECT_FALSE(std::filesystem::exists(dir + "/frame00002.bmp"));
  EXPECT_TRUE(std::filesystem::exists(dir + "/frame00003.bmp"));
  EXPECT_EQ(std::filesystem::file_size(dir + "/frame00003.bmp"), 54u + 320 * 240 * 3);

  // The BMP's pixels are the converted frame buffer, rows bottom-up.
  PictureDecoder decoder;
  ASSERT_TRUE(decoder.CheckSize(Header(0x14, 0x00, 0xF0)));
  const auto slice = PlacementSlice();
  std::copy(slice.begin(), slice.end(), decoder.PicBuf());
  ASSERT_EQ(decoder.ShowPic(), PictureDecoder::PictureResult::Decoded);
  const std::vector<uint8_t> bmp = test::ReadWholeFile(dir + "/frame00001.bmp");
  EXPECT_TRUE(std::equal(decoder.FrameBuf.begin(), decoder.FrameBuf.end(), bmp.begin() + 54));

  const std::string count = "ffmpeg -nostdin -loglevel error -i '" + dir + "/all.y4m' -f rawvideo -pix_fmt yuv420p -y '" + dir + "/all.yuv'";
  ASSERT_EQ(std::system(count.c_str()), 0);
  EXPECT_EQ(std::filesystem::file_size(dir + "/all.yuv"), 2u * 320 * 240 * 3 / 2);

  std::filesystem::remove_all(dir);
  EXPECT_EQ(std::system((cli + " --first 3 --count 1").c_str()), 0);
  EXPECT_FALSE(std::filesystem::exists(dir + "/frame00001.bmp"));
  EXPECT_TRUE(std::filesystem::exists(dir + "/frame00003.bmp"));
}

// Several workers give what one gives: the same files byte for byte, the y4m frames and the
// messages in the same order, the same status; damaged pictures fall to different workers.
TEST(FramesCommand, WorkersWriteWhatOneWorkerWrites) {
  RecordingWriter writer(320, 240);
  for (int i = 0; i < 9; ++i) {
    if (i % 4 == 1)
      writer.AddCodedPicture(PlacementSlice(3), MakeGprmcSentence(i));
    else
      writer.AddPicture(MakeTestPattern(320, 240, i), MakeGprmcSentence(i));
  }
  const std::string base = test::TestDataDir() + "/frames_jobs";
  ASSERT_TRUE(writer.WriteFile(base + ".m1v"));
  const auto run = [&](int jobs) {
    const std::string dir = base + "_" + std::to_string(jobs);
    std::filesystem::remove_all(dir);
    const int status = std::system((std::string(ROVENA_BIN_DIR) + "/rovena-cli frames '" + base + ".m1v' -o '" + dir +
                                    "' --y4m '" + dir + "/all.y4m' --jobs " + std::to_string(jobs) + " >/dev/null 2>'" +
                                    dir + ".err'").c_str());
    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
      files[entry.path().filename().string()] = test::ReadWholeFile(entry.path().string());
    return std::tuple(status, files, test::ReadWholeFile(dir + ".err"));
  };
  const auto one = run(1);
  EXPECT_EQ(std::get<1>(one).size(), 7u + 1) << "seven pictures and the y4m stream";
  for (int jobs : {2, 3}) EXPECT_TRUE(run(jobs) == one) << jobs << " workers";
}

}  // namespace
}  // namespace rovena
