#pragma once
// A one-hour trip for the benchmarks: 60 recordings of 60 pictures of 640 x 480, one fix a
// second, each picture with 40 KB of coded data without start codes (the size of a
// recorder's VGA pictures). Written once into a temporary folder (pictures coded once and
// shared), removed at exit.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tools/recording_writer.h"

namespace rovena::bench {

class OneHourTrip {
 public:
  static constexpr int kRecordings = 60;
  static constexpr int kPicturesEach = 60;

  // `sentence` gives the sentence of the picture taken `second` seconds after midnight.
  OneHourTrip(const std::string& name, const std::function<std::string(int second)>& sentence)
      : folder_(std::filesystem::temp_directory_path() / (name + "_" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(folder_);
    std::mt19937 random(7);
    std::vector<std::uint8_t> coded(40000);
    for (std::uint8_t& b : coded) b = static_cast<std::uint8_t>(random() % 255 + 1);
    for (int r = 0; r < kRecordings; ++r) {
      RecordingWriter writer(640, 480);
      for (int i = 0; i < kPicturesEach; ++i) writer.AddCodedPicture(coded, sentence(8 * 3600 + r * kPicturesEach + i));
      paths_.push_back((folder_ / (std::to_string(100000 + r) + ".m1v")).string());
      if (!writer.WriteFile(paths_.back())) std::abort();
    }
  }
  ~OneHourTrip() { std::filesystem::remove_all(folder_); }
  OneHourTrip(const OneHourTrip&) = delete;
  OneHourTrip& operator=(const OneHourTrip&) = delete;

  std::string Folder() const { return folder_.string(); }
  const std::vector<std::string>& Paths() const { return paths_; }

 private:
  std::filesystem::path folder_;
  std::vector<std::string> paths_;
};

}  // namespace rovena::bench
