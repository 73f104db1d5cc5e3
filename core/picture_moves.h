// The moves through a recording, built from its four searches. The window's handlers, the
// command-line tools, the benchmarks and the fuzzers all move with these, so a picture means
// the same thing everywhere.
//
// Written once over the searches: Recording scans in blocks, the byte-by-byte model of the
// tests reads one byte at a time, and both walk through exactly these moves. `Searches` has
// FindStartUp, FindStartDown, FindPicStart, ReadFrame, SkipFrame, PicPos, FileLen and File()
// with ReadAt, LastPosition and IsOpen.
//
// Every move that reads a picture stores its coded data into `frame` (kPicBufSize bytes, the
// decoder's PicBuf) and returns false when no whole picture was read; the file then stands
// wherever the failed search left it, as the end-of-recording rules expect.
#pragma once

#include <cstdint>

namespace rovena {

template <class Searches>
class PictureMoves {
 public:
  // After a picture start code has been found: picks up the picture's GPS sentence and reads
  // its data. The file then stands behind the picture's sequence end code.
  bool ReadPicture(uint8_t* frame) { return Self().FindPicStart() && Self().ReadFrame(frame); }

  // ReadPicture for a caller that needs only the sentence and where the picture ends: the
  // coded data is passed over, not stored, and the file stands where ReadPicture leaves it.
  bool PassPicture() { return Self().FindPicStart() && Self().SkipFrame(); }

  // The next picture after the current position.
  bool StepUp(uint8_t* frame) { return Self().FindStartUp() && ReadPicture(frame); }

  // The picture before the current one (the search starts just below PicPos).
  bool StepDown(uint8_t* frame) { return Self().FindStartDown() && ReadPicture(frame); }

  // The first picture of the recording.
  bool JumpToStart(uint8_t* frame) {
    Self().File().ReadAt(1);
    return StepUp(frame);
  }

  // The last whole picture. A recorder that loses power leaves its last picture cut short;
  // when the picture found at the end cannot be read whole, the search goes on back to the
  // last one that can, instead of giving up; a few tries cover a damaged tail.
  bool JumpToEnd(uint8_t* frame) {
    constexpr int kLastPictureTries = 4;
    Searches& s = Self();
    s.PicPos = s.FileLen - 1;
    for (int attempt = 0; attempt < kLastPictureTries && s.FindStartDown(); ++attempt) {
      if (ReadPicture(frame)) return true;
    }
    return false;
  }

  // Leaves the recording just behind its last whole picture, as if it had been stepped past:
  // the next StepDown reads that picture (so stepping back from the end of a trip's recording
  // goes on naturally, even when power loss cut the very last picture short) and StepUp finds
  // nothing whole after it. Reads the picture into `frame` to find it; false when there is none.
  bool PlaceAfterLastPicture(uint8_t* frame) {
    if (!JumpToEnd(frame)) return false;
    Searches& s = Self();
    // The backward search starts 5 bytes below PicPos: here at the picture's closing B7.
    s.PicPos = s.File().LastPosition() + 5;
    return true;
  }

  // Moves the search position `bytes` beyond the byte read last, unless that would reach the
  // end of the recording; the next StepUp (or FindStartUp) searches from there. Reads no
  // picture.
  void JumpForward(int64_t bytes) {
    Searches& s = Self();
    const int64_t target = s.File().LastPosition() + bytes;
    if (target < s.FileLen) s.File().ReadAt(target);
  }

  // Moves PicPos `bytes` back, unless that would reach the start of the recording; the next
  // StepDown (or FindStartDown) searches from there. Reads no picture.
  void JumpBack(int64_t bytes) {
    Searches& s = Self();
    if (s.PicPos > bytes) s.PicPos -= bytes;
  }

  // Finds the first picture start at or after `position` (a place chosen on the position bar)
  // and picks up its GPS sentence; false when none follows. The caller reads the picture's
  // data with ReadFrame, so that it can tell a picture cut short from no picture at all.
  bool SeekTo(int64_t position) {
    Searches& s = Self();
    s.File().ReadAt(position);
    return s.FindStartUp() && s.FindPicStart();
  }

  // Reads the current picture again from just behind its start code (after the window has
  // drawn something else over it). The file then stands behind its sequence end code, as
  // after any step, so a cut mark set next covers the whole picture. False when no picture
  // has been found in the open recording.
  bool ReReadCurrent(uint8_t* frame) {
    Searches& s = Self();
    if (s.PicPos < 1 || !s.File().IsOpen()) return false;
    s.File().ReadAt(s.PicPos);
    return ReadPicture(frame);
  }

 private:
  Searches& Self() { return static_cast<Searches&>(*this); }
};

}  // namespace rovena
