// The export beside ffmpeg, in one run, on VGA and CIF recordings of ffmpeg's testsrc2 in the
// recorder's form (the tests' own content):
// - speed: pictures per second with one and with two workers, next to ffmpeg turning the same
//   file into H.264 at CRF 18 (its own decoder, no band). Wall-clock times, because both
//   sides use several threads. The three runs take turns, five rounds of them, so that a
//   busy spell of the machine falls on all of them alike; the median and the best count.
// - quality: the clip's pictures as ffmpeg decodes them against the window's own pictures
//   (our decoder in display colours), mean and worst PSNR, compared in 4:2:0 planes (the
//   window's colours in the standard conversion) and in display colours (as a player shows
//   the clip by its tags); the same for ffmpeg's clip, and both files' sizes.
//
// Usage: bench_export [pictures]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "core/picture_decoder.h"
#include "core/recording.h"
#include "export/clip_export.h"
#include "recording_fixture.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRounds = 5;

// Seconds of each round, taken in turn with the other runs; empty when one failed.
using Runs = std::vector<std::function<bool()>>;
std::vector<std::vector<double>> TimedInTurn(const Runs& runs) {
  std::vector<std::vector<double>> seconds(runs.size());
  for (int round = 0; round < kRounds; ++round)
    for (std::size_t i = 0; i < runs.size(); ++i) {
      const auto start = std::chrono::steady_clock::now();
      if (!runs[i]()) return {};
      seconds[i].push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
  for (auto& times : seconds) std::sort(times.begin(), times.end());
  return seconds;
}

std::string Capture(const std::string& command) {
  std::string text;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  ::pclose(pipe);
  return text;
}

// The window's pictures of the whole recording, top row first, as raw bgr24.
bool WriteWindowPictures(const std::string& recordingPath, const std::string& rawPath) {
  rovena::Recording recording;
  std::string error;
  if (!recording.Open(recordingPath, error)) return false;
  rovena::PictureDecoder decoder;
  if (!decoder.CheckSize(recording.File())) return false;
  std::ofstream raw(rawPath, std::ios::binary);
  while (recording.FindStartUp()) {
    if (!recording.FindPicStart() || !recording.ReadFrame(decoder.PicBuf())) return false;
    if (decoder.ShowPic() != rovena::PictureDecoder::PictureResult::Decoded) return false;
    const int row = 3 * decoder.Width();
    for (int y = decoder.Height() - 1; y >= 0; --y)
      raw.write(reinterpret_cast<const char*>(decoder.FrameBuf.data()) + y * row, row);
  }
  return static_cast<bool>(raw);
}

struct Psnr {
  double mean = -1, worst = -1;
};

// The picture area of `clip` (its top width x height) against the raw window pictures, in
// ffmpeg's `format`, picture by picture whatever the timestamps.
Psnr Compare(const std::string& raw, const std::string& clip, int width, int height, const char* format) {
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  const std::string chain = "crop=" + std::to_string(width) + ":" + std::to_string(height) +
                            ":0:0,settb=1,setpts=N,format=" + format;
  const std::string text = Capture("ffmpeg -nostdin -hide_banner -f rawvideo -pix_fmt bgr24 -s " + size + " -i " + raw +
                                   " -i " + clip + " -lavfi \"[0]" + chain + "[a];[1]" + chain +
                                   "[b];[a][b]psnr\" -f null -");
  Psnr psnr;
  std::smatch match;
  if (std::regex_search(text, match, std::regex("average:([0-9.]+|inf)"))) psnr.mean = std::stod(match[1]);
  if (std::regex_search(text, match, std::regex("min:([0-9.]+|inf)"))) psnr.worst = std::stod(match[1]);
  return psnr;
}

bool RunSize(int width, int height, int pictures, const fs::path& dir) {
  const rovena::test::FixtureRecording source =
      rovena::test::MakeFfmpegRecording("bench_export", width, height, pictures);
  const std::string clip = (dir / "clip.mp4").string(), peer = (dir / "ffmpeg.mp4").string();
  const auto exportWith = [&](int jobs) {
    rovena::exporting::ExportRequest request;
    request.ranges = {{source.path, 1, pictures}};
    request.output = clip;
    request.jobs = jobs;
    request.ifExists = rovena::IfExists::Replace;
    const auto result = rovena::exporting::ExportClip(request);
    if (!result.error.empty()) std::fprintf(stderr, "export: %s\n", result.error.c_str());
    return result.error.empty();
  };
  // Passthrough timing: by default ffmpeg repeats the first picture to fill its guessed frame
  // rate, which would shift every later picture by one against the window's.
  const std::string ffmpeg = "ffmpeg -nostdin -v error -y -i " + source.path +
                             " -fps_mode passthrough -c:v libx264 -crf 18 " + peer;
  const auto seconds = TimedInTurn({[&] { return exportWith(1); }, [&] { return exportWith(2); },
                                    [&] { return std::system(ffmpeg.c_str()) == 0; }});
  if (seconds.empty()) return false;

  const std::string raw = (dir / "window.bgr").string();
  if (!WriteWindowPictures(source.path, raw)) return false;
  std::printf("%dx%d, %d pictures of testsrc2, default settings (band below, time,speed, CRF 18), %ld cores\n", width,
              height, pictures, sysconf(_SC_NPROCESSORS_ONLN));
  const char* names[] = {"export --jobs 1", "export --jobs 2", "ffmpeg -c:v libx264"};
  const auto median = [&](std::size_t i) { return seconds[i][kRounds / 2]; };
  for (std::size_t i = 0; i < seconds.size(); ++i)
    std::printf("  %-20s median %6.1f pictures/s, best %6.1f\n", names[i], pictures / median(i), pictures / seconds[i][0]);
  std::printf("  ratio to ffmpeg (medians): jobs 1 %.2f, jobs 2 %.2f (above 1: faster)\n", median(2) / median(0),
              median(2) / median(1));
  for (const char* format : {"yuv420p", "rgb24"}) {
    const Psnr ours = Compare(raw, clip, width, height, format), its = Compare(raw, peer, width, height, format);
    std::printf("  against the window's pictures, %-7s: export mean %.2f dB, worst %.2f dB; ffmpeg mean %.2f dB, "
                "worst %.2f dB\n", format, ours.mean, ours.worst, its.mean, its.worst);
  }
  const auto bytes = [](const std::string& path) { return static_cast<double>(fs::file_size(path)); };
  std::printf("  size: export %.0f bytes, ffmpeg CRF 18 %.0f bytes (%.2f x)\n", bytes(clip), bytes(peer),
              bytes(clip) / bytes(peer));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int pictures = argc > 1 ? std::atoi(argv[1]) : 100;
  const fs::path dir = fs::temp_directory_path() / "rovena_bench_export";
  fs::create_directories(dir);
  const bool ok = RunSize(640, 480, pictures, dir) && RunSize(320, 240, pictures, dir);
  fs::remove_all(dir);
  return ok ? 0 : 1;
}
