// Gathering the route of a one-hour trip for the route window: 60 recordings of 60 pictures
// of 640 x 480 (one fix a second), from the page cache, beside simply reading every byte of
// the same files, the least any gathering that looks at each picture can cost. Each picture
// carries 40 KB of coded data without start codes, the size of a recorder's VGA pictures.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "bench/one_hour_trip.h"
#include "core/route.h"

namespace {

constexpr int kRecordings = rovena::bench::OneHourTrip::kRecordings;
constexpr int kPicturesEach = rovena::bench::OneHourTrip::kPicturesEach;

std::string Sentence(int second) {
  char body[96];
  std::snprintf(body, sizeof body, "GPRMC,%02d%02d%02d.000,A,5213.%04d,N,02100.%04d,E,30.0,45.0,140607,,,A",
                second / 3600 % 24, second / 60 % 60, second % 60, second % 10000, (3 * second) % 10000);
  return "$" + std::string(body);
}

const rovena::bench::OneHourTrip& OneHour() {
  static const rovena::bench::OneHourTrip trip("rovena_bench_route", Sentence);
  return trip;
}

void BM_GatherRoute(benchmark::State& state) {
  const auto& paths = OneHour().Paths();
  for (auto _ : state) {
    const rovena::Route route = rovena::GatherRoute(paths);
    if (route.points.size() != kRecordings * kPicturesEach) state.SkipWithError("points missing");
    benchmark::DoNotOptimize(route.points.data());
  }
  state.counters["pictures"] = kRecordings * kPicturesEach;
}
BENCHMARK(BM_GatherRoute)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadEveryByte(benchmark::State& state) {
  const auto& paths = OneHour().Paths();
  std::vector<char> block(1 << 16);
  for (auto _ : state) {
    std::int64_t bytes = 0;
    for (const std::string& path : paths) {
      const int fd = ::open(path.c_str(), O_RDONLY);
      for (ssize_t got; (got = ::read(fd, block.data(), block.size())) > 0;) bytes += got;
      ::close(fd);
    }
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
  }
}
BENCHMARK(BM_ReadEveryByte)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
