#pragma once
// A fresh folder under the system's temporary folder for one test, removed with everything
// in it when the test is over.
#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace rovena::test {

class ScratchDir {
 public:
  explicit ScratchDir(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "_XXXXXX")).string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a folder like " + pattern);
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace rovena::test
