#include "core/snapshot_name.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace rovena {

std::string SuggestedSnapshotName(std::string_view recordingPath, std::string_view utc) {
  const std::filesystem::path recording{std::string(recordingPath)};
  std::string name = recording.stem().string();
  // "YYYY-MM-DDTHH:MM:SS": the date, then the time with dashes, which every file system takes.
  if (utc.size() >= 19 && utc[10] == 'T') {
    std::string time(utc.substr(11, 8));
    std::replace(time.begin(), time.end(), ':', '-');
    name += "_" + std::string(utc.substr(0, 10)) + "_" + time;
  }
  return (recording.parent_path() / (name + ".bmp")).string();
}

std::string SnapshotFormat(std::string_view name) {
  std::string extension = std::filesystem::path{std::string(name)}.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension == ".png") return "png";
  if (extension == ".jpg" || extension == ".jpeg") return "jpg";
  return "bmp";
}

}  // namespace rovena
