// The open recording: raw byte access with 1-based positions, as the picture searches see it.
//
// Four primitives carry every search: read the next byte, read the byte at a position, the
// position of the byte read last, and whether the current position lies past the last byte.
// Reads are served from one block buffer that is refilled towards the direction of travel, so
// a search running backwards one byte at a time costs no more system calls than a forward one.
// Positions and lengths are 64-bit: recordings of 2 GiB and more work.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/output_guard.h"

namespace rovena {

// Opens `path` read-only when it is a regular file, without blocking on a FIFO or a device
// put in its place. Returns the descriptor, or -1 with a short description for the user.
int OpenRegularFile(const std::string& path, std::string& errorText);

// The whole content of a regular file of at most `maxBytes`; false with a description when it
// is missing, not a regular file, larger, or unreadable.
bool ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string& content,
                     std::string& errorText);

class RecordingFile {
 public:
  RecordingFile();
  ~RecordingFile();
  RecordingFile(const RecordingFile&) = delete;
  RecordingFile& operator=(const RecordingFile&) = delete;

  // Opens `path` for reading, positioned at byte 1. Returns false and a short description for
  // the user when the file is missing, unreadable or not a regular file (a directory, a FIFO or
  // a device is refused without blocking). Any recording open before is closed first.
  bool Open(const std::string& path, std::string& errorText);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  // Length in bytes, taken when the file was opened (0 when nothing is open).
  int64_t Length() const { return length_; }

  // The byte at the current position; the position advances by one. Past the end (or on a read
  // error) the byte is 0, never a byte left over from an earlier read.
  uint8_t ReadNext() { return ByteAt(current_++); }
  // The byte at position p; reading then continues at p + 1.
  uint8_t ReadAt(int64_t p) {
    current_ = p + 1;
    return ByteAt(p);
  }
  // Where the most recent read took its byte from (one before the current position).
  int64_t LastPosition() const { return current_ - 1; }
  // True once the next read would start past the file's final byte.
  bool AtEnd() const { return current_ > length_; }
  // True when a read failed with an I/O error since Open (a damaged disk or medium).
  bool HadIoError() const { return ioError_; }
  // True when the file turned out shorter than its length at Open: the searches read the
  // missing tail as zeros, but a copy must not take them for data.
  bool HadShortRead() const { return shortRead_; }
  // The file's length now, which may differ from Length() (-1 when it cannot be told).
  int64_t LengthNow() const;

  // Bulk access for the searches; none of these move the current position.
  // The position the next ReadNext reads.
  int64_t CurrentPosition() const { return current_; }
  // Makes `next` the position the next ReadNext reads.
  void SetCurrentPosition(int64_t next) { current_ = next; }
  // Buffered bytes from position p onwards (span[0] is the byte at p), at least
  // min(minBytes, Length() - p + 1) of them unless a read fails. Empty when p is outside the
  // file. Valid until the next read or view.
  std::span<const uint8_t> ViewForward(int64_t p, int64_t minBytes = 4);
  // Buffered bytes up to and including position p (span.back() is the byte at p), at least
  // min(minBytes, p) of them unless a read fails. Empty when p is outside the file.
  std::span<const uint8_t> ViewBackward(int64_t p, int64_t minBytes = 4);

 private:
  static constexpr int64_t kBlockSize = 64 * 1024;

  uint8_t ByteAt(int64_t p) {
    const int64_t offset = p - bufferStart_;
    if (offset >= 0 && offset < bufferLength_) return buffer_[static_cast<size_t>(offset)];
    return ByteAtSlow(p);
  }
  uint8_t ByteAtSlow(int64_t p);
  // Loads the block [first, first + kBlockSize) clipped to the file; false on a read error.
  bool Load(int64_t first);

  int fd_ = -1;
  int64_t length_ = 0;
  int64_t current_ = 1;
  std::vector<uint8_t> buffer_;
  int64_t bufferStart_ = 1;   // position of buffer_[0]
  int64_t bufferLength_ = 0;  // valid bytes in buffer_
  bool ioError_ = false;
  bool shortRead_ = false;
  GuardedInput guard_;  // no output may replace this file while it is open
};

}  // namespace rovena
