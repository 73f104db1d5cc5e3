// Time per picture of the viewer's step path (picture search, slice search with the sentence,
// frame read, decode, colour conversion) on ffmpeg-encoded recordings, next to ffmpeg decoding
// the very same file single-threaded with conversion to bgr24, measured in the same run.
//
// Both sides are timed in CPU time (ours: the process's CPU clock around the loop; ffmpeg:
// the user time that its -benchmark option reports for its decoding loop), so that other work
// on a shared machine disturbs the ratio less than it would disturb wall-clock times.
//
// Then rovena-cli frames writes 300 VGA pictures as BMP files with one worker and with two,
// timed by the wall clock (what more workers shorten), best of five alternating runs each.
// Each BMP file is synced to disk as it is written, so on a busy disk the syncs' waits, which
// the workers overlap, weigh more than the decoding.
//
// Usage: bench_decode [pictures per recording] [work folder]
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/picture_decoder.h"
#include "core/recording.h"
#include "tools/recording_writer.h"

namespace {

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

struct Content {
  const char* name;
  int width, height;
  const char* source;
  double allowedRatio;
};

const Content kContents[] = {
    {"VGA test pattern", 640, 480, "testsrc2", 1.0},
    {"CIF test pattern", 320, 240, "testsrc2", 1.0},
    {"VGA high detail", 640, 480, "testsrc2=size=640x480:rate=25,noise=alls=60:allf=t", 1.0},
};

std::string Source(const Content& c) {
  const std::string s = c.source;
  return s.find('=') != std::string::npos ? s
                                          : s + "=size=" + std::to_string(c.width) + "x" + std::to_string(c.height) + ":rate=25";
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Per picture of a single-slice intra elementary stream, what follows its slice start code,
// ending where the next non-slice start code begins.
std::vector<std::vector<uint8_t>> SlicesOf(const std::vector<uint8_t>& es) {
  std::vector<std::vector<uint8_t>> slices;
  const auto next = [&](size_t from) {
    for (size_t i = from; i + 3 < es.size(); ++i)
      if (es[i] == 0 && es[i + 1] == 0 && es[i + 2] == 1) return i;
    return es.size();
  };
  for (size_t at = next(0); at < es.size();) {
    size_t end = next(at + 4);
    if (es[at + 3] == 0x01) {
      while (end < es.size() && es[end + 3] >= 0x01 && es[end + 3] <= 0xAF) end = next(end + 4);
      slices.emplace_back(es.begin() + static_cast<long>(at + 4), es.begin() + static_cast<long>(end));
    }
    at = end;
  }
  return slices;
}

// ffmpeg's encoder (intra only, quantiser 8), rewrapped into the recorder's form.
bool MakeRecording(const Content& c, int pictures, const std::string& es, const std::string& path) {
  const std::string command = "ffmpeg -nostdin -loglevel error -y -f lavfi -i '" + Source(c) + "' -frames:v " +
                              std::to_string(pictures) + " -c:v mpeg1video -threads 1 -g 1 -qscale:v 8 -qmin 8 -qmax 8 -f mpeg1video '" + es + "'";
  if (std::system(command.c_str()) != 0) return false;
  rovena::RecordingWriter writer(c.width, c.height);
  int index = 0;
  for (const auto& slice : SlicesOf(ReadFile(es))) writer.AddCodedPicture(slice, rovena::MakeGprmcSentence(index++));
  return index == pictures && writer.WriteFile(path);
}

// One pass through the recording as the step-forward command goes; seconds per picture.
double OurPass(const std::string& path, int pictures) {
  rovena::Recording recording;
  std::string error;
  if (!recording.Open(path, error)) return -1;
  rovena::PictureDecoder decoder;
  if (!decoder.CheckSize(recording.File())) return -1;
  int decoded = 0;
  const double start = CpuSeconds();
  while (recording.StepUp(decoder.PicBuf()))
    decoded += decoder.ShowPic() == rovena::PictureDecoder::PictureResult::Decoded;
  const double seconds = CpuSeconds() - start;
  return decoded == pictures ? seconds / pictures : -1;
}

// A fingerprint of every decoded picture (FNV-1a over the converted frames), printed beside
// the times so that a speed-up that changes a single byte shows up at once.
uint64_t DecodedFingerprint(const std::string& path) {
  rovena::Recording recording;
  std::string error;
  rovena::PictureDecoder decoder;
  if (!recording.Open(path, error) || !decoder.CheckSize(recording.File())) return 0;
  uint64_t hash = 14695981039346656037ull;
  while (recording.StepUp(decoder.PicBuf())) {
    if (decoder.ShowPic() != rovena::PictureDecoder::PictureResult::Decoded) return 0;
    for (uint8_t byte : decoder.FrameBuf) hash = (hash ^ byte) * 1099511628211ull;
  }
  return hash;
}

// ffmpeg's own measure of its decoding work (-benchmark's user time). The process's user time
// is counted in scheduler ticks and includes the start-up, so the recording is decoded
// repeatedly in one run (at least 1000 pictures) to make both small against the decoding.
double FfmpegPass(const std::string& path, int pictures) {
  const int passes = (1000 + pictures - 1) / pictures;
  const std::string command = "ffmpeg -nostdin -benchmark -threads 1 -stream_loop " + std::to_string(passes - 1) +
                              " -i '" + path + "' -fps_mode passthrough -f rawvideo -pix_fmt bgr24 -y /dev/null 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  char line[512];
  double utime = -1;
  while (std::fgets(line, sizeof line, pipe)) {
    const char* found = std::strstr(line, "utime=");
    if (found) utime = std::atof(found + 6);
  }
  pclose(pipe);
  return utime < 0 ? -1 : utime / (pictures * passes);
}

double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Seconds that `rovena-cli frames` takes to write every picture of `path` with `jobs` workers.
double FramesCommandSeconds(const std::string& path, const std::string& folder, int jobs) {
  std::filesystem::remove_all(folder);
  const std::string command = std::string(ROVENA_BIN_DIR) + "/rovena-cli frames '" + path + "' -o '" + folder +
                              "' --quiet --jobs " + std::to_string(jobs) + " > /dev/null";
  const double start = WallSeconds();
  const int status = std::system(command.c_str());
  const double seconds = WallSeconds() - start;
  std::filesystem::remove_all(folder);
  return status == 0 ? seconds : -1;
}

template <class Pass>
double Best(Pass pass, int repeats) {
  double best = 1e9;
  for (int i = 0; i < repeats; ++i) {
    const double t = pass();
    if (t < 0) return -1;
    best = std::min(best, t);
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const int pictures = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
  const std::string folder = argc > 2 ? argv[2] : "/tmp";
  if (!rovena::BlockLibrary::Instance().Ready()) {
    std::fprintf(stderr, "%s\n", rovena::BlockLibrary::Instance().Error().c_str());
    return 1;
  }
  bool withinTargets = true;
  std::printf("%-18s %12s %12s %8s %8s  %s\n", "content", "ours ms/pic", "ffmpeg ms/pic", "ratio", "target",
              "fingerprint of our pictures");
  for (const Content& c : kContents) {
    const std::string base = folder + "/bench_decode_" + std::to_string(getpid()) + "_" + std::to_string(&c - kContents);
    const std::string es = base + ".es.m1v", path = base + ".m1v";
    if (!MakeRecording(c, pictures, es, path)) {
      std::fprintf(stderr, "could not make the %s recording with ffmpeg\n", c.name);
      return 1;
    }
    const double ours = Best([&] { return OurPass(path, pictures); }, 5);
    const double ffmpeg = Best([&] { return FfmpegPass(path, pictures); }, 3);
    const uint64_t fingerprint = DecodedFingerprint(path);
    std::remove(es.c_str());
    std::remove(path.c_str());
    if (ours < 0 || ffmpeg <= 0) {
      std::fprintf(stderr, "%s: a decoder failed\n", c.name);
      return 1;
    }
    const double ratio = ours / ffmpeg;
    withinTargets = withinTargets && ratio <= c.allowedRatio;
    std::printf("%-18s %12.3f %12.3f %8.2f %8.1f  %016llx\n", c.name, ours * 1e3, ffmpeg * 1e3, ratio, c.allowedRatio,
                static_cast<unsigned long long>(fingerprint));
  }

  // Batch work with one worker and with two.
  constexpr int kBatchPictures = 300;
  constexpr double kAllowedJobsRatio = 0.6;
  const std::string base = folder + "/bench_decode_" + std::to_string(getpid()) + "_jobs";
  if (!MakeRecording(kContents[0], kBatchPictures, base + ".es.m1v", base + ".m1v")) {
    std::fprintf(stderr, "could not make the batch recording with ffmpeg\n");
    return 1;
  }
  // Alternating runs, so that a slow spell of the disk's syncs falls on both sides alike.
  double one = 1e9, two = 1e9;
  for (int round = 0; round < 5 && one > 0 && two > 0; ++round) {
    one = std::min(one, FramesCommandSeconds(base + ".m1v", base, 1));
    two = std::min(two, FramesCommandSeconds(base + ".m1v", base, 2));
  }
  std::remove((base + ".es.m1v").c_str());
  std::remove((base + ".m1v").c_str());
  if (one <= 0 || two <= 0) {
    std::fprintf(stderr, "rovena-cli frames failed\n");
    return 1;
  }
  withinTargets = withinTargets && two / one <= kAllowedJobsRatio;
  std::printf("\nframes of %d VGA pictures to BMP: --jobs 1 %.2f s, --jobs 2 %.2f s, ratio %.2f (target %.1f)\n",
              kBatchPictures, one, two, two / one, kAllowedJobsRatio);
  return withinTargets ? 0 : 3;
}
