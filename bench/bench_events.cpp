// The driving events of a one-hour trip (60 recordings of 60 pictures of 640 x 480, one fix a
// second, 40 KB of coded data a picture), from the page cache, as `rovena-cli events DIR`
// finds them: the folder listed as a trip, every sentence read, the rules run. Beside it, only
// reading the sentences, and the rules alone on fixes already read.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>

#include "bench/one_hour_trip.h"
#include "core/driving_events.h"
#include "core/gps_track.h"
#include "core/recording.h"
#include "core/trip.h"

namespace {

constexpr int kRecordings = rovena::bench::OneHourTrip::kRecordings;
constexpr int kPicturesEach = rovena::bench::OneHourTrip::kPicturesEach;

// Town driving: speed and course swing slowly, with a hard stop every few minutes.
std::string Sentence(int second) {
  const double speedKmh = second % 240 < 5 ? 60 - 12 * (second % 240) : 40 + 20 * std::sin(second / 30.0);
  const double course = std::fmod(360 + 90 * std::sin(second / 90.0), 360);
  char body[128];
  std::snprintf(body, sizeof body, "GPRMC,%02d%02d%02d.000,A,5213.%04d,N,02100.%04d,E,%.1f,%.1f,140607,,,A",
                second / 3600 % 24, second / 60 % 60, second % 60, second % 10000, (3 * second) % 10000,
                speedKmh / 1.852, course);
  return "$" + std::string(body);
}

const rovena::bench::OneHourTrip& OneHour() {
  static const rovena::bench::OneHourTrip trip("rovena_bench_events", Sentence);
  return trip;
}

std::vector<rovena::DriveFix> ReadFixes(const std::string& path, std::int64_t& pictures) {
  rovena::Recording recording;
  std::string error;
  if (!recording.Open(path, error)) std::abort();
  const rovena::TrackWalk walk = rovena::CollectTrack(recording);
  pictures = walk.pictures;
  std::vector<rovena::DriveFix> fixes;
  for (const rovena::GpsFix& fix : walk.fixes) fixes.push_back(rovena::ToDriveFix(fix));
  return fixes;
}

void BM_ReadSentences(benchmark::State& state) {
  const auto& paths = OneHour().Paths();
  for (auto _ : state) {
    std::size_t fixes = 0;
    for (const std::string& path : paths) {
      rovena::Recording recording;
      std::string error;
      if (!recording.Open(path, error)) std::abort();
      fixes += rovena::CollectTrack(recording).fixes.size();
    }
    if (fixes != kRecordings * kPicturesEach) state.SkipWithError("fixes missing");
  }
}
BENCHMARK(BM_ReadSentences)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_EventsOfTrip(benchmark::State& state) {
  const std::string folder = OneHour().Folder();
  std::size_t events = 0;
  for (auto _ : state) {
    const rovena::Trip trip = rovena::Trip::Scan(folder);
    std::vector<std::vector<rovena::DriveFix>> fixes(trip.Size());
    std::vector<rovena::DriveRecording> drive(trip.Size());
    for (std::size_t i = 0; i < trip.Size(); ++i) {
      fixes[i] = ReadFixes(trip.Recordings()[i].path, drive[i].pictures);
      drive[i].fixes = fixes[i];
      drive[i].afterBreak = trip.GapBefore(i) != nullptr;
    }
    events = rovena::FindDrivingEvents(drive).size();
  }
  state.counters["events"] = static_cast<double>(events);
}
BENCHMARK(BM_EventsOfTrip)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RulesAlone(benchmark::State& state) {
  std::vector<std::vector<rovena::DriveFix>> fixes;
  std::vector<rovena::DriveRecording> drive(OneHour().Paths().size());
  for (std::size_t i = 0; i < drive.size(); ++i) fixes.push_back(ReadFixes(OneHour().Paths()[i], drive[i].pictures));
  for (std::size_t i = 0; i < drive.size(); ++i) drive[i].fixes = fixes[i];
  for (auto _ : state) benchmark::DoNotOptimize(rovena::FindDrivingEvents(drive).data());
}
BENCHMARK(BM_RulesAlone)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
