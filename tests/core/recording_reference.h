// The picture searches written the plain way, one primitive call per byte, straight from the
// rules. The block-scanning searches in Recording must match them in every result and position.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "recording.h"

namespace rovena::test {

struct ReferenceSearches {
  explicit ReferenceSearches(RecordingFile& f) : file(f) {}

  RecordingFile& file;
  int64_t picPos = 0;
  std::string nmeaLine;
  int counterCalls = 0;
  int showCalls = 0;

  bool FindStartUp() {
    int b3 = -1, b2 = -1, b1 = -1;  // nothing read yet: no start code can be half complete
    if (file.AtEnd()) return false;
    for (int64_t count = 0;;) {
      const int c = file.ReadNext();
      if (b3 == 0 && b2 == 0 && b1 == 1 && c == 0) return Found();
      b3 = b2, b2 = b1, b1 = c;
      if (++count == kStartSearchLimit || file.AtEnd()) return false;
    }
  }

  bool FindStartDown() {
    int64_t p = std::min(picPos - 5, file.Length());
    if (p <= 0) return false;
    int c1 = -1, c2 = -1, c3 = -1;
    for (int64_t count = 0;;) {
      const int c0 = file.ReadAt(p);
      if (c0 == 0 && c1 == 0 && c2 == 1 && c3 == 0) {
        file.ReadAt(p + 3);
        return Found();
      }
      if (++count == kStartSearchLimit) return false;
      c3 = c2, c2 = c1, c1 = c0;
      if (--p < 1) return false;
    }
  }

  bool FindPicStart() {
    int b3 = -1, b2 = -1, b1 = -1;
    bool capture = false, sawUserData = false;
    for (int64_t count = 0; !file.AtEnd();) {
      const int c = file.ReadNext();
      if (b3 == 0 && b2 == 0 && b1 == 1) {
        capture = false;
        if (c == kFirstSliceCode) {
          ++counterCalls;
          if (!sawUserData) nmeaLine.clear();
          if (nmeaLine.size() > 5) nmeaLine = nmeaLine.substr(1, nmeaLine.size() - 5);
          ++showCalls;
          return true;
        }
        if (c == kUserDataCode) {
          nmeaLine.clear();
          capture = sawUserData = true;
        }
      }
      if (capture) nmeaLine.push_back(static_cast<char>(c));
      b3 = b2, b2 = b1, b1 = c;
      if (++count == kPicStartLimit) return false;
    }
    return false;
  }

  bool ReadFrame(uint8_t* frame) {
    for (int i = 0; i < 4; ++i) frame[i] = file.ReadNext();
    if (file.AtEnd()) return false;
    for (int i = 4;; ++i) {
      frame[i] = file.ReadNext();
      if (frame[i] == 0xB7 && frame[i - 1] == 1 && frame[i - 2] == 0 && frame[i - 3] == 0) return true;
      if (i + 1 == kPicBufSize || file.AtEnd()) return false;
    }
  }

 private:
  bool Found() {
    picPos = file.LastPosition();
    ++counterCalls;
    return true;
  }
};

}  // namespace rovena::test
