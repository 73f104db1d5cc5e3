#include "cli/progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>


namespace rovena::cli {
namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kBarWidth = 30;
bool lineDrawn = false;  // one terminal, one line: shared by every Progress

std::string Duration(double seconds) {
  const long long whole = static_cast<long long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
  return text;
}

}  // namespace

Progress::Progress(bool quiet, std::int64_t total, std::string items)
    : shown_(::isatty(STDERR_FILENO) && !quiet), total_(total), items_(std::move(items)) {}

double Progress::Elapsed() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

void Progress::Update(std::int64_t done, std::int64_t itemsDone) {
  const Clock::time_point now = Clock::now();
  // The last step is always drawn, so the bar ends full however fast the work ran.
  if (!shown_ || (now - lastDraw_ < kRedrawInterval && done < total_)) return;
  lastDraw_ = now;
  const double fraction = total_ > 0 ? std::clamp(static_cast<double>(done) / total_, 0.0, 1.0) : 0.0;
  const double seconds = Elapsed();
  const int filled = static_cast<int>(fraction * kBarWidth);
  const std::string bar = std::string(filled, '#') + std::string(kBarWidth - filled, '.');
  const std::string left = fraction > 0.01 ? Duration(seconds / fraction - seconds) + " left" : "";
  std::fprintf(stderr, "\r[%s] %3d%%  %lld %s  %.0f %s/s  %s\033[K", bar.c_str(), static_cast<int>(fraction * 100),
               static_cast<long long>(itemsDone), items_.c_str(), seconds > 0 ? itemsDone / seconds : 0.0,
               items_.c_str(), left.c_str());
  std::fflush(stderr);
  lineDrawn = true;
}

void Progress::Finish() { ClearProgressLine(); }

void ClearProgressLine() {
  if (!lineDrawn) return;
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
  lineDrawn = false;
}

std::string RateText(double seconds, std::int64_t items, const std::string& what) {
  char text[96];
  std::snprintf(text, sizeof text, "%.1f s, %.0f %s/s", seconds, seconds > 0 ? items / seconds : 0.0, what.c_str());
  return text;
}

}  // namespace rovena::cli
