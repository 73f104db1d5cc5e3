// The picture searches written the plain way, one byte per read, straight from the rules. The
// block-scanning searches in Recording must match them in every result, position, sentence and
// picture buffer; the unit tests and the search fuzzer both hold Recording against this model.
//
// The model reads through `Source`: the test's own RecordingFile (its byte primitives only) or
// MemoryBytes, a copy of the file in memory. The moves (steps, jumps, seeks) come from the
// same PictureMoves that Recording uses, so only the searches differ between the two.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/recording.h"

namespace rovena::test {

// A recording's bytes in memory with the byte primitives of RecordingFile (1-based positions;
// a byte outside the file reads as 0).
class MemoryBytes {
 public:
  explicit MemoryBytes(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  uint8_t ReadNext() { return ByteAt(current_++); }
  uint8_t ReadAt(int64_t p) {
    current_ = p + 1;
    return ByteAt(p);
  }
  int64_t LastPosition() const { return current_ - 1; }
  bool AtEnd() const { return current_ > Length(); }
  int64_t Length() const { return static_cast<int64_t>(bytes_.size()); }
  bool IsOpen() const { return true; }
  bool HadIoError() const { return false; }

 private:
  uint8_t ByteAt(int64_t p) const { return p >= 1 && p <= Length() ? bytes_[static_cast<size_t>(p - 1)] : 0; }

  std::vector<uint8_t> bytes_;
  int64_t current_ = 1;
};

template <class Source>
class ByteSearchModel : public PictureMoves<ByteSearchModel<Source>> {
 public:
  explicit ByteSearchModel(Source& source) : FileLen(source.Length()), source_(source) {}
  Source& File() { return source_; }

  int64_t PicPos = 0;
  int64_t FileLen;
  std::string NmeaLine;
  int counterCalls = 0;  // what Recording's listener would have been told
  int showCalls = 0;

  bool FindStartUp() {
    int b3 = -1, b2 = -1, b1 = -1;  // nothing read yet: no start code can be half complete
    if (source_.AtEnd()) return false;
    for (int64_t count = 0;;) {
      const int c = source_.ReadNext();
      if (b3 == 0 && b2 == 0 && b1 == 1 && c == kPictureStartCode) return Found();
      b3 = b2, b2 = b1, b1 = c;
      if (++count == kStartSearchLimit || source_.AtEnd()) return false;
    }
  }

  bool FindStartDown() {
    // Searching from beyond the end would only read zeros there: start at the last byte.
    int64_t p = std::min(PicPos - 5, FileLen);
    if (p <= 0) return false;
    int c1 = -1, c2 = -1, c3 = -1;
    for (int64_t count = 0;;) {
      const int c0 = source_.ReadAt(p);
      if (c0 == 0 && c1 == 0 && c2 == 1 && c3 == kPictureStartCode) {
        source_.ReadAt(p + 3);
        return Found();
      }
      if (++count == kStartSearchLimit) return false;
      c3 = c2, c2 = c1, c1 = c0;
      if (--p < 1) return false;
    }
  }

  // A picture with no user data shows no sentence; a search that fails after user data
  // leaves what it captured.
  bool FindPicStart() {
    int b3 = -1, b2 = -1, b1 = -1;
    bool capture = false, sawUserData = false;
    for (int64_t count = 0; !source_.AtEnd();) {
      const int c = source_.ReadNext();
      if (b3 == 0 && b2 == 0 && b1 == 1) {
        capture = false;
        if (c == kFirstSliceCode) {
          ++counterCalls;
          if (!sawUserData) NmeaLine.clear();
          if (NmeaLine.size() > 5) NmeaLine = NmeaLine.substr(1, NmeaLine.size() - 5);
          ++showCalls;
          return true;
        }
        if (c == kUserDataCode) {
          NmeaLine.clear();
          capture = sawUserData = true;
        }
      }
      if (capture) NmeaLine.push_back(static_cast<char>(c));
      b3 = b2, b2 = b1, b1 = c;
      if (++count == kPicStartLimit) return false;
    }
    return false;
  }

  bool ReadFrame(uint8_t* frame) {
    for (int i = 0; i < 4; ++i) frame[i] = source_.ReadNext();
    if (source_.AtEnd()) return false;
    for (int i = 4;; ++i) {
      frame[i] = source_.ReadNext();
      if (frame[i] == kSequenceEndCode && IsStartCodePrefix(frame + i - 3)) return true;
      if (i + 1 == kPicBufSize || source_.AtEnd()) return false;
    }
  }

  // By definition ReadFrame into a buffer that is thrown away.
  bool SkipFrame() {
    scratch_.resize(kPicBufSize);
    return ReadFrame(scratch_.data());
  }

 private:
  bool Found() {
    PicPos = source_.LastPosition();
    ++counterCalls;
    return true;
  }

  Source& source_;
  std::vector<uint8_t> scratch_;
};

}  // namespace rovena::test
