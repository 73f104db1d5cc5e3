// Export throughput in pictures per second for a VGA recording with the default overlay, with
// one and with two decoding workers, next to ffmpeg turning the same file into H.264 at the
// same CRF (its own decoder, no overlay), all in the same run, and beside ffmpeg taking its
// pictures through display colours as the export does. Wall-clock times, because
// both sides use several threads; each side runs three times and the best run counts.
//
// Usage: bench_export [pictures] [work folder]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "export/clip_export.h"
#include "tools/recording_writer.h"

namespace {

double BestSeconds(const std::function<bool()>& run) {
  double best = 1e9;
  for (int i = 0; i < 3; ++i) {
    const auto start = std::chrono::steady_clock::now();
    if (!run()) return -1;
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const int pictures = argc > 1 ? std::atoi(argv[1]) : 100;
  const std::filesystem::path dir = argc > 2 ? argv[2] : std::filesystem::temp_directory_path() / "rovena_bench_export";
  std::filesystem::create_directories(dir);
  const std::string recording = (dir / "recording.m1v").string();
  rovena::RecordingWriter writer(640, 480);
  for (int i = 0; i < pictures; ++i) writer.AddPicture(rovena::MakeTestPattern(640, 480, i), rovena::MakeGprmcSentence(i));
  if (!writer.WriteFile(recording)) return 1;

  const auto exportWith = [&](int jobs) {
    rovena::exporting::ExportRequest request;
    request.ranges = {{recording, 1, pictures}};
    request.output = (dir / "clip.mp4").string();
    request.jobs = jobs;
    const auto result = rovena::exporting::ExportClip(request);
    if (!result.error.empty()) std::fprintf(stderr, "export: %s\n", result.error.c_str());
    return result.error.empty();
  };
  const std::string ffmpeg = "ffmpeg -nostdin -v error -y -i " + recording + " -c:v libx264 -crf 18 " +
                             (dir / "ffmpeg.mp4").string();
  // The same through display colours and back, as an export's pictures are: the extra detail
  // that conversion leaves costs the encoder more than the decoding or the overlay do.
  const std::string ffmpegRgb = "ffmpeg -nostdin -v error -y -i " + recording +
                                " -vf format=bgr24,format=yuv420p -c:v libx264 -crf 18 " + (dir / "ffmpeg_rgb.mp4").string();
  const double one = BestSeconds([&] { return exportWith(1); });
  const double two = BestSeconds([&] { return exportWith(2); });
  const double peer = BestSeconds([&] { return std::system(ffmpeg.c_str()) == 0; });
  const double peerRgb = BestSeconds([&] { return std::system(ffmpegRgb.c_str()) == 0; });
  if (one < 0 || two < 0 || peer < 0 || peerRgb < 0) return 1;

  const auto rate = [&](double seconds) { return pictures / seconds; };
  std::printf("VGA, %d pictures, overlay time,speed, CRF 18, %ld cores\n", pictures, sysconf(_SC_NPROCESSORS_ONLN));
  std::printf("  export --jobs 1        %7.1f pictures/s\n", rate(one));
  std::printf("  export --jobs 2        %7.1f pictures/s\n", rate(two));
  std::printf("  ffmpeg -c:v libx264    %7.1f pictures/s\n", rate(peer));
  std::printf("  ffmpeg via bgr24        %7.1f pictures/s\n", rate(peerRgb));
  std::printf("  ratio to ffmpeg: jobs 1 %.2f, jobs 2 %.2f; to ffmpeg via bgr24: jobs 2 %.2f (above 1: faster)\n",
              peer / one, peer / two, peerRgb / two);
  if (argc <= 2) std::filesystem::remove_all(dir);
  return 0;
}
