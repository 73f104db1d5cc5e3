// The picture searches and ReadFrame on arbitrary files. The first four input bytes are a
// script of up to ten moves (three bits each: step up, step down, jump to the end, jump to the
// start, jump forward and pass over a picture, jump back, seek, read the current picture
// again); the rest is the recording. Each move runs on the real Recording, which scans in
// blocks through the buffered file, and on the tests' model that reads one byte at a time
// exactly as the search rules are written; results, PicPos, NmeaLine, the file's position and
// the whole picture buffer must agree.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "byte_search_model.h"
#include "core/recording.h"

namespace {

using rovena::kPicBufSize;
using Model = rovena::test::ByteSearchModel<rovena::test::MemoryBytes>;

// Stand-in for the 200000-byte jumps of very fast play, small enough for fuzzer inputs.
constexpr int64_t kJump = 61;

// Move number `step` of the script, as the window makes it; `Searches` is Recording or the
// model. Seeks go to a place that depends on the step, anywhere from before the first byte to
// past the last.
template <class Searches>
bool Move(int move, int step, Searches& s, uint8_t* frame) {
  switch (move) {
    case 0: return s.StepUp(frame);
    case 1: return s.StepDown(frame);
    case 2: return s.JumpToEnd(frame);
    case 3: return s.JumpToStart(frame);
    case 4: s.JumpForward(kJump); return s.FindStartUp() && s.PassPicture();
    case 5: s.JumpBack(kJump); return s.StepDown(frame);
    case 6: return s.SeekTo((step * 7919) % (s.FileLen + 3)) && s.ReadFrame(frame);
    default: return s.ReReadCurrent(frame);
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
  rovena::test::MemoryBytes bytes(file);
  Model model(bytes);
  // Opening reads the 7 header bytes, as the format check does.
  for (int i = 0; i < 7; ++i) {
    recording.File().ReadNext();
    model.File().ReadNext();
  }
  for (int step = 0; step < 10; ++step) {
    const int move = static_cast<int>((script >> (3 * step)) & 7);
    const bool real = Move(move, step, recording, realFrame.data());
    const bool expected = Move(move, step, model, modelFrame.data());
    if (real != expected) Mismatch(step, "the result", real, expected);
    if (recording.PicPos != model.PicPos) Mismatch(step, "PicPos", recording.PicPos, model.PicPos);
    if (recording.File().LastPosition() != model.File().LastPosition())
      Mismatch(step, "the last position read", recording.File().LastPosition(), model.File().LastPosition());
    if (recording.NmeaLine != model.NmeaLine) Mismatch(step, "NmeaLine's length", static_cast<long long>(recording.NmeaLine.size()), static_cast<long long>(model.NmeaLine.size()));
    if (realFrame != modelFrame) Mismatch(step, "the picture buffer", 1, 0);
  }
  return 0;
}
