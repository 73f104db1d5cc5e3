// The picture loop without a window: the frame format decided from the sequence header at
// the start of a recording, the frame buffer, and the decoding of one coded picture into it
// followed by the colour conversion. Drawing is the window's business.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/block_library.h"
#include "core/modMPEG.h"
#include "core/stream_format.h"

namespace rovena {

class RecordingFile;

class PictureDecoder {
 public:
  explicit PictureDecoder(BlockLibrary& library = BlockLibrary::Instance());
  ~PictureDecoder();

  FrameFormat PicFormat = kFormatNone;
  // 3 bytes per pixel: component fastest, then column, then line; line 0 is the lowest row
  // of the picture. Before conversion the bytes are Y, Cb, Cr (chroma signed, centred on 0);
  // afterwards blue, green, red.
  std::vector<uint8_t> FrameBuf;

  // The decoder's coded-picture buffer of kPicBufSize bytes (fill it with
  // Recording::ReadFrame).
  uint8_t* PicBuf();

  // Reads the next 7 bytes of the file (bytes 1..7 right after opening). When they are a
  // sequence header of 640x480 or 320x240: sets PicFormat, re-allocates FrameBuf zeroed and
  // returns true. Another size: PicFormat 0, false. No sequence header start code at all:
  // false and nothing changed.
  bool CheckSize(RecordingFile& file);
  // The same decision on 7 header bytes already read.
  bool CheckSize(const std::array<uint8_t, 7>& header);

  enum class PictureResult {
    Decoded,    // FrameBuf holds the picture in display colours
    Failed,     // a macroblock could not be decoded: nothing converted, FrameBuf partly
                // overwritten with samples; the caller keeps showing the previous picture
    NoFormat,   // PicFormat is 0: nothing done
    NoLibrary,  // the block library is missing (see BlockLibrary::Error()): nothing done
  };
  // Decodes PicBuf into FrameBuf and converts the frame once to display colours.
  PictureResult ShowPic();
  // The two halves of ShowPic, for callers that need the samples before conversion.
  PictureResult DecodePicture();
  void ConvertFrame();

  int Width() const;
  int Height() const;
  int DrawX() const;  // left edge of the picture in the 640-pixel-wide picture area

  modMPEG& Mpeg() { return *mpeg_; }

 private:
  void PlaceMacroblock(int row, int column);

  BlockLibrary& library_;
  std::unique_ptr<modMPEG> mpeg_;
};

}  // namespace rovena
