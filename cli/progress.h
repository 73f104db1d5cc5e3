// The progress line of a long command: on stderr, only when stderr is a terminal and --quiet
// was not given, redrawn at most ten times a second and wiped when the work is done.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace rovena::cli {

class Progress {
 public:
  // `total` is in the units Update counts (bytes of the input, say); `items` names what the
  // second count counts ("pictures", "files"). `quiet` is the --quiet flag.
  Progress(bool quiet, std::int64_t total, std::string items);
  ~Progress() { Finish(); }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void Update(std::int64_t done, std::int64_t itemsDone);
  void Finish();
  // Seconds since the work began, for the summary line.
  double Elapsed() const;

 private:
  using Clock = std::chrono::steady_clock;
  bool shown_;
  std::int64_t total_;
  std::string items_;
  Clock::time_point start_ = Clock::now();
  Clock::time_point lastDraw_{};
};

// Wipes a drawn progress line, so a message printed next starts at the left margin.
void ClearProgressLine();

// "1.2 s, 300 pictures/s": how long the work took and its rate, for summary lines.
std::string RateText(double seconds, std::int64_t items, const std::string& what);

}  // namespace rovena::cli
