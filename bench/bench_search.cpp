// Cost of moving one picture forwards or backwards, a turn of fast and very fast play, and a
// search over 300 KB, with the buffered block searches against a reader that makes one system
// call per byte.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "core/recording.h"
#include "core/trip_player.h"

namespace {

using rovena::Recording;

// A 640 x 480 recording's shape: per picture the headers, a GPS sentence and 40 KB of coded
// data in which 00 00 01 never occurs (as in a real slice).
std::string MakeRecording(const std::string& name, int pictures, size_t sliceBytes) {
  std::mt19937 rng(7);
  std::vector<uint8_t> out;
  const std::string sentence = "$GPRMC,081500.000,A,5213.8000,N,02100.6054,E,12.0,90.0,140607,,,A*65";
  for (int i = 0; i < pictures; ++i) {
    out.insert(out.end(), {0, 0, 1, 0xB3, 0x28, 0x01, 0xE0, 0x13, 0xFF, 0xFF, 0xE0, 0x18,
                           0, 0, 1, 0xB8, 0x00, 0x08, 0x00, 0x40, 0, 0, 1, 0x00, 0x00, 0x0F, 0xFF, 0xF8,
                           0, 0, 1, 0xB2});
    out.insert(out.end(), sentence.begin(), sentence.end());
    out.insert(out.end(), {0, 0, 0, 1, 0x01});
    for (size_t b = 0; b < sliceBytes; ++b) out.push_back(static_cast<uint8_t>(rng() % 255 + 1));
    out.insert(out.end(), {0, 0, 1, 0xB7});
  }
  const std::string path = "/tmp/rovena_bench_" + name + "_" + std::to_string(::getpid());
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(out.data(), 1, out.size(), f);
  std::fclose(f);
  return path;
}

struct Files {
  std::string pictures = MakeRecording("pictures", 200, 40000);
  std::string noPictures = MakeRecording("nopictures", 1, 310000);
  ~Files() {
    ::unlink(pictures.c_str());
    ::unlink(noPictures.c_str());
  }
};
Files& TheFiles() {
  static Files files;
  return files;
}

Recording& Open(Recording& recording, const std::string& path) {
  std::string error;
  if (!recording.Open(path, error)) std::abort();
  return recording;
}

// A step and a turn of each play mode, through the player the window and the CLI use; at the
// end of the recording it starts again from its first picture (or, going back, its last).
void Move(benchmark::State& state, rovena::Direction direction, const std::function<rovena::PlayerReport(rovena::TripPlayer&)>& move) {
  rovena::TripPlayer player;
  if (player.Open(TheFiles().pictures) != rovena::OpenStatus::Opened) std::abort();
  if (direction == rovena::Direction::Down) player.JumpToEnd(rovena::Direction::Up);
  for (auto _ : state) {
    if (move(player).endMet) player.JumpToEnd(direction == rovena::Direction::Up ? rovena::Direction::Down : rovena::Direction::Up);
  }
}

void BM_StepForward(benchmark::State& state) {
  Move(state, rovena::Direction::Up, [](rovena::TripPlayer& p) { return p.Step(rovena::Direction::Up); });
}
BENCHMARK(BM_StepForward)->Unit(benchmark::kMicrosecond);

void BM_StepBack(benchmark::State& state) {
  Move(state, rovena::Direction::Down, [](rovena::TripPlayer& p) { return p.Step(rovena::Direction::Down); });
}
BENCHMARK(BM_StepBack)->Unit(benchmark::kMicrosecond);

void BM_FastPlayTurn(benchmark::State& state) {
  Move(state, rovena::Direction::Up,
       [](rovena::TripPlayer& p) { return p.Advance(rovena::PlayMode::Fast, rovena::Direction::Up, [] {}); });
}
BENCHMARK(BM_FastPlayTurn)->Unit(benchmark::kMicrosecond);

void BM_VeryFastPlayTurnBack(benchmark::State& state) {
  Move(state, rovena::Direction::Down,
       [](rovena::TripPlayer& p) { return p.Advance(rovena::PlayMode::VeryFast, rovena::Direction::Down, [] {}); });
}
BENCHMARK(BM_VeryFastPlayTurnBack)->Unit(benchmark::kMicrosecond);

// 299999 bytes without a picture start code, searched in each direction.
void BM_Search300KForward(benchmark::State& state) {
  Recording recording;
  Open(recording, TheFiles().noPictures);
  for (auto _ : state) {
    recording.File().SetCurrentPosition(40);  // behind the only picture start code
    benchmark::DoNotOptimize(recording.FindStartUp());
  }
}
BENCHMARK(BM_Search300KForward)->Unit(benchmark::kMicrosecond);

void BM_Search300KBackward(benchmark::State& state) {
  Recording recording;
  Open(recording, TheFiles().noPictures);
  for (auto _ : state) {
    recording.PicPos = recording.FileLen - 1;
    benchmark::DoNotOptimize(recording.FindStartDown());
  }
}
BENCHMARK(BM_Search300KBackward)->Unit(benchmark::kMicrosecond);

// The same backward rule with one pread per byte, as an unbuffered file layer would do it.
void BM_Search300KBackwardByteSyscalls(benchmark::State& state) {
  const int fd = ::open(TheFiles().noPictures.c_str(), O_RDONLY);
  const off_t length = ::lseek(fd, 0, SEEK_END);
  for (auto _ : state) {
    int c1 = -1, c2 = -1, c3 = -1;
    bool found = false;
    for (int64_t p = length - 6, count = 0; p >= 1 && count < 299999 && !found; --p, ++count) {
      uint8_t c0 = 0;
      if (::pread(fd, &c0, 1, p - 1) != 1) break;
      found = c0 == 0 && c1 == 0 && c2 == 1 && c3 == 0;
      c3 = c2, c2 = c1, c1 = c0;
    }
    benchmark::DoNotOptimize(found);
  }
  ::close(fd);
}
BENCHMARK(BM_Search300KBackwardByteSyscalls)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
