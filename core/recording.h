// The open recording together with the picture searches that walk it.
//
// There is no index. Moving to a picture means scanning for MPEG-1 start codes (00 00 01
// plus a value byte), starting wherever the file currently stands. Three calls, always in
// this order, make a picture current: FindStartUp or FindStartDown moves PicPos to its start
// code, FindPicStart continues to the first slice and picks up the GPS sentence on the way,
// and ReadFrame fills the decoder's buffer. The file then stands right after the sequence end
// code that closes the picture.
//
// A start code counts only when all four of its bytes were read within the same call, so a
// search never reports a code whose leading bytes it did not see. The searches scan in blocks,
// yet every result, limit and position equals that of reading one byte at a time.
#pragma once

#include <cstdint>
#include <string>

#include "core/picture_moves.h"
#include "core/recording_file.h"
#include "core/stream_format.h"

namespace rovena {

constexpr int64_t kStartSearchLimit = 299999;  // bytes one picture start search examines
constexpr int64_t kPicStartLimit = 8192;       // bytes FindPicStart reads before giving up

// The frame format the header of the file at `path` announces; kFormatNone when the file
// cannot be read or is no recording. A quick check before opening a file listed earlier.
FrameFormat ProbeFrameFormat(const std::string& path);

// The effects a search has on the window: the play counter and the GPS display.
class SearchListener {
 public:
  virtual ~SearchListener() = default;
  virtual void SetPlayCounter(bool init) = 0;
  virtual void ShowNmea() = 0;
};

// The searches below are the primitives; the moves a viewer makes (step, jump, seek) come
// from PictureMoves.
class Recording : public PictureMoves<Recording> {
 public:
  explicit Recording(SearchListener* listener = nullptr);
  void SetListener(SearchListener* listener);

  // Opens the recording (see RecordingFile::Open). On success FileLen is its length and PicPos
  // is 0, so a backward search finds nothing until a picture has been found in this file.
  bool Open(const std::string& path, std::string& errorText);
  void Close();
  RecordingFile& File() { return file_; }

  int64_t PicPos = 0;    // position of the last byte (the 00) of the current picture's start code
  int64_t FileLen = 0;   // length of the open recording
  std::string NmeaLine;  // sentence of the picture found last; "" for a picture without user data

  // Finds the next picture start code forwards from the current position, examining at most
  // kStartSearchLimit bytes. On success PicPos is its last byte and the file stands behind it.
  bool FindStartUp();
  // Finds the picture start code before the current picture, reading backwards from PicPos - 5
  // (at most kStartSearchLimit bytes, never below position 1, never beyond the end). On success
  // the file stands exactly where FindStartUp would leave it.
  bool FindStartDown();
  // Reads on to the first slice start code (at most kPicStartLimit bytes), capturing the user
  // data into NmeaLine; on success the listener's ShowNmea runs.
  bool FindPicStart();
  // Stores everything from just after the slice start code through the closing 00 00 01 B7
  // into frame[0..]; false at the end of the file or when kPicBufSize bytes hold no end
  // code. Entries beyond the last byte stored keep their contents.
  bool ReadFrame(uint8_t* frame);
  // ReadFrame without storing: finds the same end code within the same limit and leaves the
  // file exactly where ReadFrame would; nothing is copied.
  bool SkipFrame();

 private:
  void PictureFound(int64_t lastByte);
  void NotifyPlayCounter();

  SearchListener* listener_ = nullptr;
  RecordingFile file_;
};

}  // namespace rovena
