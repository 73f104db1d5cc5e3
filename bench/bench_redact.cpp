// What the redaction detectors find and how fast, on pictures made here (no labelled footage
// can be had): European-style plates 40 to 160 pixels wide drawn on the demo drive's road
// pictures, stored and decoded as the recorder would (tests/redact/plate_fixture.h).
//   - plate recall by width: the shipped detector, and for comparison each plate cascade of
//     opencv-data alone
//   - false proposals on the demo drive's 360 plain pictures, and on the plate pictures
//   - pictures per second: faces and plates together, on one thread and on two, beside the
//     decoder's own rate on the same VGA pictures in the same run
//
// Usage: bench_redact [plates per width]
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <thread>

#include "core/picture_decoder.h"
#include "core/recording.h"
#include "plate_fixture.h"
#include "redact/cascade.h"
#include "redact/detector.h"
#include "scratch_dir.h"

namespace {

using rovena::redact::Proposal;
using rovena::redact::Rect;
using Clock = std::chrono::steady_clock;

const std::vector<int> kWidths = {40, 50, 60, 70, 80, 100, 120, 140, 160};

rovena::redact::BgrView View(const cv::Mat& bgr) {
  return {bgr.data, bgr.cols, bgr.rows, static_cast<std::ptrdiff_t>(bgr.step)};
}

using FindPlates = std::function<std::vector<Rect>(const cv::Mat& bgr)>;

FindPlates ShippedPlates() {
  std::string error;
  auto detector = std::shared_ptr<rovena::redact::Detector>(rovena::redact::MakePlateDetector(error));
  return [detector](const cv::Mat& bgr) {
    std::vector<Rect> found;
    for (const Proposal& p : detector->Find(rovena::redact::MakeDetectorInput(View(bgr)))) found.push_back(p.rect);
    return found;
  };
}

// A plate cascade alone, at its own smallest window and OpenCV's usual settings.
FindPlates CascadeOnly(const std::string& file, cv::Size window) {
  auto cascade = std::make_shared<rovena::redact::Cascade>();
  if (const std::string error = cascade->Load({file, 1.1, 3, window}); !error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    std::exit(1);
  }
  return [cascade](const cv::Mat& bgr) {
    std::vector<Rect> found;
    for (const cv::Rect& r : cascade->Find(rovena::redact::MakeDetectorInput(View(bgr)).gray)) found.push_back({r.x, r.y, r.width, r.height});
    return found;
  };
}

struct Tally {
  std::map<int, int> plates, found;
  int falseProposals = 0;
};

Tally Measure(const FindPlates& find, const std::vector<cv::Mat>& pictures, const std::vector<rovena::test::PlateScene>& scenes) {
  Tally tally;
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    const std::vector<Rect> found = find(pictures[i]);
    const auto& scene = scenes[i];
    for (std::size_t k = 0; k < scene.plates.size(); ++k) {
      ++tally.plates[scene.widths[k]];
      for (const Rect& r : found)
        if (rovena::test::Finds(r, scene.plates[k])) {
          ++tally.found[scene.widths[k]];
          break;
        }
    }
    for (const Rect& r : found) tally.falseProposals += !rovena::test::OnSomePlate(r, scene.plates);
  }
  return tally;
}

void PrintRecall(const char* name, Tally tally, std::size_t pictures) {
  std::printf("  %-34s", name);
  int plates60 = 0, found60 = 0;
  for (const int width : kWidths) {
    std::printf(" %4.2f", static_cast<double>(tally.found[width]) / tally.plates[width]);
    if (width >= 60) plates60 += tally.plates[width], found60 += tally.found[width];
  }
  std::printf("  | %4.2f | %d in %zu pictures\n", static_cast<double>(found60) / plates60, tally.falseProposals, pictures);
}

// The machine is shared, so beside the wall-clock rate each side also gets its rate per
// second of processor time, which other programs' load does not change.
struct Rate {
  double wall = 0;  // pictures per second
  double cpu = 0;   // pictures per second of processor time (all threads)
};
template <typename Work>
Rate Timed(std::size_t pictures, Work work) {
  const std::clock_t cpuStart = std::clock();
  const auto start = Clock::now();
  work();
  const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  return {pictures / std::chrono::duration<double>(Clock::now() - start).count(), pictures / cpu};
}

// Pictures per second over `pictures` with `threads` threads, each with its own detectors.
Rate DetectionRate(const std::vector<cv::Mat>& pictures, int threads, const rovena::redact::DetectKinds& kinds) {
  return Timed(pictures.size(), [&] {
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t)
    workers.emplace_back([&, t] {
      std::string error;
      auto detectors = rovena::redact::MakeDetectors(kinds, error);
      for (std::size_t i = t; i < pictures.size(); i += threads) {
        rovena::redact::FindAll(detectors, View(pictures[i]));
      }
    });
  for (std::thread& worker : workers) worker.join();
  });
}

// The decoder's own rate on the demo recording: search, read, decode, convert, one thread.
Rate DecoderRate(const std::string& path, std::size_t pictures) {
  rovena::Recording recording;
  std::string error;
  recording.Open(path, error);
  rovena::PictureDecoder decoder;
  decoder.CheckSize(recording.File());
  recording.File().SetCurrentPosition(1);
  return Timed(pictures, [&] {
    while (recording.FindStartUp() && recording.FindPicStart() && recording.ReadFrame(decoder.PicBuf())) decoder.ShowPic();
  });
}

double LoadAverage() {
  double load = 0;
  return getloadavg(&load, 1) == 1 ? load : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int perWidth = argc > 1 ? std::atoi(argv[1]) : 40;
  cv::setNumThreads(1);  // each worker is one thread, as in rovena-cli redact
  rovena::test::ScratchDir dir("rovena_bench_redact");
  const std::vector<cv::Mat> demo = rovena::test::DemoPictures(dir.Path().string(), 360);

  // Two plates to a picture, a small one beside a large one so both cars fit; backgrounds
  // from the whole drive.
  std::vector<rovena::test::PlateScene> scenes;
  std::vector<cv::Mat> drawn;
  for (int round = 0; round < perWidth; ++round)
    for (std::size_t k = 0; k < kWidths.size(); ++k) {
      const std::uint32_t seed = static_cast<std::uint32_t>(scenes.size());
      scenes.push_back(rovena::test::MakePlateScene(demo[seed * 7 % demo.size()], {kWidths[k], kWidths[kWidths.size() - 1 - k]}, seed));
      drawn.push_back(scenes.back().picture);
    }
  const std::vector<cv::Mat> stored = rovena::test::ThroughRecorder(drawn, dir.Path().string());

  std::printf("Plate recall by width (%d plates each) | 60 px and wider | false proposals\n  %-34s", perWidth, "");
  for (const int width : kWidths) std::printf(" %4d", width);
  std::printf("\n");
  PrintRecall("shipped detector", Measure(ShippedPlates(), stored, scenes), stored.size());
  PrintRecall("haarcascade_russian_plate_number", Measure(CascadeOnly("haarcascade_russian_plate_number.xml", {60, 20}), stored, scenes), stored.size());
  PrintRecall("haarcascade_licence_plate_rus_16st", Measure(CascadeOnly("haarcascade_licence_plate_rus_16stages.xml", {64, 16}), stored, scenes), stored.size());

  const std::vector<rovena::test::PlateScene> plain(demo.size());
  std::printf("False proposals on the demo drive's %zu pictures: plates %d", demo.size(),
              Measure(ShippedPlates(), demo, plain).falseProposals);
  int faces = 0;
  {
    std::string error;
    auto detector = rovena::redact::MakeFaceDetector(error);
    for (const cv::Mat& bgr : demo) {
      faces += static_cast<int>(detector->Find(rovena::redact::MakeDetectorInput(View(bgr))).size());
    }
  }
  std::printf(", faces %d\n", faces);

  const Rate decoder = DecoderRate((dir.Path() / "demo.m1v").string(), demo.size());
  std::printf("VGA pictures per second (%ld cores; load average now %.1f), wall clock | per processor second:\n"
              "  decoder, one thread              %7.1f | %7.1f\n",
              sysconf(_SC_NPROCESSORS_ONLN), LoadAverage(), decoder.wall, decoder.cpu);
  for (const auto& [name, kinds] : {std::pair<const char*, rovena::redact::DetectKinds>("faces,plates", {true, true}),
                                    {"plates", {false, true}}, {"faces", {true, false}}})
    for (const int threads : {1, 2}) {
      const Rate rate = DetectionRate(stored, threads, kinds);
      std::printf("  detect %-12s %d thread%s    %7.1f | %7.1f  (1/%.0f of the decoder's; two free cores: %.1f)\n", name,
                  threads, threads > 1 ? "s" : " ", rate.wall, rate.cpu, decoder.cpu / rate.cpu, 2 * rate.cpu);
    }
  return 0;
}
