// 24-bit BMP files: a 14-byte file header, a 40-byte info header and the pixel rows bottom-up,
// each padded to a multiple of 4 bytes. Used for snapshots of the picture area and for
// exporting decoded frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/atomic_file.h"

namespace rovena {

// A view of pixels stored as blue, green, red bytes. `stride` is the distance in bytes from
// one stored row to the next; `bottomUp` says the first stored row is the picture's bottom
// row (as in the decoder's frame buffer) rather than its top row (as in most images).
struct BgrImageView {
  int width = 0;
  int height = 0;
  const std::uint8_t* data = nullptr;
  std::ptrdiff_t stride = 0;
  bool bottomUp = false;
};

// The complete BMP file in memory. Width and height must be positive.
std::vector<std::uint8_t> EncodeBmp24(const BgrImageView& image);

// Writes the BMP atomically (a complete new file or the old one untouched). Returns an
// empty string on success, otherwise a description of the failure for the user.
std::string WriteBmp24File(const std::string& path, const BgrImageView& image, IfExists ifExists);

}  // namespace rovena
