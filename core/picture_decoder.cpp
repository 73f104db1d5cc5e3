#include "core/picture_decoder.h"

#include <algorithm>

#include "core/recording_file.h"

namespace rovena {
namespace {

struct FormatInfo {
  int width;
  int height;
  int drawX;
};

// Index = PicFormat.
constexpr FormatInfo kFormats[3] = {{0, 0, 0}, {640, 480, 0}, {320, 240, 160}};

}  // namespace

PictureDecoder::PictureDecoder(BlockLibrary& library)
    : library_(library), mpeg_(std::make_unique<modMPEG>(library)) {}

PictureDecoder::~PictureDecoder() = default;

uint8_t* PictureDecoder::PicBuf() { return mpeg_->PicBuf; }

int PictureDecoder::Width() const { return kFormats[PicFormat <= 2 ? PicFormat : 0].width; }
int PictureDecoder::Height() const { return kFormats[PicFormat <= 2 ? PicFormat : 0].height; }
int PictureDecoder::DrawX() const { return kFormats[PicFormat <= 2 ? PicFormat : 0].drawX; }

bool PictureDecoder::CheckSize(const std::array<uint8_t, 7>& header) {
  // Without a sequence header start code the format stays as it was.
  if (!HasSequenceHeaderCode(header.data())) return false;
  PicFormat = FrameFormatFromHeader(header.data());
  if (PicFormat == kFormatNone) return false;
  FrameBuf.assign(static_cast<size_t>(3 * Width() * Height()), 0);
  return true;
}

bool PictureDecoder::CheckSize(RecordingFile& file) {
  std::array<uint8_t, 7> header;
  for (uint8_t& byte : header) byte = file.ReadNext();
  return CheckSize(header);
}

PictureDecoder::PictureResult PictureDecoder::ShowPic() {
  const PictureResult result = DecodePicture();
  if (result == PictureResult::Decoded) ConvertFrame();
  return result;
}

PictureDecoder::PictureResult PictureDecoder::DecodePicture() {
  if (PicFormat != 1 && PicFormat != 2) return PictureResult::NoFormat;
  if (!library_.Ready()) return PictureResult::NoLibrary;
  mpeg_->StartPicture();
  const int rows = Height() / 16, columns = Width() / 16;
  for (int row = 0; row < rows; ++row)
    for (int column = 0; column < columns; ++column) {
      if (!mpeg_->DecodeMacroblock()) return PictureResult::Failed;
      PlaceMacroblock(row, column);
    }
  return PictureResult::Decoded;
}

void PictureDecoder::ConvertFrame() {
  library_.YUVtoRGB(FrameBuf.data(), Width() * Height());
}

// Each block is addressed by the bottom-left pixel of the area it fills; lines count
// from the bottom of the picture, and the library fills the area upwards from there.
void PictureDecoder::PlaceMacroblock(int row, int column) {
  const int width = Width();
  const int bottomLine = Height() - 16 * (row + 1);
  const auto at = [&](int component, int x, int line) {
    return &FrameBuf[static_cast<size_t>(3 * (line * width + x) + component)];
  };
  const int x = 16 * column;
  modMPEG& m = *mpeg_;
  const bool vga = PicFormat == 1;
  const auto placeY = vga ? library_.CopyBlockVgaY : library_.CopyBlockCifY;
  const auto placeC = vga ? library_.CopyBlockVgaC : library_.CopyBlockCifC;
  placeY(at(0, x, bottomLine + 8), m.BlockY0);
  placeY(at(0, x + 8, bottomLine + 8), m.BlockY1);
  placeY(at(0, x, bottomLine), m.BlockY2);
  placeY(at(0, x + 8, bottomLine), m.BlockY3);
  placeC(at(1, x, bottomLine), m.BlockCb);
  placeC(at(2, x, bottomLine), m.BlockCr);
}

}  // namespace rovena
