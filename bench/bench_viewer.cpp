// What a user waits for in the window, measured offscreen on recordings made by ffmpeg's
// encoder, with ffmpeg decoding the same recording single-threaded (to bgr24) in the same run
// as the yardstick: fast play and normal play in pictures shown per second, fast play with the
// route and picture windows open against the same with them hidden, a step from the
// key press to the pixels in Pic1, jumping to the end and very fast play on a sparse 3 GiB
// recording, start-up to a shown window with and without the map, and the peak memory of a
// start-up with the map loaded. Start-ups run in fresh processes of this program.
//
// Play rates and steps are judged in this process's CPU time, the measure ffmpeg's yardstick
// uses too (its -benchmark user time), so that other work on a shared machine moves the
// ratio less than it moves wall-clock times; the wall-clock figure is printed beside them.
//
// Usage: bench_viewer [work folder]        (exit 3 when a target is missed)
//        bench_viewer --startup FOLDER RECORDING   (internal: one start-up, prints ms and KiB)
#include <fcntl.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QStyleFactory>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "tools/demo_map.h"
#include "viewer/main_window.h"
#include "viewer/picture_window.h"
#include "tools/recording_writer.h"
#include "scripted_platform.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The slice data of each picture of ffmpeg's single-slice intra elementary stream.
std::vector<Bytes> SlicesOf(const Bytes& es) {
  std::vector<Bytes> slices;
  const auto next = [&](size_t from) {
    for (size_t i = from; i + 3 < es.size(); ++i)
      if (es[i] == 0 && es[i + 1] == 0 && es[i + 2] == 1) return i;
    return es.size();
  };
  for (size_t at = next(0); at < es.size();) {
    const size_t end = next(at + 4);
    if (es[at + 3] == 0x01) slices.emplace_back(es.begin() + static_cast<long>(at + 4), es.begin() + static_cast<long>(end));
    at = end;
  }
  return slices;
}

// The slices of ffmpeg's encoder's pictures (intra, quantiser 8, one slice).
std::vector<Bytes> FfmpegSlices(const std::string& folder, const std::string& source, int width, int height, int pictures) {
  const std::string es = folder + "/bench_viewer.es.m1v";
  const std::string command = "ffmpeg -nostdin -loglevel error -y -f lavfi -i '" + source + "=size=" + std::to_string(width) + "x" +
                              std::to_string(height) + ":rate=25' -frames:v " + std::to_string(pictures) +
                              " -c:v mpeg1video -threads 1 -g 1 -qscale:v 8 -qmin 8 -qmax 8 -f mpeg1video '" + es + "'";
  if (std::system(command.c_str()) != 0) return {};
  std::vector<Bytes> slices = SlicesOf(ReadFile(es));
  std::remove(es.c_str());
  return slices;
}

// The pictures in the recorder's form, `repeats` times over, each with a fix of its own.
Bytes Recording(const std::vector<Bytes>& slices, int width, int height, int repeats = 1) {
  rovena::RecordingWriter writer(width, height);
  int index = 0;
  for (int r = 0; r < repeats; ++r)
    for (const Bytes& slice : slices) writer.AddCodedPicture(slice, rovena::MakeGprmcSentence(index++));
  return writer.Bytes();
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// ffmpeg's decoding rate of a file in pictures per second, from its own user-time measure.
double FfmpegPicturesPerSecond(const std::string& path, int pictures) {
  const std::string command = "ffmpeg -nostdin -benchmark -threads 1 -i '" + path +
                              "' -fps_mode passthrough -f rawvideo -pix_fmt bgr24 -y /dev/null 2>&1";
  double best = 1e9;
  for (int run = 0; run < 3; ++run) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    char line[512];
    while (std::fgets(line, sizeof line, pipe))
      if (const char* found = std::strstr(line, "utime=")) best = std::min(best, std::atof(found + 6));
    pclose(pipe);
  }
  return best > 0 && best < 1e9 ? pictures / best : -1;
}

// A Form1 on a scripted desktop, shown offscreen, with `recording` opened.
struct Window {
  Window(const std::string& folder, const std::string& recording) {
    // Each measurement is of one recording; the folder holds others that play would go on into.
    platform.settings["ContinuousTrip"] = "0";
    form = std::make_unique<rovena::Form1>(platform, QString::fromStdString(folder), QString::fromStdString(recording));
    form->Form_Load();
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get())) std::fprintf(stderr, "the window was not exposed\n");
  }
  rovena::ScriptedPlatform platform;
  std::unique_ptr<rovena::Form1> form;
};

double Milliseconds(const QElapsedTimer& t) { return static_cast<double>(t.nsecsElapsed()) / 1e6; }

double CpuMilliseconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return 1e3 * static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_nsec);
}

// Both clocks over one stretch of work.
struct Stopwatch {
  Stopwatch() { wall.start(); }
  double CpuMs() const { return CpuMilliseconds() - cpuStart; }
  double WallMs() const { return Milliseconds(wall); }
  QElapsedTimer wall;
  double cpuStart = CpuMilliseconds();
};

struct Row {
  std::string what;
  double value;
  std::string unit;
  double ffmpeg;  // the yardstick in the same unit, or 0
  double target;  // 0: none
  bool higherIsBetter;
  double wall;    // the value by the wall clock where `value` is CPU time, or 0
};

std::vector<Row> rows;

void Report(const std::string& what, double value, const std::string& unit, double ffmpeg, double target, bool higherIsBetter,
            double wall = 0) {
  rows.push_back({what, value, unit, ffmpeg, target, higherIsBetter, wall});
}

// One play of the whole recording from its start with one play button: CPU and wall ms.
std::pair<double, double> PlayOnce(Window& w, void (rovena::Form1::*play)()) {
  w.form->cmdDownE_Click();
  QTest::qWait(20);  // open windows have followed the jump before the play is timed
  const Stopwatch t;
  (w.form.get()->*play)();
  return {t.CpuMs(), t.WallMs()};
}

// Plays the whole recording with one play button and reports the pictures shown per second.
void ReportPlayRate(const std::string& what, Window& w, void (rovena::Form1::*play)(), int shownPictures, double ffmpegRate,
                    double target) {
  const auto [cpu, wall] = PlayOnce(w, play);
  Report(what, shownPictures / (cpu / 1000), "pictures/s", ffmpegRate, target, true, shownPictures / (wall / 1000));
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Fast play with the route and picture windows following every picture, which should cost
// under a tenth of the rate, with the picture window at its opening size and then as large
// as a full-HD screen. The recording is the bench recording five times over, so that a play
// lasts a quarter of a second and each start's cost is spread as in real use; plays with the
// windows shown and hidden alternate, and the two sums are compared, so that whatever else
// the machine does falls on both sides alike.
constexpr int kLongRepeats = 5;

void MeasureFastPlayWithCompanions(const std::string& folder, const std::string& path, int shownPictures,
                                   double ffmpegRate) {
  constexpr int kPairs = 10;
  Window w(folder, path);
  rovena::CompanionWindows& companions = w.form->Companions();
  const auto showBoth = [&] {
    companions.ToggleRoute();
    companions.TogglePicture();
    QTest::qWait(100);  // the windows' first paints after showing are not measured
  };
  showBoth();
  QTest::qWait(500);  // the route is gathered on its worker thread
  showBoth();
  for (const QSize size : {companions.Picture()->size(), QSize(1920, 1080)}) {
    companions.Picture()->resize(size);
    double hiddenCpu = 0, hiddenWall = 0, shownCpu = 0, shownWall = 0;
    for (int pair = 0; pair < kPairs; ++pair) {
      const auto [cpu, wall] = PlayOnce(w, &rovena::Form1::cmdUpFF_Click);
      hiddenCpu += cpu, hiddenWall += wall;
      showBoth();
      const auto [withCpu, withWall] = PlayOnce(w, &rovena::Form1::cmdUpFF_Click);
      shownCpu += withCpu, shownWall += withWall;
      showBoth();  // each toggles back to hidden
    }
    const double shown = static_cast<double>(shownPictures) * kPairs;
    const std::string at = " " + std::to_string(size.width()) + "x" + std::to_string(size.height());
    Report("fast play, windows hidden", shown / (hiddenCpu / 1000), "pictures/s", ffmpegRate, 0, true,
           shown / (hiddenWall / 1000));
    Report("fast play, route + picture" + at, shown / (shownCpu / 1000), "pictures/s", ffmpegRate, 0, true,
           shown / (shownWall / 1000));
    Report("  kept of the rate", 100 * hiddenCpu / shownCpu, "%", 0, 90, true, 100 * hiddenWall / shownWall);
  }
}

void MeasurePlayback(const std::string& folder, const std::string& path, int pictures, double ffmpegRate) {
  Window w(folder, path);
  // Every picture but the first is shown by normal play; every fifth by fast play.
  ReportPlayRate("normal play, VGA", w, &rovena::Form1::cmdUpF_Click, pictures - 1, ffmpegRate, 0);
  ReportPlayRate("fast play, VGA", w, &rovena::Form1::cmdUpFF_Click, (pictures - 1) / 5, ffmpegRate, 600);

  // Steps: key press to the picture in Pic1 and the repaint done.
  w.form->cmdDownE_Click();
  w.form->activateWindow();
  if (!QTest::qWaitForWindowActive(w.form.get())) std::fprintf(stderr, "the window did not become active\n");
  std::vector<double> cpu, wall;
  for (int i = 1; i < pictures; ++i) {
    const Stopwatch t;
    QTest::keyClick(w.form.get(), Qt::Key_Right);
    w.form->Pic1->repaint();
    cpu.push_back(t.CpuMs());
    wall.push_back(t.WallMs());
  }
  Report("step (median), VGA", Median(cpu), "ms", 1000 / ffmpegRate, 1.2, false, Median(wall));
  Report("step (slowest), VGA", *std::max_element(cpu.begin(), cpu.end()), "ms", 1000 / ffmpegRate, 0, false,
         *std::max_element(wall.begin(), wall.end()));
}

// A sparse file of 3 GiB whose last stretch holds the recording's pictures; the first
// picture at the start gives it a header.
void MeasureHuge(const std::string& folder, const Bytes& vga) {
  const std::string path = folder + "/bench_viewer_huge.m1v";
  const int64_t length = int64_t{3} << 30;
  const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
  const bool made = fd >= 0 && ::ftruncate(fd, length) == 0 &&
                    ::pwrite(fd, vga.data(), vga.size(), 0) == static_cast<ssize_t>(vga.size()) &&
                    ::pwrite(fd, vga.data(), vga.size(), length - static_cast<int64_t>(vga.size())) == static_cast<ssize_t>(vga.size());
  if (fd >= 0) ::close(fd);
  if (!made) {
    std::fprintf(stderr, "could not make the 3 GiB file\n");
    std::exit(1);
  }
  {
    Window w(folder, path);
    std::vector<double> jumps;
    for (int i = 0; i < 20; ++i) {
      w.form->cmdDownE_Click();
      QElapsedTimer t;
      t.start();
      w.form->cmdUpE_Click();
      w.form->Pic1->repaint();
      jumps.push_back(Milliseconds(t));
    }
    std::sort(jumps.begin(), jumps.end());
    Report("jump to the end, 3 GiB", jumps[jumps.size() / 2], "ms", 0, 20, false);

    w.form->cmdUpE_Click();
    const int64_t from = w.form->player.CurrentRecording().PicPos;
    QElapsedTimer t;
    t.start();
    w.form->cmdDownFFF_Click();
    const double seconds = Milliseconds(t) / 1000;
    // One picture per 200000 bytes of the stretch it crossed.
    const double shown = static_cast<double>(from - (w.form->player.CurrentRecording().PicPos + 200000)) / 200000 + 1;
    Report("very fast play down, 3 GiB", shown / seconds, "pictures/s", 0, 0, true);
  }
  ::unlink(path.c_str());
}

// One start-up in a fresh process of this program: milliseconds to a shown window, and the
// process's peak memory in KiB.
std::pair<double, double> StartUp(const std::string& self, const std::string& folder, const std::string& recording) {
  const std::string command = "'" + self + "' --startup '" + folder + "' '" + recording + "'";
  double best = 1e9, memory = 0;
  for (int run = 0; run < 5; ++run) {
    FILE* pipe = popen(command.c_str(), "r");
    double ms = -1, kib = 0;
    if (!pipe || std::fscanf(pipe, "%lf %lf", &ms, &kib) != 2) ms = -1;
    if (pipe) pclose(pipe);
    if (ms < 0) return {-1, 0};
    best = std::min(best, ms);
    memory = std::max(memory, kib);
  }
  return {best, memory};
}

int StartUpChild(const char* folder, const char* recording, int argc, char** argv) {
  QElapsedTimer t;
  t.start();
  QApplication app(argc, argv);
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  Window w(folder, recording);
  // A step with the map ticked draws the map too, so the peak includes a drawn region.
  w.form->cmdUp_Click();
  const double ms = Milliseconds(t);
  if (!w.form->MapPicture.isNull()) w.form->chkGps->click();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("%.3f %ld\n", ms, usage.ru_maxrss);
  return 0;
}

bool PrintTable() {
  bool met = true;
  std::printf("%-30s %12s %-11s %12s %8s %10s %12s\n", "measure", "Rovena", "unit", "ffmpeg", "ratio", "target", "wall clock");
  for (const Row& r : rows) {
    const bool ok = r.target == 0 || (r.higherIsBetter ? r.value >= r.target : r.value <= r.target);
    met = met && ok;
    char ffmpeg[32] = "-", ratio[32] = "-", target[32] = "-", wall[32] = "";
    if (r.ffmpeg > 0) {
      std::snprintf(ffmpeg, sizeof ffmpeg, "%.2f", r.ffmpeg);
      std::snprintf(ratio, sizeof ratio, "%.2f", r.value / r.ffmpeg);
    }
    if (r.target > 0) std::snprintf(target, sizeof target, "%s%g%s", r.higherIsBetter ? ">=" : "<=", r.target, ok ? "" : " MISSED");
    if (r.wall > 0) std::snprintf(wall, sizeof wall, "%.2f", r.wall);
    std::printf("%-30s %12.2f %-11s %12s %8s %10s %12s\n", r.what.c_str(), r.value, r.unit.c_str(), ffmpeg, ratio, target, wall);
  }
  return met;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--startup") == 0) return StartUpChild(argv[2], argv[3], argc, argv);
  if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
  const std::string work = argc > 1 ? argv[1] : "/tmp";
  const std::string folder = work + "/bench_viewer_" + std::to_string(::getpid());
  std::filesystem::create_directories(folder + "/with_map");
  const std::string self = std::filesystem::canonical("/proc/self/exe").string();

  const int pictures = 200;
  const std::vector<Bytes> slices = FfmpegSlices(folder, "testsrc2", 640, 480, pictures);
  if (slices.size() != pictures) {
    std::fprintf(stderr, "could not make the recording with ffmpeg\n");
    return 1;
  }
  const Bytes vga = Recording(slices, 640, 480);
  const std::string path = folder + "/vga.m1v";
  WriteFile(path, vga);
  const std::string longPath = folder + "/vga_long.m1v";
  WriteFile(longPath, Recording(slices, 640, 480, kLongRepeats));
  // Normal play as fast as it goes: the shortest interval the configuration allows.
  std::ofstream(folder + "/Rovena.ini") << "PLAYSPEED1=0.000001\nMAPLAT1=52.41674\nMAPLAT2=52.80114\n"
                                           "MAPLON1=20.79139\nMAPLON2=20.2325\n";
  const double ffmpegRate = FfmpegPicturesPerSecond(path, pictures);
  const std::string error = rovena::WriteDemoMap(folder + "/with_map/map.gif", rovena::IfExists::Replace);
  if (!error.empty()) {
    std::fprintf(stderr, "demo map: %s\n", error.c_str());
    return 1;
  }

  const auto [plainStart, plainMemory] = StartUp(self, folder, path);
  const auto [mapStart, mapMemory] = StartUp(self, folder + "/with_map", path);
  Report("start-up to shown window", plainStart, "ms", 0, 300, false);
  Report("start-up with the map", mapStart, "ms", 0, 1000, false);
  Report("peak memory without map", plainMemory / 1024, "MiB", 0, 0, false);
  Report("peak memory with the map", mapMemory / 1024, "MiB", 0, 150, false);
  {
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    MeasurePlayback(folder, path, pictures, ffmpegRate);
    MeasureFastPlayWithCompanions(folder, longPath, (kLongRepeats * pictures - 1) / 5, ffmpegRate);
    MeasureHuge(folder, vga);
  }
  std::filesystem::remove_all(folder);
  std::printf("ffmpeg -threads 1 decodes this VGA recording to bgr24 at %.0f pictures/s\n", ffmpegRate);
  return PrintTable() ? 0 : 3;
}
