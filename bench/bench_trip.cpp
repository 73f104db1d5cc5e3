// Listing a folder of 500 recordings as a trip, from the page cache: the quick scan (a few
// pictures at each end of each file) beside the least any look inside the files costs (open,
// read the 7 header bytes, close) and beside the whole walk (every picture).
//
// The recordings have the shape of 640 x 480 ones (as bench_search makes them: headers, a GPS
// sentence and 40 KB of coded data without start codes per picture) but few pictures per
// file, so the folders stay small; Arg is the pictures per recording. The quick scan's cost
// should not grow with the recording's length, the whole walk's does.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <random>

#include "core/recording.h"
#include "tools/recording_writer.h"
#include "core/trip.h"

namespace {

namespace fs = std::filesystem;
constexpr int kRecordings = 500;

std::string Sentence(int second) {
  char text[96];
  std::snprintf(text, sizeof text, "$GPRMC,%02d%02d%02d.000,A,5213.8000,N,02100.6054,E,30.0,0.0,140607,,,A",
                second / 3600 % 24, second / 60 % 60, second % 60);
  return text;
}

// A folder of kRecordings recordings of `pictures` pictures each, one picture per second,
// written once per size and removed when the benchmark ends.
class Folders {
 public:
  ~Folders() {
    for (const auto& [pictures, path] : folders_) fs::remove_all(path);
  }
  const std::string& Get(int pictures) {
    std::string& path = folders_[pictures];
    if (!path.empty()) return path;
    path = (fs::temp_directory_path() / ("rovena_bench_trip_" + std::to_string(pictures) + "_" +
                                        std::to_string(::getpid()))).string();
    fs::create_directories(path);
    std::mt19937 random(7);
    std::vector<std::uint8_t> slice(40000);
    for (std::uint8_t& b : slice) b = static_cast<std::uint8_t>(random() % 255 + 1);
    for (int r = 0; r < kRecordings; ++r) {
      rovena::RecordingWriter writer(640, 480);
      const int start = 8 * 3600 + r * (pictures + 2);
      for (int i = 0; i < pictures; ++i) writer.AddCodedPicture(slice, Sentence(start + i));
      char name[32];
      std::snprintf(name, sizeof name, "%06d.m1v", r);
      if (!writer.WriteFile((fs::path(path) / name).string())) std::abort();
    }
    return path;
  }

 private:
  std::map<int, std::string> folders_;
};

Folders& TheFolders() {
  static Folders folders;
  return folders;
}

void Counters(benchmark::State& state, const std::string& folder) {
  std::uintmax_t bytes = 0;
  for (const auto& entry : fs::directory_iterator(folder)) bytes += entry.file_size();
  state.counters["files"] = kRecordings;
  state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}

void BM_HeadersOnly(benchmark::State& state) {
  const std::string& folder = TheFolders().Get(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    int recordings = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
      const int fd = ::open(entry.path().c_str(), O_RDONLY);
      unsigned char header[7];
      recordings += ::read(fd, header, 7) == 7 && rovena::HasSequenceHeaderCode(header);
      ::close(fd);
    }
    if (recordings != kRecordings) std::abort();
  }
  Counters(state, folder);
}
BENCHMARK(BM_HeadersOnly)->Arg(12)->Arg(60)->Unit(benchmark::kMillisecond);

void BM_TripQuick(benchmark::State& state) {
  const std::string& folder = TheFolders().Get(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    const rovena::Trip trip = rovena::Trip::Scan(folder);
    if (trip.Size() != kRecordings || trip.Gaps().size() != kRecordings - 1) std::abort();
  }
  Counters(state, folder);
}
BENCHMARK(BM_TripQuick)->Arg(12)->Arg(60)->Unit(benchmark::kMillisecond);

void BM_TripWhole(benchmark::State& state) {
  const std::string& folder = TheFolders().Get(static_cast<int>(state.range(0)));
  rovena::TripScanOptions whole;
  whole.walkWhole = true;
  for (auto _ : state) {
    const rovena::Trip trip = rovena::Trip::Scan(folder, whole);
    if (trip.Size() != kRecordings) std::abort();
  }
  Counters(state, folder);
}
BENCHMARK(BM_TripWhole)->Arg(12)->Arg(60)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
