// The bit reader and the code tables: bit order, the skipped slice fields, the end of the
// buffer, the DC size codes and the coefficient table walk.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>
#include <tuple>

#include "core/modMPEG.h"
#include "tools/recording_writer.h"

namespace rovena {
namespace {

// Decoders of both reader kinds, fed the same bits; every read is checked to agree.
class DecoderPair {
 public:
  DecoderPair() : plain_(std::make_unique<PlainMpegDecoder>()), cached_(std::make_unique<modMPEG>()) {}
  // `bits` are the bits after the slice's quantiser scale and extra bit.
  void Load(const std::string& bits) {
    BitWriter w;
    PutSliceHeaderFields(w);
    for (char c : bits)
      if (c != ' ') w.PutBit(c == '1');
    LoadBytes(w.Bytes());
  }
  void LoadBytes(const std::vector<uint8_t>& bytes) {
    std::copy(bytes.begin(), bytes.end(), plain_->PicBuf);
    std::copy(bytes.begin(), bytes.end(), cached_->PicBuf);
    plain_->StartPicture();
    cached_->StartPicture();
  }
  template <class Read>
  auto Both(Read read) {
    const auto a = read(*plain_);
    const auto b = read(*cached_);
    EXPECT_EQ(a, b) << "the cached reader disagrees with the plain one";
    return a;
  }
  PlainMpegDecoder& Plain() { return *plain_; }
  modMPEG& Cached() { return *cached_; }

 private:
  std::unique_ptr<PlainMpegDecoder> plain_;
  std::unique_ptr<modMPEG> cached_;
};

auto GetBit = [](auto& d) { return d.GetBit(); };

TEST(BitReader, FirstReadSkipsQuantiserAndExtraBitThenGoesMsbFirst) {
  DecoderPair d;
  d.LoadBytes({0b10110110, 0b10000001});
  EXPECT_TRUE(d.Both(GetBit));   // bit 1 of byte 0
  EXPECT_FALSE(d.Both(GetBit));  // bit 0 of byte 0
  EXPECT_TRUE(d.Both(GetBit));   // bit 7 of byte 1
  for (int i = 0; i < 6; ++i) EXPECT_FALSE(d.Both(GetBit));
  EXPECT_TRUE(d.Both(GetBit));
  EXPECT_EQ(d.Plain().Reader().BufPos, 2);
}

TEST(BitReader, ReadsZeroPastTheLastByteOfTheBuffer) {
  DecoderPair d;
  d.LoadBytes(std::vector<uint8_t>(kPicBufSize, 0xFF));
  long ones = 0;
  for (long i = 0; i < 8L * kPicBufSize + 200; ++i) ones += d.Both(GetBit);
  EXPECT_EQ(ones, 8L * kPicBufSize - 6);
  EXPECT_EQ(d.Plain().Reader().BufPos, kPicBufSize);
}

TEST(CoefCodeTab, IsAPrefixCodeThatFillsTheCodeSpaceWithEndOfBlock) {
  const std::map<int, int> expectedCounts = {{2, 1},  {3, 1},  {4, 2},  {5, 3},  {6, 5},  {7, 4}, {8, 8},
                                             {10, 8}, {12, 16}, {13, 16}, {14, 16}, {15, 16}, {16, 16}};
  std::map<int, int> counts;
  // Kraft sum in units of 2^-16: with the end-of-block code 10 the table covers every bit
  // pattern except those beginning with twelve zeros.
  long kraft = 1L << 14;
  for (const CoefCode& c : CoefCodeTab) {
    ++counts[c.length];
    kraft += 1L << (16 - c.length);
    ASSERT_LT(c.code, 1 << c.length);
    for (const CoefCode& other : CoefCodeTab) {
      if (&other == &c || other.length < c.length) continue;
      EXPECT_NE(other.code >> (other.length - c.length), c.code) << "code of symbol " << c.symbol << " is a prefix";
    }
    EXPECT_NE(c.length == 2 ? c.code : -1, 2) << "10 is the end-of-block code";
  }
  EXPECT_EQ(counts, expectedCounts);
  EXPECT_EQ(kraft, (1L << 16) - (1L << 4));
}

TEST(CoefCodeTab, SymbolsMapToRunAndLevel) {
  const int examples[][3] = {{0, 0, 1}, {31, 31, 1}, {48, 16, 2}, {63, 0, 6}, {64, 1, 6}, {88, 1, 18}, {89, 0, 19}, {110, 0, 40}};
  for (const auto& e : examples) {
    EXPECT_EQ(SymbolRun(e[0]), e[1]) << e[0];
    EXPECT_EQ(SymbolLevel(e[0]), e[2]) << e[0];
  }
}

TEST(DcCodes, SizesIncludingTheLongExtensions) {
  DecoderPair d;
  d.Load("11111111 1");
  EXPECT_EQ(d.Both([](auto& m) { return m.GetDcSizeY(); }), 10);
  EXPECT_TRUE(d.Both(GetBit)) << "the ninth bit is left for the next read";
  d.Load("11111111");
  EXPECT_EQ(d.Both([](auto& m) { return m.GetDcSizeC(); }), 9);
  d.Load("100 00 01 101 1111110");
  for (int size : {0, 1, 2, 3, 8}) EXPECT_EQ(d.Both([](auto& m) { return m.GetDcSizeY(); }), size);
  d.Load("00 01 10 110 11111110");
  for (int size : {0, 1, 2, 3, 8}) EXPECT_EQ(d.Both([](auto& m) { return m.GetDcSizeC(); }), size);
}

TEST(DcCodes, DifferentialsAreSignedBySizeAndFirstBit) {
  DecoderPair d;
  // size 3 "101": 110 -> 6, 001 -> -6; size 1 "00": 1 -> +1, 0 -> -1; size 0 reads nothing.
  d.Load("101 110  101 001  00 1  00 0  100 1");
  for (int expected : {6, -6, 1, -1, 0}) EXPECT_EQ(d.Both([](auto& m) { return m.GetDcDiffY(); }), expected);
  EXPECT_TRUE(d.Both(GetBit));
  d.Load("11111111 000000000");  // chroma size 9, most negative value
  EXPECT_EQ(d.Both([](auto& m) { return m.GetDcDiffC(); }), -511);
}

int16_t CoefCode(DecoderPair& d, int16_t& budget) {
  int16_t plainBudget = budget, cachedBudget = budget;
  const int16_t a = d.Plain().GetCoefCode(plainBudget);
  const int16_t b = d.Cached().GetCoefCode(cachedBudget);
  EXPECT_EQ(a, b);
  EXPECT_EQ(plainBudget, cachedBudget);
  budget = plainBudget;
  return a;
}

TEST(GetCoefCode, EndOfBlockBudgetEscapeAndUnmatchedCodes) {
  DecoderPair d;
  int16_t budget = 0;
  d.Load("1");
  EXPECT_EQ(CoefCode(d, budget), -1);
  EXPECT_TRUE(d.Both(GetBit)) << "an exhausted budget reads nothing";

  budget = 100;
  d.Load("10 11 0000 01 0000 0000 0111 10 0000 0000 0111 11 0000 0000 0000 0000 1");
  EXPECT_EQ(CoefCode(d, budget), -1);
  EXPECT_EQ(budget, 100);
  EXPECT_EQ(CoefCode(d, budget), 0);
  EXPECT_EQ(budget, 98);
  EXPECT_EQ(CoefCode(d, budget), EscapeSymbol);
  EXPECT_EQ(budget, 92);
  EXPECT_EQ(CoefCode(d, budget), 85);  // run 0 level 17
  EXPECT_EQ(CoefCode(d, budget), 83);  // run 0 level 16
  EXPECT_EQ(budget, 64);
  EXPECT_EQ(CoefCode(d, budget), 0) << "sixteen zeros match nothing";
  EXPECT_EQ(budget, 64);
  EXPECT_TRUE(d.Both(GetBit)) << "exactly sixteen bits were read";
}

// Random bytes drive both decoders through whatever the bits say, failures included; the
// cached reader must follow the plain one bit for bit.
TEST(BitReader, CachedReaderMatchesPlainOnRandomMacroblocks) {
  std::mt19937 rng(2024);
  DecoderPair d;
  for (int round = 0; round < 200; ++round) {
    std::vector<uint8_t> bytes(4096);
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    bytes[1] |= 0xC0;  // let the first macroblock get past its two header bits
    d.LoadBytes(bytes);
    for (int mb = 0; mb < 20; ++mb) {
      const bool ok = d.Both([](auto& m) { return m.DecodeMacroblock(); });
      PlainMpegDecoder& p = d.Plain();
      modMPEG& c = d.Cached();
      ASSERT_TRUE(std::equal(p.BlockY0, p.BlockY0 + 64, c.BlockY0));
      ASSERT_TRUE(std::equal(p.BlockCr, p.BlockCr + 64, c.BlockCr));
      ASSERT_TRUE(std::equal(p.ScanCoefs, p.ScanCoefs + 64, c.ScanCoefs));
      ASSERT_EQ(p.DcPredY, c.DcPredY);
      if (!ok) break;
    }
  }
}

uint32_t NextBits(PlainMpegDecoder& d, int count) {
  uint32_t bits = 0;
  for (int i = 0; i < count; ++i) bits = 2 * bits + d.GetBit();
  return bits;
}
uint32_t NextBits(modMPEG& d, int count) {
  uint32_t bits = 0;
  for (int i = 0; i < count; ++i) bits = 2 * bits + d.GetBit();
  return bits;
}

// The cached decoder looks the walk's result up instead of walking: on every 16-bit pattern
// of coming bits it must give the same symbol and budget and stop at the same bit.
TEST(GetCoefCode, LookupGivesTheWalksResultOnEveryBitPattern) {
  DecoderPair d;
  for (uint32_t pattern = 0; pattern < (1u << 16); ++pattern) {
    BitWriter w;
    PutSliceHeaderFields(w);
    w.Put(pattern, 16);
    w.Put(0x5A3C96E1, 32);  // what follows shows where each reader stopped
    d.LoadBytes(w.Bytes());
    int16_t budget = pattern % 5 == 0 ? 1 : CoefBitBudget;  // a budget that the code overdraws
    CoefCode(d, budget);
    ASSERT_EQ(NextBits(d.Plain(), 32), NextBits(d.Cached(), 32)) << "pattern " << pattern;
  }
}

// The cached decoder reads a DC term's size code and differential from one window and a
// table: on every 18-bit pattern (the longest code and differential) both readers must give
// the same value and stop at the same bit.
TEST(DcCodes, WindowReadsMatchTheBitSerialOnesOnEveryPattern) {
  DecoderPair d;
  for (bool luminance : {true, false})
    for (uint32_t pattern = 0; pattern < (1u << 18); ++pattern) {
      BitWriter w;
      PutSliceHeaderFields(w);
      w.Put(pattern, 18);
      w.Put(0x5A3C96E1, 32);
      d.LoadBytes(w.Bytes());
      const int16_t plain = luminance ? d.Plain().GetDcDiffY() : d.Plain().GetDcDiffC();
      const int16_t cached = luminance ? d.Cached().GetDcDiffY() : d.Cached().GetDcDiffC();
      ASSERT_EQ(plain, cached) << "pattern " << pattern;
      ASSERT_EQ(NextBits(d.Plain(), 32), NextBits(d.Cached(), 32)) << "pattern " << pattern;
    }
}

// Streams of well-formed and odd coefficient entries: every table code with its sign, both
// escape forms (also the 16-bit form with a small level), codes that match nothing and runs
// past the block's end.
void PutRandomBlock(BitWriter& w, std::mt19937& rng, bool luminance) {
  const auto chance = [&](int percent) { return static_cast<int>(rng() % 100) < percent; };
  if (chance(50)) {
    w.Put(luminance ? 0b100 : 0b00, luminance ? 3 : 2);  // DC size 0
  } else {
    w.Put(luminance ? 0b00 : 0b01, 2);  // DC size 1 and its bit
    w.PutBit(rng() & 1);
  }
  const int entries = static_cast<int>(rng() % 7);
  for (int i = 0; i < entries; ++i) {
    const int kind = static_cast<int>(rng() % 100);
    if (kind < 2) {
      w.Put(0, 16);  // matches no code
      w.PutBit(rng() & 1);
    } else if (kind < 12) {
      w.Put(0b000001, 6);
      w.Put(rng() % (chance(80) ? 4 : 64), 6);
      const uint32_t first = rng() & 0xFF;
      w.Put(first, 8);
      if ((first & 0x7F) == 0) w.Put(rng() & 0xFF, 8);
    } else {
      const rovena::CoefCode& code = CoefCodeTab[rng() % (chance(80) ? 24 : CoefCodeCount)];
      w.Put(static_cast<uint32_t>(code.code), code.length);
      if (code.symbol == EscapeSymbol) {
        w.Put(rng() % 8, 6);
        w.Put(0x80, 8);
        w.Put(rng() & 0xFF, 8);
      } else {
        w.PutBit(rng() & 1);
      }
    }
  }
  w.Put(0b10, 2);
}

TEST(BitReader, WindowDecoderMatchesPlainOnRandomCodeStreams) {
  std::mt19937 rng(77);
  DecoderPair d;
  long decoded = 0;
  for (int round = 0; round < 300; ++round) {
    BitWriter w;
    PutSliceHeaderFields(w);
    for (int mb = 0; mb < 12; ++mb) {
      w.Put(0b11, 2);
      for (int block = 0; block < 6; ++block) PutRandomBlock(w, rng, block < 4);
    }
    d.LoadBytes(w.Bytes());
    for (int mb = 0; mb < 12; ++mb) {
      const bool ok = d.Both([](auto& m) { return m.DecodeMacroblock(); });
      PlainMpegDecoder& p = d.Plain();
      modMPEG& c = d.Cached();
      const int16_t* plainBlocks[] = {p.BlockY0, p.BlockY1, p.BlockY2, p.BlockY3, p.BlockCb, p.BlockCr, p.ScanCoefs};
      const int16_t* cachedBlocks[] = {c.BlockY0, c.BlockY1, c.BlockY2, c.BlockY3, c.BlockCb, c.BlockCr, c.ScanCoefs};
      for (int b = 0; b < 7; ++b)
        ASSERT_TRUE(std::equal(plainBlocks[b], plainBlocks[b] + 64, cachedBlocks[b])) << "round " << round << " array " << b;
      ASSERT_EQ(std::tie(p.DcPredY, p.DcPredCb, p.DcPredCr), std::tie(c.DcPredY, c.DcPredCb, c.DcPredCr));
      if (!ok) break;
      ++decoded;
    }
    ASSERT_EQ(NextBits(d.Plain(), 32), NextBits(d.Cached(), 32)) << "round " << round;
  }
  EXPECT_GT(decoded, 1000) << "most macroblocks should decode, not only the failure paths";
}

}  // namespace
}  // namespace rovena
