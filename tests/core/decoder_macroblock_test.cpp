// Macroblocks and blocks built bit by bit with the recording writer's pieces, decoded by the
// viewer's decoder with the real block library.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "core/modMPEG.h"
#include "tools/recording_writer.h"

namespace rovena {
namespace {

class MacroblockTest : public ::testing::Test {
 protected:
  // Puts the slice fields, lets `write` add bits, and starts the decoder on the result.
  template <class Write>
  void Load(Write write) {
    BitWriter w;
    PutSliceHeaderFields(w);
    write(w);
    const auto bytes = w.Bytes();
    std::copy(bytes.begin(), bytes.end(), decoder->PicBuf);
    decoder->StartPicture();
  }
  static void DcOnlyBlocks(BitWriter& w, int lumaDiff = 0) {
    PutIntraMacroblockHeader(w);
    for (int b = 0; b < 6; ++b) {
      PutDcDifferential(w, b < 4, b < 4 ? lumaDiff : 0);
      PutEndOfBlock(w);
    }
  }
  std::unique_ptr<modMPEG> decoder = std::make_unique<modMPEG>();
};

TEST_F(MacroblockTest, HeaderBitsOtherThanOneOneFailWithoutReadingOn) {
  Load([](BitWriter& w) { w.Put(0b01, 2); });
  EXPECT_FALSE(decoder->DecodeMacroblock());
  EXPECT_TRUE(decoder->GetBit()) << "only the first bit was read";
  Load([](BitWriter& w) { w.Put(0b101, 3); });
  EXPECT_FALSE(decoder->DecodeMacroblock());
  EXPECT_TRUE(decoder->GetBit()) << "only two bits were read";
}

TEST_F(MacroblockTest, DcOnlyBlocksFromTheStartPredictors) {
  Load([](BitWriter& w) { DcOnlyBlocks(w); });
  ASSERT_TRUE(decoder->DecodeMacroblock());
  for (const int16_t* block : {decoder->BlockY0, decoder->BlockY1, decoder->BlockY2, decoder->BlockY3})
    for (int i = 0; i < 64; ++i) ASSERT_EQ(block[i], 129) << i;
  for (const int16_t* block : {decoder->BlockCb, decoder->BlockCr})
    for (int i = 0; i < 64; ++i) ASSERT_EQ(block[i], 0) << i;
}

TEST_F(MacroblockTest, PredictorsCarryAcrossBlocksAndMacroblocks) {
  Load([](BitWriter& w) {
    PutIntraMacroblockHeader(w);
    for (int diff : {1, 2, 3, 4}) {
      PutDcDifferential(w, true, diff);
      PutEndOfBlock(w);
    }
    for (int diff : {-5, 7}) {
      PutDcDifferential(w, false, diff);
      PutEndOfBlock(w);
    }
    PutIntraMacroblockHeader(w);
    for (int diff : {-8, 0, 0, 0}) {
      PutDcDifferential(w, true, diff);
      PutEndOfBlock(w);
    }
    for (int diff : {-5, 1}) {
      PutDcDifferential(w, false, diff);
      PutEndOfBlock(w);
    }
  });
  ASSERT_TRUE(decoder->DecodeMacroblock());
  EXPECT_EQ(decoder->DcPredY, 138);
  EXPECT_EQ(decoder->DcPredCb, -5);
  EXPECT_EQ(decoder->DcPredCr, 7);
  ASSERT_TRUE(decoder->DecodeMacroblock());
  EXPECT_EQ(decoder->DcPredY, 130);
  EXPECT_EQ(decoder->DcPredCb, -10);
  EXPECT_EQ(decoder->DcPredCr, 8);
}

TEST_F(MacroblockTest, CoefficientSignsEscapesAndRunPositions) {
  Load([](BitWriter& w) {
    PutCoefficient(w, 1, -7);
    PutCoefficient(w, 0, -40);
    w.Put(0b000001, 6), w.Put(0, 6), w.Put(0b1000000000000001, 16);  // escape, run 0, -255
    w.Put(0b000001, 6), w.Put(2, 6), w.Put(0b0000000010000000, 16);  // escape, run 2, 128
    w.Put(0b000001, 6), w.Put(0, 6), w.Put(0b11111111, 8);           // escape, run 0, -1
    PutEndOfBlock(w);
  });
  decoder->ScanCoefs[0] = 77;
  ASSERT_TRUE(decoder->GetBlockCoefs());
  const std::vector<int16_t> expected = {77, 0, -7, -40, -255, 0, 0, 128, -1};
  EXPECT_EQ(std::vector<int16_t>(decoder->ScanCoefs, decoder->ScanCoefs + 9), expected);
  EXPECT_TRUE(std::all_of(decoder->ScanCoefs + 9, decoder->ScanCoefs + 64, [](int16_t v) { return v == 0; }));
}

TEST_F(MacroblockTest, RunToIndex63IsStoredAndOnePastFails) {
  Load([](BitWriter& w) {
    PutCoefficient(w, 62, 3);
    PutEndOfBlock(w);
    PutCoefficient(w, 63, 1);
  });
  ASSERT_TRUE(decoder->GetBlockCoefs());
  EXPECT_EQ(decoder->ScanCoefs[63], 3);
  EXPECT_FALSE(decoder->GetBlockCoefs());
}

// Every run/level pair of the table and a spread of escaped ones come back as written.
TEST_F(MacroblockTest, EveryTableCodeAndEscapesRoundTripThroughTheWriter) {
  std::mt19937 rng(11);
  std::vector<std::pair<int, int>> pairs;
  for (int s = 0; s < EscapeSymbol; ++s) pairs.push_back({SymbolRun(s), rng() % 2 ? SymbolLevel(s) : -SymbolLevel(s)});
  for (int level : {41, -41, 127, -127, 128, -128, 129, 255, -255}) pairs.push_back({0, level});
  pairs.push_back({32, 1});  // no code for run 32: escaped
  for (const auto& [run, level] : pairs) {
    Load([&](BitWriter& w) {
      PutCoefficient(w, run, level);
      PutCoefficient(w, 0, 1);
      PutEndOfBlock(w);
    });
    ASSERT_TRUE(decoder->GetBlockCoefs()) << run << "/" << level;
    EXPECT_EQ(decoder->ScanCoefs[1 + run], level) << "run " << run;
    EXPECT_EQ(decoder->ScanCoefs[2 + run], 1) << "run " << run << ": the next code starts right after";
  }
}

// The predictor is 16 bits; a stream that pushes it beyond fails its macroblock instead of
// wrapping round to a dark picture.
TEST_F(MacroblockTest, PredictorLeavingSixteenBitsFailsTheMacroblock) {
  Load([](BitWriter& w) {
    for (int mb = 0; mb < 8; ++mb) DcOnlyBlocks(w, 1023);
  });
  for (int mb = 0; mb < 7; ++mb) ASSERT_TRUE(decoder->DecodeMacroblock()) << mb;
  EXPECT_EQ(decoder->DcPredY, 128 + 28 * 1023);
  EXPECT_FALSE(decoder->DecodeMacroblock());
  EXPECT_EQ(decoder->DcPredY, 128 + 31 * 1023) << "blocks finished before the failure keep their predictor";
}

}  // namespace
}  // namespace rovena
