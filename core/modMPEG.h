// modMPEG: the viewer's own decoder of the recorder's intra pictures, below the picture loop.
//
// It takes a picture's coded bits from the fixed buffer PicBuf, high bit of each byte
// first, decodes the DC size and coefficient codes of the MPEG-1 block layer and turns one
// macroblock at a time into six blocks of samples (four luminance, Cb, Cr) with the block
// library's IZZQ and Idct. Every state lives in fixed arrays of one object; nothing is
// allocated while decoding.
//
// The decoder is written once over a bit-reader type: PlainBitReader follows the bit rules
// literally (BufPos, BitMask, CurByte) and serves as the reference in the tests;
// CachedBitReader returns the very same bits from a 64-bit cache and is what the viewer uses.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

#include "core/block_library.h"
#include "core/stream_format.h"

namespace rovena {

// The cached reader may load up to 8 bytes past the end of the coded-picture buffer
// (kPicBufSize), so the buffer carries that many bytes of padding that are never written and
// stay zero.
inline constexpr int PicBufPadding = 8;

// How many code bits one block's coefficient codes get; once they are spent the block
// ends just as an end-of-block code would end it.
inline constexpr int16_t CoefBitBudget = 1736;

// One code of the MPEG-1 DCT coefficient table (dct_coeff_next), without its sign bit.
struct CoefCode {
  int16_t length;  // bits of the code, 2 to 16
  int16_t code;    // the bits as an unsigned number, first bit read most significant
  int16_t symbol;  // 0..110 a run/level pair (see SymbolRun/SymbolLevel), 111 the escape
};

inline constexpr int CoefCodeCount = 112;
inline constexpr int16_t EscapeSymbol = 111;

// The 111 run/level codes and the escape, in ascending order of length (the walk in
// GetCoefCode relies on that order). A compile-time table, so it is ready before any picture.
extern const std::array<CoefCode, CoefCodeCount> CoefCodeTab;

// Run and level that a symbol 0..110 stands for.
int SymbolRun(int symbol);
int SymbolLevel(int symbol);

// The bit rules as stated: the first read of a picture returns bit 1 of byte 0 (the slice's
// quantiser scale and extra-slice flag are never looked at); a read that needs a byte at index
// kPicBufSize or beyond returns 0 and loads nothing.
class PlainBitReader {
 public:
  explicit PlainBitReader(const uint8_t* picBuf) : buf_(picBuf) {}
  void Restart() { BufPos = 0; }
  bool GetBit() {
    if (BufPos == 0) {
      BitMask = 2;
      CurByte = buf_[0];
      BufPos = 1;
    }
    if (BitMask == 0) {
      if (BufPos >= kPicBufSize) return false;
      BitMask = 128;
      CurByte = buf_[BufPos++];
    }
    const bool bit = (CurByte & BitMask) != 0;
    BitMask = static_cast<uint8_t>(BitMask >> 1);
    return bit;
  }

  int32_t BufPos = 0;   // next byte of the buffer to load; 0 = nothing of this picture read
  uint8_t BitMask = 0;  // mask of the next bit of CurByte; 0 = CurByte used up
  uint8_t CurByte = 0;

 private:
  const uint8_t* buf_;
};

// The same bit sequence served from a 64-bit cache. The cache is topped up with whole bytes
// by one unaligned 8-byte load; past the end of the buffer the zero padding supplies the zero
// bits. It can also show the next bits without reading them, which lets the decoder find a
// whole coefficient entry (code, sign or escape fields) at once and then consume its bits.
class CachedBitReader {
 public:
  explicit CachedBitReader(const uint8_t* paddedPicBuf) : buf_(paddedPicBuf) {}
  void Restart() {
    nextByte_ = 0;
    cache_ = 0;
    bitsLeft_ = 0;
    Refill();
    Skip(6);  // the quantiser scale and the extra-slice bit
  }
  bool GetBit() {
    if (bitsLeft_ == 0) Refill();
    const bool bit = (cache_ >> 63) != 0;
    cache_ <<= 1;
    --bitsLeft_;
    return bit;
  }
  // The next bits, first one most significant in bit 63, without consuming them; at least
  // `count` of them (up to 56) are valid, the bits below may be anything.
  uint64_t Window(int count) {
    if (bitsLeft_ < count) Refill();
    return cache_;
  }
  // Consumes `count` bits (at most those made valid by the last Window).
  void Skip(int count) {
    cache_ <<= count;
    bitsLeft_ -= count;
  }

 private:
  // Adds whole bytes behind the bits still cached, up to 56 or more cached bits. Bits beyond
  // the counted ones may already hold the following stream bits, which the next refill ORs
  // in again unchanged.
  void Refill() {
    uint64_t bytes;
    std::memcpy(&bytes, buf_ + nextByte_, sizeof bytes);
    cache_ |= __builtin_bswap64(bytes) >> bitsLeft_;
    const int added = (63 - bitsLeft_) >> 3;
    bitsLeft_ += 8 * added;
    nextByte_ = nextByte_ + added < kPicBufSize ? nextByte_ + added : kPicBufSize;
  }

  const uint8_t* buf_;
  uint64_t cache_ = 0;
  int bitsLeft_ = 0;
  int32_t nextByte_ = 0;
};

template <class BitReader>
class MpegDecoder {
 public:
  // The decoder uses library.IZZQ and library.Idct; a library that is not Ready() makes
  // every macroblock fail.
  explicit MpegDecoder(BlockLibrary& library = BlockLibrary::Instance());
  MpegDecoder(const MpegDecoder&) = delete;
  MpegDecoder& operator=(const MpegDecoder&) = delete;

  // Sets the three DC predictors to their start values (128, 0, 0). The code table needs no
  // filling: it is a compile-time constant.
  void InitTables();
  // Start of a picture: predictors as InitTables, reader back to the first byte of PicBuf.
  void StartPicture();

  bool GetBit() { return reader_.GetBit(); }
  uint8_t GetDcSizeY();
  uint8_t GetDcSizeC();
  int16_t GetDcDiffY();
  int16_t GetDcDiffC();
  // A symbol 0..111; -1 for the end-of-block code or a used-up budget (0 or less, nothing
  // read). A code that matches no entry within 16 bits gives 0 and leaves the budget alone.
  int16_t GetCoefCode(int16_t& budget);

  // Decodes the AC coefficients of one block into ScanCoefs (its index 0, the DC value, is
  // left alone). False when a run carries the scan index past 63.
  bool GetBlockCoefs();
  // Decodes one macroblock into BlockY0..BlockCr. False when its address increment or type
  // bit is 0, a block fails, a DC predictor leaves the 16-bit range or the block library is
  // missing; the blocks and predictors finished before the failure keep their new values.
  bool DecodeMacroblock();

  BitReader& Reader() { return reader_; }

  alignas(16) uint8_t PicBuf[kPicBufSize + PicBufPadding] = {};
  alignas(16) int16_t ScanCoefs[64] = {};
  alignas(16) int16_t BlockY0[64] = {};
  alignas(16) int16_t BlockY1[64] = {};
  alignas(16) int16_t BlockY2[64] = {};
  alignas(16) int16_t BlockY3[64] = {};
  alignas(16) int16_t BlockCb[64] = {};
  alignas(16) int16_t BlockCr[64] = {};
  int16_t DcPredY = 128;
  int16_t DcPredCb = 0;
  int16_t DcPredCr = 0;

 private:
  int16_t ReadDcDifferential(uint8_t size);
  int16_t ReadEscapedLevel();
  unsigned ReadBits(int count);
  bool DecodeBlock(int16_t* block, int16_t& predictor, bool luminance);
  // A member template, so that it exists only for readers that can show bits ahead.
  template <class WindowReader>
  bool GetBlockCoefsFromWindow(WindowReader& reader);

  BlockLibrary& library_;
  BitReader reader_{PicBuf};
};

extern template class MpegDecoder<PlainBitReader>;
extern template class MpegDecoder<CachedBitReader>;

// The decoder the viewer uses, and the literal one the tests compare it with.
using modMPEG = MpegDecoder<CachedBitReader>;
using PlainMpegDecoder = MpegDecoder<PlainBitReader>;

}  // namespace rovena
