// Picture N of a recording, meant the same way by every part of Rovena: the picture that the
// Nth step forward from the start of the file shows in the window, and so the picture that
// `Rovena --at FILE:N` opens at. The archive, the route, the GPS track, the trip scan, the
// export and the command-line tools all count with this walker.
//
// A step finds the next picture start code, reads on to the first slice (taking the GPS
// sentence from the user data on the way) and then on to the picture's closing end code
// (00 00 01 B7); the next step searches on from behind that end code. Hence:
//  - a picture counts only once it has been read whole, through its end code;
//  - when a picture's end code is missing, its data runs on to the next picture's end code,
//    and that next picture gets no number of its own: stepping passes over it;
//  - the first picture that cannot be read whole (no slice within kPicStartLimit bytes, no end
//    code within kPicBufSize, or the end of the file first) ends the walk, as it ends stepping
//    forward in the window; so does a stretch of kStartSearchLimit bytes without a picture.
// A picture's position is its PicPos, the last byte of its start code; its end is the last
// byte of its end code.
//
// The walk passes over the coded data without copying it unless the caller asks for it, so
// counting and gathering sentences costs one scan over the bytes.
#pragma once

#include <cstdint>
#include <string>

#include "core/recording.h"

namespace rovena {

enum class WalkEnd : std::uint8_t {
  kNotYet,             // the walk goes on
  kEndOfFile,          // every picture up to the end of the file was read whole
  kCutShort,           // the last picture runs into the end of the file (a recorder lost power)
  kIncompletePicture,  // a picture without its slice or its end code within reach: damage
  kNoPictureStart,     // kStartSearchLimit bytes without a picture start: damage
  kReadError,          // the file could not be read
};

// How and where a walk ended.
struct WalkOutcome {
  WalkEnd end = WalkEnd::kNotYet;
  // The position of the picture that could not be read whole, or the last byte a search
  // examined.
  std::int64_t at = 0;
  // Ended at the file's end, with at most its last picture cut short: nothing was passed over.
  bool ReachedEnd() const { return end == WalkEnd::kEndOfFile || end == WalkEnd::kCutShort; }
  bool operator==(const WalkOutcome&) const = default;
};

template <class Searches>
class BasicPictureWalker {
 public:
  // Walks the open recording from its first byte.
  explicit BasicPictureWalker(Searches& searches) : s_(searches) { s_.File().ReadAt(1); }

  // Steps to the next picture, passing over its coded data; false once the walk has ended.
  bool Next() { return Step(nullptr); }
  // Steps to the next picture, storing its coded data into `frame` (kPicBufSize bytes, the
  // decoder's PicBuf).
  bool Next(std::uint8_t* frame) { return Step(frame); }

  std::int64_t Number() const { return number_; }      // 1-based; 0 before the first picture
  std::int64_t Position() const { return position_; }  // PicPos of the current picture
  std::int64_t EndPosition() const { return end_; }    // the B7 of its end code
  const std::string& Sentence() const { return s_.NmeaLine; }  // "" without user data

  const WalkOutcome& Outcome() const { return outcome_; }

 private:
  bool Step(std::uint8_t* frame) {
    if (outcome_.end != WalkEnd::kNotYet) return false;
    if (!s_.FindStartUp())
      return Stop(s_.File().AtEnd() ? WalkEnd::kEndOfFile : WalkEnd::kNoPictureStart, s_.File().LastPosition());
    if (!(frame ? s_.ReadPicture(frame) : s_.PassPicture()))
      return Stop(s_.File().AtEnd() ? WalkEnd::kCutShort : WalkEnd::kIncompletePicture, s_.PicPos);
    if (s_.File().HadIoError()) return Stop(WalkEnd::kReadError, s_.PicPos);
    ++number_;
    position_ = s_.PicPos;
    end_ = s_.File().LastPosition();
    return true;
  }

  bool Stop(WalkEnd end, std::int64_t at) {
    outcome_ = {s_.File().HadIoError() ? WalkEnd::kReadError : end, at};
    return false;
  }

  Searches& s_;
  std::int64_t number_ = 0;
  std::int64_t position_ = 0;
  std::int64_t end_ = 0;
  WalkOutcome outcome_;
};

using PictureWalker = BasicPictureWalker<Recording>;

// Whether an open file is a recording, the one rule every command, the archive and the trip
// apply: it begins with the sequence header of a 640 x 480 or 320 x 240 picture (the only
// sizes the decoder draws), and a walk from its start finds a whole picture.
enum class RecordingCheck : std::uint8_t {
  kRecording,
  kNoSequenceHeader,  // does not begin with 00 00 01 B3
  kOtherFrameSize,    // a sequence header of another picture size
  kNoWholePicture,    // nothing a step forward could show
  kReadError,
};

// Applies the rule to the open `recording`; `format` receives its frame format when it has
// one. Reads the header and the first picture, then leaves the file at its first byte.
RecordingCheck CheckRecording(Recording& recording, FrameFormat* format = nullptr);

// The rule's verdict in the words of the command line and the archive's summaries (the
// window has its own).
const char* RecordingCheckText(RecordingCheck check);

}  // namespace rovena
