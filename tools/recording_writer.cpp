#include "tools/recording_writer.h"

#include "core/atomic_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "core/modMPEG.h"

namespace rovena {
namespace {

// Raster index of each zig-zag scan position.
constexpr int kZigZag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                             12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                             35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                             58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// Default intra quantiser matrix, raster order.
constexpr int kIntraWeight[64] = {8,  16, 19, 22, 26, 27, 29, 34, 16, 16, 22, 24, 27, 29, 34, 37,
                                  19, 22, 26, 27, 29, 34, 34, 38, 22, 22, 26, 27, 29, 34, 37, 40,
                                  22, 26, 27, 29, 32, 35, 40, 48, 26, 27, 29, 32, 35, 40, 48, 58,
                                  26, 27, 29, 34, 38, 46, 56, 69, 27, 29, 35, 38, 46, 56, 69, 83};

struct DcSizeCode {
  uint32_t bits;
  int length;
};
// Indexed by size. Sizes 9 and 10 (luminance) and 9 (chrominance) are the viewer's extension.
constexpr DcSizeCode kLumaDcSize[11] = {{0b100, 3},     {0b00, 2},       {0b01, 2},        {0b101, 3},
                                        {0b110, 3},     {0b1110, 4},     {0b11110, 5},     {0b111110, 6},
                                        {0b1111110, 7}, {0b11111110, 8}, {0b11111111, 8}};
constexpr DcSizeCode kChromaDcSize[10] = {{0b00, 2},      {0b01, 2},       {0b10, 2},         {0b110, 3},
                                          {0b1110, 4},    {0b11110, 5},    {0b111110, 6},     {0b1111110, 7},
                                          {0b11111110, 8}, {0b11111111, 8}};

// For a run/level pair with a table code, the index of its entry; -1 otherwise.
struct CodeIndex {
  int8_t entry[64][41];
  CodeIndex() {
    for (auto& row : entry) std::fill(std::begin(row), std::end(row), int8_t{-1});
    for (int i = 0; i < CoefCodeCount; ++i) {
      const int symbol = CoefCodeTab[i].symbol;
      if (symbol != EscapeSymbol) entry[SymbolRun(symbol)][SymbolLevel(symbol)] = static_cast<int8_t>(i);
    }
  }
};
const CodeIndex& Codes() {
  static const CodeIndex index;
  return index;
}

// cos((2x+1) u pi / 16) scaled by C(u)/2, so that F = sum over x, y of both factors times f.
struct DctBasis {
  double c[8][8];  // [u][x]
  DctBasis() {
    const double pi = std::acos(-1.0);
    for (int u = 0; u < 8; ++u)
      for (int x = 0; x < 8; ++x) c[u][x] = (u == 0 ? std::sqrt(0.5) : 1.0) / 2 * std::cos((2 * x + 1) * u * pi / 16);
  }
};
const DctBasis& Basis() {
  static const DctBasis basis;
  return basis;
}

int Clamp(int v, int low, int high) { return std::min(std::max(v, low), high); }

std::array<int, 64> BlockFrom(const std::vector<uint8_t>& plane, int stride, int x0, int y0) {
  std::array<int, 64> samples;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) samples[8 * y + x] = plane[static_cast<size_t>((y0 + y) * stride + x0 + x)];
  return samples;
}

int NmeaChecksum(const std::string& body) {
  int sum = 0;
  for (char c : body) sum ^= static_cast<unsigned char>(c);
  return sum;
}

}  // namespace

YuvPicture::YuvPicture(int w, int h)
    : width(w), height(h), y(static_cast<size_t>(w * h)), cb(static_cast<size_t>(w * h / 4)), cr(cb.size()) {}

YuvPicture YuvPicture::FromRgb(int w, int h, const std::vector<uint8_t>& rgb) {
  YuvPicture p(w, h);
  const auto at = [&](int x, int y, int c) { return static_cast<double>(rgb[static_cast<size_t>(3 * (y * w + x) + c)]); };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      p.y[static_cast<size_t>(y * w + x)] = static_cast<uint8_t>(
          Clamp(static_cast<int>(std::lround(16 + 0.257 * at(x, y, 0) + 0.504 * at(x, y, 1) + 0.098 * at(x, y, 2))), 0, 255));
  for (int y = 0; y < h / 2; ++y)
    for (int x = 0; x < w / 2; ++x) {
      double r = 0, g = 0, b = 0;
      for (int d = 0; d < 4; ++d) {
        r += at(2 * x + d % 2, 2 * y + d / 2, 0) / 4;
        g += at(2 * x + d % 2, 2 * y + d / 2, 1) / 4;
        b += at(2 * x + d % 2, 2 * y + d / 2, 2) / 4;
      }
      const size_t i = static_cast<size_t>(y * (w / 2) + x);
      p.cb[i] = static_cast<uint8_t>(Clamp(static_cast<int>(std::lround(128 - 0.148 * r - 0.291 * g + 0.439 * b)), 0, 255));
      p.cr[i] = static_cast<uint8_t>(Clamp(static_cast<int>(std::lround(128 + 0.439 * r - 0.368 * g - 0.071 * b)), 0, 255));
    }
  return p;
}

void BitWriter::Put(uint32_t bits, int count) {
  for (int i = count - 1; i >= 0; --i) {
    if (bitCount_ % 8 == 0) bytes_.push_back(0);
    if ((bits >> i) & 1u) bytes_.back() = static_cast<uint8_t>(bytes_.back() | (0x80u >> (bitCount_ % 8)));
    ++bitCount_;
  }
}

void BitWriter::AlignWithZeros() {
  while (bitCount_ % 8 != 0) PutBit(false);
}

std::vector<uint8_t> BitWriter::Bytes() const { return bytes_; }

void PutSliceHeaderFields(BitWriter& out, int quantiserScale) {
  out.Put(static_cast<uint32_t>(quantiserScale), 5);
  out.PutBit(false);
}

void PutIntraMacroblockHeader(BitWriter& out) { out.Put(0b11, 2); }

void PutDcDifferential(BitWriter& out, bool luminance, int difference) {
  int size = 0;
  while ((1 << size) <= std::abs(difference)) ++size;
  const int maxSize = luminance ? 10 : 9;
  if (size > maxSize) throw std::invalid_argument("DC differential out of range");
  const DcSizeCode& code = luminance ? kLumaDcSize[size] : kChromaDcSize[size];
  out.Put(code.bits, code.length);
  if (size == 0) return;
  const int bits = difference > 0 ? difference : difference + (1 << size) - 1;
  out.Put(static_cast<uint32_t>(bits), size);
}

void PutEscapedCoefficient(BitWriter& out, int run, int level) {
  if (run < 0 || run > 63 || level == 0 || level < -255 || level > 255)
    throw std::invalid_argument("escape run or level out of range");
  out.Put(0b000001, 6);
  out.Put(static_cast<uint32_t>(run), 6);
  if (level >= -127 && level <= 127)
    out.Put(static_cast<uint32_t>(level) & 0xFFu, 8);
  else if (level > 0)
    out.Put(static_cast<uint32_t>(level), 16);  // 0000 0000 then the level
  else
    out.Put(0x8000u | static_cast<uint32_t>(level + 256), 16);  // 1000 0000 then level + 256
}

void PutCoefficient(BitWriter& out, int run, int level) {
  const int magnitude = std::abs(level);
  const int entry = run <= 63 && magnitude <= 40 ? Codes().entry[run][magnitude] : -1;
  if (entry < 0) {
    PutEscapedCoefficient(out, run, level);
    return;
  }
  out.Put(static_cast<uint32_t>(CoefCodeTab[static_cast<size_t>(entry)].code), CoefCodeTab[static_cast<size_t>(entry)].length);
  out.PutBit(level < 0);
}

void PutEndOfBlock(BitWriter& out) { out.Put(0b10, 2); }

void PutBlock(BitWriter& out, const ScanLevels& levels, int& predictor, bool luminance) {
  PutDcDifferential(out, luminance, levels[0] - predictor);
  predictor = levels[0];
  int run = 0;
  for (int k = 1; k < 64; ++k) {
    if (levels[static_cast<size_t>(k)] == 0) {
      ++run;
      continue;
    }
    PutCoefficient(out, run, levels[static_cast<size_t>(k)]);
    run = 0;
  }
  PutEndOfBlock(out);
}

ScanLevels QuantiseBlock(const std::array<int, 64>& samples) {
  const DctBasis& b = Basis();
  double rows[8][8];  // [y][u]: the horizontal transform of each row
  for (int y = 0; y < 8; ++y)
    for (int u = 0; u < 8; ++u) {
      double sum = 0;
      for (int x = 0; x < 8; ++x) sum += b.c[u][x] * samples[static_cast<size_t>(8 * y + x)];
      rows[y][u] = sum;
    }
  ScanLevels levels{};
  for (int k = 0; k < 64; ++k) {
    const int raster = kZigZag[k], u = raster % 8, v = raster / 8;
    double coefficient = 0;
    for (int y = 0; y < 8; ++y) coefficient += b.c[v][y] * rows[y][u];
    // At quantiser 8 an intra level reconstructs as level x weight (DC: level x 8).
    const int level = static_cast<int>(std::lround(coefficient / kIntraWeight[raster]));
    levels[static_cast<size_t>(k)] = k == 0 ? Clamp(level, 0, 255) : Clamp(level, -255, 255);
  }
  return levels;
}

std::vector<uint8_t> EncodeSliceData(const YuvPicture& picture) {
  BitWriter out;
  PutSliceHeaderFields(out);
  int predY = 128, predCb = 128, predCr = 128;
  const int w = picture.width, cw = picture.width / 2;
  for (int my = 0; my < picture.height / 16; ++my)
    for (int mx = 0; mx < w / 16; ++mx) {
      PutIntraMacroblockHeader(out);
      for (int b = 0; b < 4; ++b)
        PutBlock(out, QuantiseBlock(BlockFrom(picture.y, w, 16 * mx + 8 * (b % 2), 16 * my + 8 * (b / 2))), predY, true);
      PutBlock(out, QuantiseBlock(BlockFrom(picture.cb, cw, 8 * mx, 8 * my)), predCb, false);
      PutBlock(out, QuantiseBlock(BlockFrom(picture.cr, cw, 8 * mx, 8 * my)), predCr, false);
    }
  out.AlignWithZeros();
  return out.Bytes();
}

RecordingWriter::RecordingWriter(int width, int height) : width_(width), height_(height) {
  if (width <= 0 || height <= 0 || width % 16 != 0 || height % 16 != 0 || width > 4095 || height > 4095)
    throw std::invalid_argument("picture size must be a multiple of 16");
}

void RecordingWriter::PutStartCode(uint8_t value) { bytes_.insert(bytes_.end(), {0x00, 0x00, 0x01, value}); }

void RecordingWriter::PutSequenceHeader() {
  PutStartCode(0xB3);
  BitWriter fields;
  fields.Put(static_cast<uint32_t>(width_), 12);
  fields.Put(static_cast<uint32_t>(height_), 12);
  fields.Put(1, 4);        // square pixels
  fields.Put(3, 4);        // 25 pictures per second
  fields.Put(0x3FFFF, 18); // variable bit rate
  fields.PutBit(true);     // marker
  fields.Put(40, 10);      // VBV buffer size, in 16 kbit units
  fields.PutBit(false);    // not constrained
  fields.PutBit(false);    // default intra matrix
  fields.PutBit(false);    // default non-intra matrix
  const auto b = fields.Bytes();
  bytes_.insert(bytes_.end(), b.begin(), b.end());
}

void RecordingWriter::PutGroupHeader() {
  PutStartCode(0xB8);
  const int seconds = pictureCount_ / 25, frames = pictureCount_ % 25;
  BitWriter fields;
  fields.PutBit(false);  // no drop frame
  fields.Put(static_cast<uint32_t>(seconds / 3600 % 24), 5);
  fields.Put(static_cast<uint32_t>(seconds / 60 % 60), 6);
  fields.PutBit(true);   // marker
  fields.Put(static_cast<uint32_t>(seconds % 60), 6);
  fields.Put(static_cast<uint32_t>(frames), 6);
  fields.PutBit(true);   // closed GOP
  fields.PutBit(false);  // no broken link
  fields.AlignWithZeros();
  const auto b = fields.Bytes();
  bytes_.insert(bytes_.end(), b.begin(), b.end());
}

void RecordingWriter::PutPictureHeader() {
  PutStartCode(0x00);
  BitWriter fields;
  fields.Put(0, 10);       // temporal reference: first of its group
  fields.Put(1, 3);        // intra picture
  fields.Put(0xFFFF, 16);  // VBV delay unused
  fields.PutBit(false);    // no extra information
  fields.AlignWithZeros();
  const auto b = fields.Bytes();
  bytes_.insert(bytes_.end(), b.begin(), b.end());
}

void RecordingWriter::AddCodedPicture(const std::vector<uint8_t>& sliceData, const std::string& gprmcSentence) {
  PutSequenceHeader();
  PutGroupHeader();
  PutPictureHeader();
  if (!gprmcSentence.empty()) {
    PutStartCode(0xB2);
    bytes_.insert(bytes_.end(), gprmcSentence.begin(), gprmcSentence.end());
    bytes_.push_back(0x00);
  }
  PutStartCode(0x01);
  bytes_.insert(bytes_.end(), sliceData.begin(), sliceData.end());
  PutStartCode(0xB7);
  ++pictureCount_;
}

void RecordingWriter::AddPicture(const YuvPicture& picture, const std::string& gprmcSentence) {
  if (picture.width != width_ || picture.height != height_) throw std::invalid_argument("picture size differs");
  AddCodedPicture(EncodeSliceData(picture), gprmcSentence);
}

void RecordingWriter::AddRgbPicture(const std::vector<uint8_t>& rgb, const std::string& gprmcSentence) {
  AddPicture(YuvPicture::FromRgb(width_, height_, rgb), gprmcSentence);
}

void RecordingWriter::AddBytes(const std::vector<uint8_t>& bytes) { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }

bool RecordingWriter::WriteFile(const std::string& path, IfExists ifExists) const {
  return WriteFileAtomically(path, bytes_, ifExists).empty();
}

YuvPicture MakeTestPattern(int width, int height, int index) {
  YuvPicture p(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const bool bar = ((x + 4 * index) / 40) % 4 == 0;
      p.y[static_cast<size_t>(y * width + x)] = static_cast<uint8_t>(bar ? 200 : 30 + (x * 150) / width + (y * 40) / height);
    }
  for (int y = 0; y < height / 2; ++y)
    for (int x = 0; x < width / 2; ++x) {
      const size_t i = static_cast<size_t>(y * (width / 2) + x);
      p.cb[i] = static_cast<uint8_t>(64 + (x * 128) / (width / 2));
      p.cr[i] = static_cast<uint8_t>(64 + ((y + 2 * index) % (height / 2) * 128) / (height / 2));
    }
  return p;
}

YuvPicture MakeDetailedPattern(int width, int height, int index) {
  YuvPicture p(width, height);
  uint32_t state = 12345u + static_cast<uint32_t>(index) * 7919u;
  const auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return state >> 24;
  };
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int checker = ((x / 2 + y / 2 + index) % 2) * 120;
      p.y[static_cast<size_t>(y * width + x)] = static_cast<uint8_t>(Clamp(40 + checker + static_cast<int>(next() % 80), 16, 235));
    }
  for (size_t i = 0; i < p.cb.size(); ++i) {
    p.cb[i] = static_cast<uint8_t>(16 + next() % 224);
    p.cr[i] = static_cast<uint8_t>(16 + next() % 224);
  }
  return p;
}

std::string MakeGprmcSentence(int index) {
  const int seconds = 22 * 3600 + 34 * 60 + 16 + index;
  char body[128];
  std::snprintf(body, sizeof body, "GPRMC,%02d%02d%02d.000,A,5213.%04d,N,02100.%04d,E,%d.%d,45.0,300306,,,A",
                seconds / 3600 % 24, seconds / 60 % 60, seconds % 60, (1234 + 7 * index) % 10000,
                (5678 + 11 * index) % 10000, 30 + index % 20, index % 10);
  char sentence[160];
  std::snprintf(sentence, sizeof sentence, "$%s*%02X", body, NmeaChecksum(body));
  return sentence;
}

}  // namespace rovena
