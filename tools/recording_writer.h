// An intra-only MPEG-1 encoder that writes recordings in the car recorder's form: every picture
// is a sequence of its own (12-byte sequence header without matrices, 8-byte GOP header,
// picture header, user data carrying a $GPRMC sentence and one zero byte, one slice at
// quantiser 8 whose macroblocks all have address increment 1 and type intra, sequence end
// code). The streams are valid MPEG-1, so other decoders can check ours against them.
//
// Besides whole pictures, the block-level pieces are public so that tests can build exact bit
// sequences: a chosen coefficient code, an escape, a run to a given scan index, a broken
// macroblock, an oversized picture.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/atomic_file.h"

namespace rovena {

// Planes of one picture in 4:2:0: Y is width x height, Cb and Cr are half that each way.
// Rows top-down, samples 0..255 (chroma centred on 128).
struct YuvPicture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> y, cb, cr;

  YuvPicture() = default;
  YuvPicture(int w, int h);
  // From 3 bytes per pixel R, G, B, rows top-down, with the usual studio-range matrix and
  // 2x2 averaging of the chroma.
  static YuvPicture FromRgb(int w, int h, const std::vector<uint8_t>& rgb);
};

// Most significant bit first.
class BitWriter {
 public:
  void Put(uint32_t bits, int count);
  void PutBit(bool bit) { Put(bit ? 1u : 0u, 1); }
  // Pads with zero bits to the next byte boundary.
  void AlignWithZeros();
  // The bytes written so far; a partial last byte is padded with zeros.
  std::vector<uint8_t> Bytes() const;
  size_t BitCount() const { return bitCount_; }

 private:
  std::vector<uint8_t> bytes_;
  size_t bitCount_ = 0;
};

// Quantised levels of one block in zig-zag scan order; index 0 is the absolute DC level
// (0..255 for an ordinary picture, chroma centred on 128).
using ScanLevels = std::array<int, 64>;

// The first byte's fields of the slice: quantiser scale (5 bits) and extra-slice bit 0.
void PutSliceHeaderFields(BitWriter& out, int quantiserScale = 8);
// Address increment 1 and type intra: the two bits 1 1.
void PutIntraMacroblockHeader(BitWriter& out);
// DC size code and differential bits; sizes up to 10 (luminance) or 9 (chrominance), which
// covers the two extra size codes of the viewer beyond the standard's 8.
void PutDcDifferential(BitWriter& out, bool luminance, int difference);
// A run/level pair: its table code and sign bit, or the escape form when it has no code.
void PutCoefficient(BitWriter& out, int run, int level);
// The escape form: 0000 01, 6-bit run, 8- or 16-bit level (level -255..255, not 0).
void PutEscapedCoefficient(BitWriter& out, int run, int level);
void PutEndOfBlock(BitWriter& out);
// One whole block: DC differential against `predictor` (then updated), the AC levels, EOB.
void PutBlock(BitWriter& out, const ScanLevels& levels, int& predictor, bool luminance);

// Transform and quantisation of one 8x8 block of samples (raster order) at quantiser 8 with
// the default intra matrix, as the recorder's pictures are coded.
ScanLevels QuantiseBlock(const std::array<int, 64>& samples);

// The slice data of a whole picture: the bytes that follow the slice start code, up to but
// not including the sequence end code.
std::vector<uint8_t> EncodeSliceData(const YuvPicture& picture);

class RecordingWriter {
 public:
  // 640x480 or 320x240 (any multiple of 16 encodes, but the viewer takes only those two).
  RecordingWriter(int width, int height);

  // Encodes one picture. An empty sentence leaves out the user data.
  void AddPicture(const YuvPicture& picture, const std::string& gprmcSentence);
  void AddRgbPicture(const std::vector<uint8_t>& rgb, const std::string& gprmcSentence);
  // A picture whose slice data (the bytes after the slice start code) the caller made.
  void AddCodedPicture(const std::vector<uint8_t>& sliceData, const std::string& gprmcSentence);
  // Raw bytes, for damaged or unusual files.
  void AddBytes(const std::vector<uint8_t>& bytes);

  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  int PictureCount() const { return pictureCount_; }
  // Writes to a temporary name beside `path` and renames it, so that concurrent readers
  // never see half a file. A test's fixture replaces what is there; the demo asks.
  bool WriteFile(const std::string& path, IfExists ifExists = IfExists::Replace) const;

 private:
  void PutStartCode(uint8_t value);
  void PutSequenceHeader();
  void PutGroupHeader();
  void PutPictureHeader();

  int width_;
  int height_;
  int pictureCount_ = 0;
  std::vector<uint8_t> bytes_;
};

// Test patterns for recordings: smooth colour gradients with moving bars, and a detailed
// pattern that needs long codes and escapes. `index` moves them from picture to picture.
YuvPicture MakeTestPattern(int width, int height, int index);
YuvPicture MakeDetailedPattern(int width, int height, int index);

// A plausible $GPRMC sentence with a valid checksum for picture `index` of a drive.
std::string MakeGprmcSentence(int index);

}  // namespace rovena
