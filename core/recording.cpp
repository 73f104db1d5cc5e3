#include "core/recording.h"

#include <algorithm>
#include <cstring>

namespace rovena {

namespace {

// Offset of the first 00 00 01 `value` lying wholly inside bytes[0..size), or -1.
int64_t FindCodeForward(const uint8_t* bytes, int64_t size, uint8_t value) {
  int64_t from = 2;
  while (from + 1 < size) {
    const void* hit = std::memchr(bytes + from, 1, static_cast<size_t>(size - 1 - from));
    if (!hit) return -1;
    const int64_t one = static_cast<const uint8_t*>(hit) - bytes;
    if (bytes[one - 2] == 0 && bytes[one - 1] == 0 && bytes[one + 1] == value) return one - 2;
    from = one + 1;
  }
  return -1;
}

// Offset of the last 00 00 01 `value` lying wholly inside bytes[0..size), or -1.
int64_t FindCodeBackward(const uint8_t* bytes, int64_t size, uint8_t value) {
  int64_t end = size - 1;  // the 01 byte lies in [2, end)
  while (end > 2) {
    const void* hit = ::memrchr(bytes + 2, 1, static_cast<size_t>(end - 2));
    if (!hit) return -1;
    const int64_t one = static_cast<const uint8_t*>(hit) - bytes;
    if (bytes[one - 2] == 0 && bytes[one - 1] == 0 && bytes[one + 1] == value) return one - 2;
    end = one;
  }
  return -1;
}

}  // namespace

FrameFormat ProbeFrameFormat(const std::string& path) {
  RecordingFile file;
  std::string error;
  if (!file.Open(path, error)) return kFormatNone;
  uint8_t header[7];
  for (uint8_t& byte : header) byte = file.ReadNext();
  return file.HadIoError() ? kFormatNone : FrameFormatFromHeader(header);
}

Recording::Recording(SearchListener* listener) : listener_(listener) {}

void Recording::SetListener(SearchListener* listener) { listener_ = listener; }

bool Recording::Open(const std::string& path, std::string& errorText) {
  if (!file_.Open(path, errorText)) {
    // Nothing is open now: a PicPos kept from the previous recording would lie outside it.
    FileLen = 0;
    PicPos = 0;
    return false;
  }
  FileLen = file_.Length();
  // A PicPos left from another recording could point anywhere in this one.
  PicPos = 0;
  return true;
}

void Recording::Close() { file_.Close(); }

void Recording::NotifyPlayCounter() {
  if (listener_) listener_->SetPlayCounter(false);
}

void Recording::PictureFound(int64_t lastByte) {
  file_.ReadAt(lastByte);
  PicPos = file_.LastPosition();
  NotifyPlayCounter();
}

bool Recording::FindStartUp() {
  if (file_.AtEnd()) return false;
  const int64_t first = file_.CurrentPosition();
  const int64_t limit = std::min(kStartSearchLimit, FileLen - first + 1);
  const int64_t last = first + limit - 1;  // the last byte this call may examine
  // Consecutive views overlap by three bytes so a code spanning two views is still seen whole.
  for (int64_t p = first; last - p + 1 >= 4;) {
    const std::span<const uint8_t> view = file_.ViewForward(p, 4);
    const int64_t size = std::min<int64_t>(static_cast<int64_t>(view.size()), last - p + 1);
    if (size < 4) break;  // a read failed: the bytes read as zeros, which hold no start code
    const int64_t at = FindCodeForward(view.data(), size, kPictureStartCode);
    if (at >= 0) {
      PictureFound(p + at + 3);
      return true;
    }
    p += size - 3;
  }
  file_.SetCurrentPosition(last + 1);
  return false;
}

bool Recording::FindStartDown() {
  // Never read beyond the end: a PicPos past it cannot come from this recording.
  const int64_t top = std::min(PicPos - 5, FileLen);
  if (top <= 0) return false;
  const int64_t bottom = std::max<int64_t>(1, top - kStartSearchLimit + 1);
  for (int64_t p = top; p - bottom + 1 >= 4;) {
    const std::span<const uint8_t> view = file_.ViewBackward(p, 4);
    const int64_t size = std::min<int64_t>(static_cast<int64_t>(view.size()), p - bottom + 1);
    if (size < 4) break;
    const uint8_t* start = view.data() + view.size() - size;  // the byte at p - size + 1
    const int64_t at = FindCodeBackward(start, size, kPictureStartCode);
    if (at >= 0) {
      PictureFound(p - size + 1 + at + 3);
      return true;
    }
    p -= size - 3;
  }
  // Reading ended at the lowest position examined.
  file_.SetCurrentPosition(bottom + 1);
  return false;
}

bool Recording::FindPicStart() {
  uint32_t history = 0xFFFFFFFFu;  // the last bytes read; starts with no zeros, so no code is half-seen
  bool capturing = false;
  bool sawUserData = false;
  std::string captured;
  for (int64_t count = 0; !file_.AtEnd();) {
    const uint8_t c = file_.ReadNext();
    if ((history & 0xFFFFFFu) == 0x000001u) {
      capturing = false;
      if (c == kFirstSliceCode) {
        NotifyPlayCounter();
        // The capture holds the B2 value byte, the text, its terminating byte and 00 00 01.
        if (!sawUserData)
          NmeaLine.clear();
        else if (captured.size() > 5)
          NmeaLine = captured.substr(1, captured.size() - 5);
        else
          NmeaLine = captured;
        if (listener_) listener_->ShowNmea();
        return true;
      }
      if (c == kUserDataCode) {
        captured.clear();
        capturing = sawUserData = true;
      }
    }
    if (capturing) captured.push_back(static_cast<char>(c));
    history = (history << 8) | c;
    if (++count == kPicStartLimit) break;
  }
  if (sawUserData) NmeaLine = captured;
  return false;
}

bool Recording::ReadFrame(uint8_t* frame) {
  for (int i = 0; i < 4; ++i) frame[i] = file_.ReadNext();
  if (file_.AtEnd()) return false;
  const int64_t firstPosition = file_.CurrentPosition();  // the byte stored at frame[4]
  const int64_t limit = std::min<int64_t>(kPicBufSize - 4, FileLen - firstPosition + 1);
  int64_t stored = 4;
  while (stored - 4 < limit) {
    const std::span<const uint8_t> view = file_.ViewForward(firstPosition + stored - 4, 1);
    const int64_t size = std::min<int64_t>(static_cast<int64_t>(view.size()), limit - (stored - 4));
    if (size <= 0) {
      // A failed read yields zeros, which never hold an end code: the limit is reached.
      std::memset(frame + stored, 0, static_cast<size_t>(limit - (stored - 4)));
      stored = limit + 4;
      break;
    }
    // Copy up to each B7 and test it against the bytes already stored before it.
    for (int64_t from = 0; from < size;) {
      const void* hit = std::memchr(view.data() + from, kSequenceEndCode, static_cast<size_t>(size - from));
      const int64_t upTo = hit ? static_cast<const uint8_t*>(hit) - view.data() + 1 : size;
      std::memcpy(frame + stored, view.data() + from, static_cast<size_t>(upTo - from));
      stored += upTo - from;
      from = upTo;
      if (hit && IsStartCodePrefix(frame + stored - 4)) {
        file_.SetCurrentPosition(firstPosition + stored - 4);
        return true;
      }
    }
  }
  file_.SetCurrentPosition(firstPosition + stored - 4);
  return false;
}

bool Recording::SkipFrame() {
  for (int i = 0; i < 4; ++i) file_.ReadNext();
  if (file_.AtEnd()) return false;
  const int64_t firstPosition = file_.CurrentPosition();  // where ReadFrame stores frame[4]
  const int64_t last = firstPosition + std::min<int64_t>(kPicBufSize - 4, FileLen - firstPosition + 1) - 1;
  // ReadFrame tests each byte from frame[4] on with the three before it, so the end code may
  // begin among the last three of the four bytes read first.
  for (int64_t p = firstPosition - 3; last - p + 1 >= 4;) {
    const std::span<const uint8_t> view = file_.ViewForward(p, 4);
    const int64_t size = std::min<int64_t>(static_cast<int64_t>(view.size()), last - p + 1);
    if (size < 4) break;  // a read failed: ReadFrame would have stored zeros, holding no end code
    const int64_t at = FindCodeForward(view.data(), size, kSequenceEndCode);
    if (at >= 0) {
      file_.SetCurrentPosition(p + at + 4);
      return true;
    }
    p += size - 3;
  }
  file_.SetCurrentPosition(last + 1);
  return false;
}

}  // namespace rovena
