// The facts of the recorder's stream that more than one part of Rovena relies on: the start
// code values, the size of the coded-picture buffer and the two frame formats a recording
// can announce in its first seven bytes.
#pragma once

#include <cstdint>

namespace rovena {

// Start code values: the byte after the 00 00 01 prefix.
constexpr uint8_t kPictureStartCode = 0x00;
constexpr uint8_t kFirstSliceCode = 0x01;
constexpr uint8_t kUserDataCode = 0xB2;
constexpr uint8_t kSequenceHeaderCode = 0xB3;
constexpr uint8_t kSequenceEndCode = 0xB7;

// The coded-picture buffer: ReadFrame fills indices 0..299999 and the decoder reads no further.
constexpr int kPicBufSize = 300000;

// The frame formats, numbered as the window and the decoder have always numbered them.
enum FrameFormat : uint8_t {
  kFormatNone = 0,
  kFormatVga = 1,  // 640 x 480
  kFormatCif = 2,  // 320 x 240
};

constexpr bool IsStartCodePrefix(const uint8_t* p) { return p[0] == 0 && p[1] == 0 && p[2] == 1; }

// True when the first four bytes are a sequence header start code 00 00 01 B3.
constexpr bool HasSequenceHeaderCode(const uint8_t* bytes4) {
  return IsStartCodePrefix(bytes4) && bytes4[3] == kSequenceHeaderCode;
}

// The frame format that the first 7 bytes of a recording announce: kFormatVga for
// 00 00 01 B3 28 01 E0, kFormatCif for 00 00 01 B3 14 00 F0, kFormatNone for anything else.
constexpr FrameFormat FrameFormatFromHeader(const uint8_t* bytes7) {
  if (!HasSequenceHeaderCode(bytes7)) return kFormatNone;
  // Bytes 4..6 hold the 12-bit width and the 12-bit height.
  const int width = (bytes7[4] << 4) | (bytes7[5] >> 4);
  const int height = ((bytes7[5] & 0x0F) << 8) | bytes7[6];
  if (width == 640 && height == 480) return kFormatVga;
  if (width == 320 && height == 240) return kFormatCif;
  return kFormatNone;
}

}  // namespace rovena
