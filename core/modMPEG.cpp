#include "core/modMPEG.h"

#include <algorithm>
#include <limits>

namespace rovena {
namespace {

// Symbols group the run/level pairs by level: level 1 runs 0..31 first, then level 2 runs
// 0..16, level 3 runs 0..6, level 4 runs 0..3, level 5 runs 0..2, levels 6..18 with runs 0
// and 1 interleaved, and levels 19..40 of run 0.
constexpr int RunOf(int s) {
  if (s < 32) return s;
  if (s < 49) return s - 32;
  if (s < 56) return s - 49;
  if (s < 60) return s - 56;
  if (s < 63) return s - 60;
  if (s < 89) return (s - 63) % 2;
  return 0;
}
constexpr int LevelOf(int s) {
  if (s < 32) return 1;
  if (s < 49) return 2;
  if (s < 56) return 3;
  if (s < 60) return 4;
  if (s < 63) return 5;
  if (s < 89) return (s - 63) / 2 + 6;
  return s - 70;
}
constexpr int SymbolOf(int run, int level) {
  for (int s = 0; s < EscapeSymbol; ++s)
    if (RunOf(s) == run && LevelOf(s) == level) return s;
  return -1;
}

// A code given as its bit pattern (without the sign bit), for a table that reads like the
// standard's.
constexpr CoefCode Code(const char* bits, int run, int level) {
  int16_t length = 0, code = 0;
  for (const char* p = bits; *p; ++p) {
    if (*p == ' ') continue;
    code = static_cast<int16_t>(code * 2 + (*p - '0'));
    ++length;
  }
  return {length, code, static_cast<int16_t>(run < 0 ? EscapeSymbol : SymbolOf(run, level))};
}

}  // namespace

// dct_coeff_next of MPEG-1 (run, level), grouped by code length.
constexpr std::array<CoefCode, CoefCodeCount> kCoefCodes = {{
    Code("11", 0, 1),
    Code("011", 1, 1),
    Code("0100", 0, 2), Code("0101", 2, 1),
    Code("0010 1", 0, 3), Code("0011 1", 3, 1), Code("0011 0", 4, 1),
    Code("0001 10", 1, 2), Code("0001 11", 5, 1), Code("0001 01", 6, 1), Code("0001 00", 7, 1),
    Code("0000 01", -1, 0),  // escape
    Code("0000 110", 0, 4), Code("0000 100", 2, 2), Code("0000 111", 8, 1), Code("0000 101", 9, 1),
    Code("0010 0110", 0, 5), Code("0010 0001", 0, 6), Code("0010 0101", 1, 3),
    Code("0010 0100", 3, 2), Code("0010 0111", 10, 1), Code("0010 0011", 11, 1),
    Code("0010 0010", 12, 1), Code("0010 0000", 13, 1),
    Code("0000 0010 10", 0, 7), Code("0000 0011 00", 1, 4), Code("0000 0010 11", 2, 3),
    Code("0000 0011 11", 4, 2), Code("0000 0010 01", 5, 2), Code("0000 0011 10", 14, 1),
    Code("0000 0011 01", 15, 1), Code("0000 0010 00", 16, 1),
    Code("0000 0001 1101", 0, 8), Code("0000 0001 1000", 0, 9), Code("0000 0001 0011", 0, 10),
    Code("0000 0001 0000", 0, 11), Code("0000 0001 1011", 1, 5), Code("0000 0001 0100", 2, 4),
    Code("0000 0001 1100", 3, 3), Code("0000 0001 0010", 4, 3), Code("0000 0001 1110", 6, 2),
    Code("0000 0001 0101", 7, 2), Code("0000 0001 0001", 8, 2), Code("0000 0001 1111", 17, 1),
    Code("0000 0001 1010", 18, 1), Code("0000 0001 1001", 19, 1), Code("0000 0001 0111", 20, 1),
    Code("0000 0001 0110", 21, 1),
    Code("0000 0000 1101 0", 0, 12), Code("0000 0000 1100 1", 0, 13), Code("0000 0000 1100 0", 0, 14),
    Code("0000 0000 1011 1", 0, 15), Code("0000 0000 1011 0", 1, 6), Code("0000 0000 1010 1", 1, 7),
    Code("0000 0000 1010 0", 2, 5), Code("0000 0000 1001 1", 3, 4), Code("0000 0000 1001 0", 5, 3),
    Code("0000 0000 1000 1", 9, 2), Code("0000 0000 1000 0", 10, 2), Code("0000 0000 1111 1", 22, 1),
    Code("0000 0000 1111 0", 23, 1), Code("0000 0000 1110 1", 24, 1), Code("0000 0000 1110 0", 25, 1),
    Code("0000 0000 1101 1", 26, 1),
    Code("0000 0000 0111 11", 0, 16), Code("0000 0000 0111 10", 0, 17), Code("0000 0000 0111 01", 0, 18),
    Code("0000 0000 0111 00", 0, 19), Code("0000 0000 0110 11", 0, 20), Code("0000 0000 0110 10", 0, 21),
    Code("0000 0000 0110 01", 0, 22), Code("0000 0000 0110 00", 0, 23), Code("0000 0000 0101 11", 0, 24),
    Code("0000 0000 0101 10", 0, 25), Code("0000 0000 0101 01", 0, 26), Code("0000 0000 0101 00", 0, 27),
    Code("0000 0000 0100 11", 0, 28), Code("0000 0000 0100 10", 0, 29), Code("0000 0000 0100 01", 0, 30),
    Code("0000 0000 0100 00", 0, 31),
    Code("0000 0000 0011 000", 0, 32), Code("0000 0000 0010 111", 0, 33), Code("0000 0000 0010 110", 0, 34),
    Code("0000 0000 0010 101", 0, 35), Code("0000 0000 0010 100", 0, 36), Code("0000 0000 0010 011", 0, 37),
    Code("0000 0000 0010 010", 0, 38), Code("0000 0000 0010 001", 0, 39), Code("0000 0000 0010 000", 0, 40),
    Code("0000 0000 0011 111", 1, 8), Code("0000 0000 0011 110", 1, 9), Code("0000 0000 0011 101", 1, 10),
    Code("0000 0000 0011 100", 1, 11), Code("0000 0000 0011 011", 1, 12), Code("0000 0000 0011 010", 1, 13),
    Code("0000 0000 0011 001", 1, 14),
    Code("0000 0000 0001 0011", 1, 15), Code("0000 0000 0001 0010", 1, 16), Code("0000 0000 0001 0001", 1, 17),
    Code("0000 0000 0001 0000", 1, 18), Code("0000 0000 0001 0100", 6, 3), Code("0000 0000 0001 1010", 11, 2),
    Code("0000 0000 0001 1001", 12, 2), Code("0000 0000 0001 1000", 13, 2), Code("0000 0000 0001 0111", 14, 2),
    Code("0000 0000 0001 0110", 15, 2), Code("0000 0000 0001 0101", 16, 2), Code("0000 0000 0001 1111", 27, 1),
    Code("0000 0000 0001 1110", 28, 1), Code("0000 0000 0001 1101", 29, 1), Code("0000 0000 0001 1100", 30, 1),
    Code("0000 0000 0001 1011", 31, 1),
}};

constexpr bool SortedByLength(const std::array<CoefCode, CoefCodeCount>& table) {
  for (int i = 1; i < CoefCodeCount; ++i)
    if (table[i].length < table[i - 1].length) return false;
  return true;
}
constexpr bool EverySymbolOnce(const std::array<CoefCode, CoefCodeCount>& table) {
  bool seen[CoefCodeCount] = {};
  for (const CoefCode& c : table) {
    if (c.symbol < 0 || seen[c.symbol]) return false;
    seen[c.symbol] = true;
  }
  return true;
}
static_assert(SortedByLength(kCoefCodes), "the walk in GetCoefCode needs ascending lengths");
static_assert(EverySymbolOnce(kCoefCodes), "each run/level pair and the escape exactly once");

const std::array<CoefCode, CoefCodeCount> CoefCodeTab = kCoefCodes;

namespace {
struct RunLevelTable {
  int8_t run[EscapeSymbol];
  int8_t level[EscapeSymbol];
};
constexpr RunLevelTable MakeRunLevels() {
  RunLevelTable t{};
  for (int s = 0; s < EscapeSymbol; ++s) {
    t.run[s] = static_cast<int8_t>(RunOf(s));
    t.level[s] = static_cast<int8_t>(LevelOf(s));
  }
  return t;
}
constexpr RunLevelTable kRunLevels = MakeRunLevels();

// The result of the table walk for every 16-bit window of coming bits, found by indexing
// instead of walking. Every code has at most five bits after its first 1 bit, so the number
// of leading zeros (capped at 12: no code has more than 11) and the five bits after the
// first 1 decide the walk. Each entry is computed at compile time by running the walk itself
// on such a window, so the two cannot disagree; the tests compare them on all 2^16 windows.
struct CoefLookup {
  int8_t symbol;    // as GetCoefCode returns it: -1 end of block, 0..111
  uint8_t bits;     // bits the walk reads: 2 for end of block, 16 when nothing matched
  uint8_t charged;  // bits taken from the budget: the code's length, 0 for those two cases
};
constexpr int kLeadingZeroRows = 13;

constexpr CoefLookup WalkWindow(uint32_t window) {
  const auto bit = [window](int position) { return static_cast<int>((window >> (15 - position)) & 1); };
  int code = 2 * bit(0) + bit(1);
  if (code == 2) return {-1, 2, 0};
  int length = 2;
  for (int i = 0; i < CoefCodeCount;) {
    const CoefCode& entry = kCoefCodes[i];
    if (entry.length == length) {
      if (entry.code == code)
        return {static_cast<int8_t>(entry.symbol), static_cast<uint8_t>(length), static_cast<uint8_t>(length)};
      ++i;
    } else {
      code = 2 * code + bit(length);
      ++length;
    }
  }
  return {0, 16, 0};
}

struct CoefLookupTable {
  CoefLookup entry[kLeadingZeroRows][32];  // [leading zeros][five bits after the first 1]
};
constexpr CoefLookupTable MakeCoefLookup() {
  CoefLookupTable t{};
  for (int zeros = 0; zeros < kLeadingZeroRows; ++zeros)
    for (uint32_t after = 0; after < 32; ++after)
      t.entry[zeros][after] = WalkWindow(((32 | after) << 10) >> zeros);
  return t;
}
constexpr CoefLookupTable kCoefLookup = MakeCoefLookup();

constexpr CoefLookup LookUpCoefCode(uint64_t window) {
  const int zeros = __builtin_clzll(window | (uint64_t{1} << (63 - (kLeadingZeroRows - 1))));
  return kCoefLookup.entry[zeros][(window << zeros << 1) >> 59];
}

// Escape code, 6-bit run and a level of 8 or 16 bits: the longest coefficient entry.
constexpr int kLongestCoefEntry = 6 + 6 + 16;

// The common entries (a code of up to 9 bits and its sign bit) read with a single look-up of
// the coming 10 bits: run, signed level and bits are taken straight from the table. Each
// entry is the two-step look-up above applied to its bits; a code that the walk finishes
// within them reads nothing beyond them, so the result holds whatever follows.
constexpr int kShortEntryBits = 10;
struct ShortEntry {
  int8_t run;       // -1 end of block, -2 not a short entry (escape, longer codes)
  int8_t level;     // with its sign
  uint8_t bits;     // bits of the entry: code and sign bit (2 for end of block)
  uint8_t charged;  // bits taken from the budget: the code's length
};
struct ShortEntryTable {
  ShortEntry entry[1 << kShortEntryBits];
};
constexpr ShortEntryTable MakeShortEntries() {
  ShortEntryTable t{};
  for (uint64_t bits = 0; bits < (1u << kShortEntryBits); ++bits) {
    const uint64_t window = bits << (64 - kShortEntryBits);
    const CoefLookup found = LookUpCoefCode(window);
    ShortEntry& e = t.entry[bits];
    if (found.symbol < 0) {
      e = {-1, 0, found.bits, 0};
    } else if (found.symbol == EscapeSymbol || found.bits + 1 > kShortEntryBits) {
      e = {-2, 0, 0, 0};
    } else {
      const int level = kRunLevels.level[found.symbol];
      const bool negative = (window << found.bits) >> 63;
      e = {kRunLevels.run[found.symbol], static_cast<int8_t>(negative ? -level : level),
           static_cast<uint8_t>(found.bits + 1), found.charged};
    }
  }
  return t;
}
constexpr ShortEntryTable kShortEntries = MakeShortEntries();

// dct_dc_size_luminance, with two 8-bit codes beyond the standard's size 8; nextBit() gives
// the coming bits one by one. Written once for the bit-serial reader and for the tables below.
template <class NextBit>
constexpr uint8_t DcSizeLuma(NextBit nextBit) {
  if (!nextBit()) return nextBit() ? 2 : 1;
  if (!nextBit()) return nextBit() ? 3 : 0;
  uint8_t size = 4;
  while (nextBit()) {
    if (++size > 9) break;
  }
  return size;
}

// dct_dc_size_chrominance, with one 8-bit code beyond the standard's size 8.
template <class NextBit>
constexpr uint8_t DcSizeChroma(NextBit nextBit) {
  if (!nextBit()) return nextBit() ? 1 : 0;
  uint8_t size = 2;
  while (nextBit()) {
    if (++size > 8) break;
  }
  return size;
}

// `size` bits read as an unsigned number: themselves when the first is 1, else that value
// minus (2^size - 1), which makes the negative differentials.
constexpr int16_t DcDifferential(unsigned bits, int size) {
  return static_cast<int16_t>(bits >> (size - 1) ? static_cast<int>(bits) : static_cast<int>(bits) - ((1 << size) - 1));
}

// Both DC size codes are at most 8 bits long, so a table over the coming 8 bits holds the
// walk's result (size and bits read) for every case; each entry is the walk run on its bits.
constexpr int kLongestDcSizeCode = 8;
constexpr int kLongestDcEntry = kLongestDcSizeCode + 10;  // the code and a size-10 differential
struct DcSizeEntry {
  uint8_t size;
  uint8_t bits;
};
struct DcSizeTable {
  DcSizeEntry entry[1 << kLongestDcSizeCode];
};
template <class Walk>
constexpr DcSizeTable MakeDcSizes(Walk walk) {
  DcSizeTable t{};
  for (unsigned bits = 0; bits < (1u << kLongestDcSizeCode); ++bits) {
    int read = 0;
    const uint8_t size = walk([&] { return ((bits >> (kLongestDcSizeCode - 1 - read++)) & 1) != 0; });
    t.entry[bits] = {size, static_cast<uint8_t>(read)};
  }
  return t;
}
constexpr DcSizeTable kDcSizesY = MakeDcSizes([](auto nextBit) { return DcSizeLuma(nextBit); });
constexpr DcSizeTable kDcSizesC = MakeDcSizes([](auto nextBit) { return DcSizeChroma(nextBit); });

// Zeroes scan[1..63] of the 16-byte aligned array with eight vector stores, written out: a
// fill or a loop of these becomes a string instruction whose start-up costs more than most
// blocks' codes.
inline void ZeroAcTerms(int16_t* scan) {
  using Chunk = int16_t __attribute__((vector_size(16)));
  constexpr Chunk kKeepFirst = {-1, 0, 0, 0, 0, 0, 0, 0};
  Chunk* chunks = reinterpret_cast<Chunk*>(scan);
  const Chunk zero{};
  chunks[0] &= kKeepFirst;
  chunks[1] = zero, chunks[2] = zero, chunks[3] = zero, chunks[4] = zero;
  chunks[5] = zero, chunks[6] = zero, chunks[7] = zero;
}

// The AC entries of one block into scan[1..63] (zeroed beforehand); false when a run carries
// the scan index past 63.
template <class WindowReader>
[[gnu::always_inline]] inline bool ReadCoefEntries(WindowReader& reader, int16_t* scan) {
  int budget = CoefBitBudget;
  int index = 1;
  for (;;) {
    if (budget <= 0) return true;
    const uint64_t window = reader.Window(kLongestCoefEntry);
    const ShortEntry& shortEntry = kShortEntries.entry[window >> (64 - kShortEntryBits)];
    int run;
    int16_t value;
    if (shortEntry.run >= 0) {
      budget -= shortEntry.charged;
      run = shortEntry.run;
      value = shortEntry.level;
      reader.Skip(shortEntry.bits);
    } else if (shortEntry.run == -1) {
      reader.Skip(shortEntry.bits);
      return true;
    } else {
      const CoefLookup found = LookUpCoefCode(window);
      budget -= found.charged;
      if (found.symbol == EscapeSymbol) {
        run = static_cast<int>((window << 6) >> 58);
        const unsigned first = static_cast<unsigned>((window << 12) >> 56);
        if ((first & 0x7F) != 0) {
          value = static_cast<int8_t>(first);
          reader.Skip(6 + 6 + 8);
        } else {
          const int rest = static_cast<int>((window << 20) >> 56);
          value = static_cast<int16_t>(first & 0x80 ? rest - 256 : rest);
          reader.Skip(6 + 6 + 16);
        }
      } else {
        run = kRunLevels.run[found.symbol];
        const int16_t level = kRunLevels.level[found.symbol];
        value = (window << found.bits) >> 63 ? static_cast<int16_t>(-level) : level;
        reader.Skip(found.bits + 1);
      }
    }
    index += run;
    if (index > 63) return false;
    scan[index++] = value;
  }
}

template <class WindowReader>
uint8_t LookUpDcSize(WindowReader& reader, const DcSizeTable& table) {
  const DcSizeEntry entry = table.entry[reader.Window(kLongestDcEntry) >> (64 - kLongestDcSizeCode)];
  reader.Skip(entry.bits);
  return entry.size;
}

// The size code and the differential bits of a DC term, both from one window.
template <class WindowReader>
[[gnu::always_inline]] inline int16_t ReadDcDifferentialFromWindow(WindowReader& reader, const DcSizeTable& table) {
  const uint64_t window = reader.Window(kLongestDcEntry);
  const DcSizeEntry entry = table.entry[window >> (64 - kLongestDcSizeCode)];
  if (entry.size == 0) {
    reader.Skip(entry.bits);
    return 0;
  }
  reader.Skip(entry.bits + entry.size);
  return DcDifferential(static_cast<unsigned>((window << entry.bits) >> (64 - entry.size)), entry.size);
}
}  // namespace

int SymbolRun(int symbol) { return kRunLevels.run[symbol]; }
int SymbolLevel(int symbol) { return kRunLevels.level[symbol]; }

template <class BitReader>
MpegDecoder<BitReader>::MpegDecoder(BlockLibrary& library) : library_(library) {}

template <class BitReader>
void MpegDecoder<BitReader>::InitTables() {
  DcPredY = 128;
  DcPredCb = 0;
  DcPredCr = 0;
}

template <class BitReader>
void MpegDecoder<BitReader>::StartPicture() {
  InitTables();
  reader_.Restart();
}

template <class BitReader>
unsigned MpegDecoder<BitReader>::ReadBits(int count) {
  unsigned value = 0;
  for (int i = 0; i < count; ++i) value = value * 2 + GetBit();
  return value;
}

template <class BitReader>
uint8_t MpegDecoder<BitReader>::GetDcSizeY() {
  if constexpr (requires(BitReader r) { r.Window(kLongestDcEntry); }) return LookUpDcSize(reader_, kDcSizesY);
  return DcSizeLuma([this] { return GetBit(); });
}

template <class BitReader>
uint8_t MpegDecoder<BitReader>::GetDcSizeC() {
  if constexpr (requires(BitReader r) { r.Window(kLongestDcEntry); }) return LookUpDcSize(reader_, kDcSizesC);
  return DcSizeChroma([this] { return GetBit(); });
}

template <class BitReader>
int16_t MpegDecoder<BitReader>::ReadDcDifferential(uint8_t size) {
  if (size == 0) return 0;
  return DcDifferential(ReadBits(size), size);
}

template <class BitReader>
int16_t MpegDecoder<BitReader>::GetDcDiffY() {
  if constexpr (requires(BitReader r) { r.Window(kLongestDcEntry); }) return ReadDcDifferentialFromWindow(reader_, kDcSizesY);
  return ReadDcDifferential(GetDcSizeY());
}

template <class BitReader>
int16_t MpegDecoder<BitReader>::GetDcDiffC() {
  if constexpr (requires(BitReader r) { r.Window(kLongestDcEntry); }) return ReadDcDifferentialFromWindow(reader_, kDcSizesC);
  return ReadDcDifferential(GetDcSizeC());
}

// Walks the table in order of code length and takes another bit each time the next entry
// needs more bits than have been taken. With a reader that can show bits ahead, the walk's result for
// the coming bits is looked up instead and its bits consumed; the result, the budget and the
// bits consumed are the same.
template <class BitReader>
int16_t MpegDecoder<BitReader>::GetCoefCode(int16_t& budget) {
  if (budget <= 0) return -1;
  if constexpr (requires(BitReader r) { r.Window(16); }) {
    const CoefLookup found = LookUpCoefCode(reader_.Window(16));
    reader_.Skip(found.bits);
    budget = static_cast<int16_t>(budget - found.charged);
    return found.symbol;
  }
  int code = GetBit() ? 2 : 0;
  code += GetBit();
  if (code == 2) return -1;  // end of block
  int length = 2;
  for (int i = 0; i < CoefCodeCount;) {
    const CoefCode& entry = kCoefCodes[i];
    if (entry.length == length) {
      if (entry.code == code) {
        budget = static_cast<int16_t>(budget - length);
        return entry.symbol;
      }
      ++i;
    } else {
      code = code * 2 + GetBit();
      ++length;
    }
  }
  return 0;  // no code of up to 16 bits matched
}

// The fixed-length level after an escape: 8 bits, or 16 when the low 7 of the first 8 are 0.
template <class BitReader>
int16_t MpegDecoder<BitReader>::ReadEscapedLevel() {
  const unsigned first = ReadBits(8);
  if ((first & 0x7F) != 0) return static_cast<int16_t>(static_cast<int8_t>(first));
  const int rest = static_cast<int>(ReadBits(8));
  return static_cast<int16_t>(first & 0x80 ? rest - 256 : rest);
}

template <class BitReader>
bool MpegDecoder<BitReader>::GetBlockCoefs() {
  if constexpr (requires(BitReader r) { r.Window(kLongestCoefEntry); }) return GetBlockCoefsFromWindow(reader_);
  std::fill(ScanCoefs + 1, ScanCoefs + 64, int16_t{0});
  int16_t budget = CoefBitBudget;
  int index = 1;
  for (;;) {
    const int16_t symbol = GetCoefCode(budget);
    if (symbol < 0) return true;
    int run;
    int16_t value;
    if (symbol == EscapeSymbol) {
      run = static_cast<int>(ReadBits(6));
      value = ReadEscapedLevel();
    } else {
      run = kRunLevels.run[symbol];
      const int16_t level = kRunLevels.level[symbol];
      value = GetBit() ? static_cast<int16_t>(-level) : level;
    }
    index += run;
    if (index > 63) return false;
    ScanCoefs[index++] = value;
  }
}

// GetBlockCoefs with every entry (code and sign bit, or escape and its fields) taken from
// one window of coming bits: the same values, budget and bits consumed, without a call per bit.
// The reader works on a local copy, so that its cache stays in registers while coefficients
// are stored.
template <class BitReader>
template <class WindowReader>
bool MpegDecoder<BitReader>::GetBlockCoefsFromWindow(WindowReader& reader) {
  ZeroAcTerms(ScanCoefs);
  WindowReader local = reader;
  const bool ok = ReadCoefEntries(local, ScanCoefs);
  reader = local;
  return ok;
}

template <class BitReader>
bool MpegDecoder<BitReader>::DecodeBlock(int16_t* block, int16_t& predictor, bool luminance) {
  ScanCoefs[0] = luminance ? GetDcDiffY() : GetDcDiffC();
  if (!GetBlockCoefs()) return false;
  const int dc = predictor + ScanCoefs[0];
  // The predictor is a 16-bit value; a stream that drives it out of range is broken.
  if (dc < std::numeric_limits<int16_t>::min() || dc > std::numeric_limits<int16_t>::max()) return false;
  predictor = static_cast<int16_t>(dc);
  ScanCoefs[0] = predictor;
  library_.IZZQ(block, ScanCoefs);
  library_.Idct(block);
  return true;
}

template <class BitReader>
bool MpegDecoder<BitReader>::DecodeMacroblock() {
  if (!GetBit()) return false;  // address increment other than 1
  if (!GetBit()) return false;  // macroblock type other than intra
  if (!library_.Ready()) return false;
  return DecodeBlock(BlockY0, DcPredY, true) && DecodeBlock(BlockY1, DcPredY, true) &&
         DecodeBlock(BlockY2, DcPredY, true) && DecodeBlock(BlockY3, DcPredY, true) &&
         DecodeBlock(BlockCb, DcPredCb, false) && DecodeBlock(BlockCr, DcPredCr, false);
}

template class MpegDecoder<PlainBitReader>;
template class MpegDecoder<CachedBitReader>;

}  // namespace rovena
