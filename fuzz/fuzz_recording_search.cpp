// The picture searches and ReadFrame on arbitrary files. The first four input bytes are a
// script of up to ten moves (three bits each: step up, step down, jump to the end, jump to the
// start, jump forward, jump back, step up, step down); the rest is the recording. Each move
// runs on the real Recording, which scans in blocks through the buffered file, and on a model
// that reads one byte at a time exactly as the search rules are written; results, PicPos,
// NmeaLine, the file's current position and the whole picture buffer must agree.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "recording.h"

namespace {

using rovena::kPicBufSize;

// Stand-in for the 200000-byte jumps of very fast play, small enough for fuzzer inputs.
constexpr int64_t kJump = 61;

// The searches read byte by byte over an in-memory copy; past the end a byte reads as 0.
// The histories start with a value no byte has (-1), so a start code counts only when all four
// of its bytes were read in the same call, as the viewer's searches promise.
class ByteModel {
 public:
  explicit ByteModel(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)), fileLen_(static_cast<int64_t>(bytes_.size())) {}

  int64_t PicPos = 0;
  std::string NmeaLine;
  int64_t current = 1;

  uint8_t ReadNext() { return ByteAt(current++); }
  uint8_t ReadAt(int64_t p) {
    current = p + 1;
    return ByteAt(p);
  }
  bool AtEnd() const { return current > fileLen_; }
  int64_t FileLen() const { return fileLen_; }

  bool FindStartUp() {
    int b3 = -1, b2 = -1, b1 = -1;
    if (AtEnd()) return false;
    for (int64_t count = 0;;) {
      const uint8_t c = ReadNext();
      if (b3 == 0 && b2 == 0 && b1 == 1 && c == 0) {
        PicPos = current - 1;
        return true;
      }
      b3 = b2, b2 = b1, b1 = c;
      if (++count == rovena::kStartSearchLimit || AtEnd()) return false;
    }
  }

  bool FindStartDown() {
    // Searching from beyond the end would only read zeros there: start at the last byte.
    int64_t p = std::min(PicPos - 5, fileLen_);
    if (p <= 0) return false;
    int c1 = -1, c2 = -1, c3 = -1;
    for (int64_t count = 0;;) {
      const int c0 = ReadAt(p);
      if (c0 == 0 && c1 == 0 && c2 == 1 && c3 == 0) {
        ReadAt(p + 3);
        PicPos = p + 3;
        return true;
      }
      if (++count == rovena::kStartSearchLimit) return false;
      c3 = c2, c2 = c1, c1 = c0;
      if (--p < 1) return false;
    }
  }

  // A picture with no user data shows no sentence (the viewer clears NmeaLine for it).
  bool FindPicStart() {
    int b3 = -1, b2 = -1, b1 = -1;
    bool capture = false, sawUserData = false;
    std::string text;
    for (int64_t count = 0; !AtEnd();) {
      const uint8_t c = ReadNext();
      if (b3 == 0 && b2 == 0 && b1 == 1) {
        capture = false;
        if (c == 0x01) {
          NmeaLine = !sawUserData ? std::string() : text.size() > 5 ? text.substr(1, text.size() - 5) : text;
          return true;
        }
        if (c == 0xB2) {
          text.clear();
          capture = sawUserData = true;
        }
      }
      if (capture) text.push_back(static_cast<char>(c));
      b3 = b2, b2 = b1, b1 = c;
      if (++count == rovena::kPicStartLimit) break;
    }
    if (sawUserData) NmeaLine = text;
    return false;
  }

  bool ReadFrame(uint8_t* frame) {
    for (int i = 0; i < 4; ++i) frame[i] = ReadNext();
    if (AtEnd()) return false;
    for (int i = 4;;) {
      frame[i] = ReadNext();
      if (frame[i] == 0xB7 && frame[i - 1] == 1 && frame[i - 2] == 0 && frame[i - 3] == 0) return true;
      if (++i == kPicBufSize || AtEnd()) return false;
    }
  }

 private:
  uint8_t ByteAt(int64_t p) const { return p >= 1 && p <= fileLen_ ? bytes_[static_cast<size_t>(p - 1)] : 0; }

  std::vector<uint8_t> bytes_;
  int64_t fileLen_;
};

// The moves as the window makes them; `Search` is Recording or ByteModel.
template <class Search>
bool StepUp(Search& s, uint8_t* frame) { return s.FindStartUp() && s.FindPicStart() && s.ReadFrame(frame); }
template <class Search>
bool StepDown(Search& s, uint8_t* frame) { return s.FindStartDown() && s.FindPicStart() && s.ReadFrame(frame); }

bool Move(int move, rovena::Recording& r, uint8_t* frame) {
  rovena::RecordingFile& f = r.File();
  switch (move) {
    case 2: r.PicPos = r.FileLen - 1; return StepDown(r, frame);
    case 3: f.ReadAt(1); return StepUp(r, frame);
    case 4: if (f.LastPosition() + kJump < r.FileLen) f.ReadAt(f.LastPosition() + kJump); return StepUp(r, frame);
    case 5: if (r.PicPos > kJump) r.PicPos -= kJump; return StepDown(r, frame);
    case 1: case 7: return StepDown(r, frame);
    default: return StepUp(r, frame);
  }
}

bool Move(int move, ByteModel& m, uint8_t* frame) {
  switch (move) {
    case 2: m.PicPos = m.FileLen() - 1; return StepDown(m, frame);
    case 3: m.ReadAt(1); return StepUp(m, frame);
    case 4: if (m.current - 1 + kJump < m.FileLen()) m.ReadAt(m.current - 1 + kJump); return StepUp(m, frame);
    case 5: if (m.PicPos > kJump) m.PicPos -= kJump; return StepDown(m, frame);
    case 1: case 7: return StepDown(m, frame);
    default: return StepUp(m, frame);
  }
}

[[noreturn]] void Mismatch(int step, const char* what, long long real, long long model) {
  std::fprintf(stderr, "move %d: %s is %lld, the byte-by-byte model says %lld\n", step, what, real, model);
  std::abort();
}

// One scratch file per fuzzing process, in the working folder (the fuzz script runs the
// targets inside the build folder), so that runs ended by a time limit leave nothing in /tmp.
std::string TempPath() { return "rovena_fuzz_search_" + std::to_string(::getpid()) + ".mpg"; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  uint32_t script;
  std::memcpy(&script, data, 4);
  const std::vector<uint8_t> file(data + 4, data + size);

  static const std::string path = TempPath();
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out || std::fwrite(file.data(), 1, file.size(), out) != file.size() || std::fclose(out) != 0) std::abort();

  static std::vector<uint8_t> realFrame(kPicBufSize), modelFrame(kPicBufSize);
  std::fill(realFrame.begin(), realFrame.end(), 0);
  std::fill(modelFrame.begin(), modelFrame.end(), 0);

  rovena::Recording recording;
  std::string error;
  if (!recording.Open(path, error)) std::abort();
  ByteModel model(file);
  // Opening reads the 7 header bytes, as the format check does.
  for (int i = 0; i < 7; ++i) {
    recording.File().ReadNext();
    model.ReadNext();
  }
  for (int step = 0; step < 10; ++step) {
    const int move = static_cast<int>((script >> (3 * step)) & 7);
    const bool real = Move(move, recording, realFrame.data());
    const bool expected = Move(move, model, modelFrame.data());
    if (real != expected) Mismatch(step, "the result", real, expected);
    if (recording.PicPos != model.PicPos) Mismatch(step, "PicPos", recording.PicPos, model.PicPos);
    if (recording.File().CurrentPosition() != model.current)
      Mismatch(step, "the current position", recording.File().CurrentPosition(), model.current);
    if (recording.NmeaLine != model.NmeaLine) Mismatch(step, "NmeaLine's length", static_cast<long long>(recording.NmeaLine.size()), static_cast<long long>(model.NmeaLine.size()));
    if (realFrame != modelFrame) Mismatch(step, "the picture buffer", 1, 0);
  }
  return 0;
}
