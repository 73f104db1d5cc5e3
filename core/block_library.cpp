#include "core/block_library.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <utility>

namespace rovena {
namespace {

std::string ProgramFolder() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return {};
  const std::string exe(path, static_cast<size_t>(length));
  const size_t slash = exe.rfind('/');
  return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

std::vector<std::string> DefaultCandidates() {
  std::vector<std::string> candidates;
  const std::string folder = ProgramFolder();
  if (!folder.empty()) candidates.push_back(folder + "/" + BlockLibrary::FileName());
  candidates.push_back(BlockLibrary::FileName());  // the system's library search path
  return candidates;
}

template <class Function>
bool BindOne(void* handle, const char* name, Function& target) {
  target = reinterpret_cast<Function>(dlsym(handle, name));
  return target != nullptr;
}

}  // namespace

BlockLibrary& BlockLibrary::Instance() {
  static BlockLibrary instance(DefaultCandidates());
  return instance;
}

BlockLibrary::BlockLibrary(std::vector<std::string> candidatePaths) : candidates_(std::move(candidatePaths)) {}

BlockLibrary::~BlockLibrary() {
  if (handle_) dlclose(handle_);
}

const char* BlockLibrary::FileName() { return "libKorvelMpeg.so"; }

bool BlockLibrary::Ready() {
  if (!tried_) {
    tried_ = true;
    ready_ = Bind();
  }
  return ready_;
}

bool BlockLibrary::Bind() {
  for (const std::string& path : candidates_) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_) break;
  }
  if (!handle_) {
    error_ = std::string("The picture library ") + FileName() +
             " was found neither beside the program nor on the library path, so pictures cannot be shown.";
    return false;
  }
  return BindExports();
}

bool BlockLibrary::BindExports() {
  const std::pair<const char*, bool> exports[] = {
      {"IZZQ", BindOne(handle_, "IZZQ", IZZQ)},
      {"Idct", BindOne(handle_, "Idct", Idct)},
      {"CopyBlockCifY", BindOne(handle_, "CopyBlockCifY", CopyBlockCifY)},
      {"CopyBlockCifC", BindOne(handle_, "CopyBlockCifC", CopyBlockCifC)},
      {"CopyBlockVgaY", BindOne(handle_, "CopyBlockVgaY", CopyBlockVgaY)},
      {"CopyBlockVgaC", BindOne(handle_, "CopyBlockVgaC", CopyBlockVgaC)},
      {"YUVtoRGB", BindOne(handle_, "YUVtoRGB", YUVtoRGB)},
  };
  for (const auto& [name, bound] : exports) {
    if (bound) continue;
    error_ = std::string("The picture library ") + FileName() + " has no function " + name +
             ", so pictures cannot be shown.";
    Unbind();
    return false;
  }
  return true;
}

void BlockLibrary::Unbind() {
  IZZQ = nullptr;
  Idct = nullptr;
  CopyBlockCifY = CopyBlockCifC = CopyBlockVgaY = CopyBlockVgaC = nullptr;
  YUVtoRGB = nullptr;
  dlclose(handle_);
  handle_ = nullptr;
}

}  // namespace rovena
