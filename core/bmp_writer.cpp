#include "core/bmp_writer.h"

#include "core/atomic_file.h"

namespace rovena {
namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
// 2835 pixels per metre is 72 dots per inch, the customary value for screen pictures.
constexpr std::uint32_t kPixelsPerMetre = 2835;

void PutLe16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void PutLe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  PutLe16(out, v & 0xFFFF);
  PutLe16(out, v >> 16);
}

}  // namespace

std::vector<std::uint8_t> EncodeBmp24(const BgrImageView& image) {
  const auto width = static_cast<std::uint32_t>(image.width);
  const auto height = static_cast<std::uint32_t>(image.height);
  const std::uint32_t rowBytes = (width * 3 + 3) & ~3u;
  const std::uint32_t pixelBytes = rowBytes * height;
  const std::uint32_t offset = kFileHeaderSize + kInfoHeaderSize;

  std::vector<std::uint8_t> out;
  out.reserve(offset + pixelBytes);
  out.push_back('B');
  out.push_back('M');
  PutLe32(out, offset + pixelBytes);
  PutLe32(out, 0);  // two reserved 16-bit fields
  PutLe32(out, offset);

  PutLe32(out, kInfoHeaderSize);
  PutLe32(out, width);
  PutLe32(out, height);  // positive: rows stored bottom-up
  PutLe16(out, 1);       // planes
  PutLe16(out, 24);      // bits per pixel
  PutLe32(out, 0);       // no compression
  PutLe32(out, pixelBytes);
  PutLe32(out, kPixelsPerMetre);
  PutLe32(out, kPixelsPerMetre);
  PutLe32(out, 0);  // no palette
  PutLe32(out, 0);

  for (std::uint32_t fileRow = 0; fileRow < height; ++fileRow) {
    // The file's first row is the picture's bottom row.
    const std::uint32_t storedRow = image.bottomUp ? fileRow : height - 1 - fileRow;
    const std::uint8_t* row = image.data + static_cast<std::ptrdiff_t>(storedRow) * image.stride;
    out.insert(out.end(), row, row + width * 3);
    out.resize(out.size() + (rowBytes - width * 3), 0);
  }
  return out;
}

std::string WriteBmp24File(const std::string& path, const BgrImageView& image, IfExists ifExists) {
  return WriteFileAtomically(path, EncodeBmp24(image), ifExists);
}

}  // namespace rovena
