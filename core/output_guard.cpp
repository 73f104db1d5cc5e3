#include "core/output_guard.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

namespace rovena {
namespace {

struct OpenInput {
  int fd;
  std::string path;
};

std::mutex inputsMutex;
std::vector<OpenInput>& Inputs() {
  static std::vector<OpenInput> inputs;
  return inputs;
}

// Fixed slots, so the signal handler reads them without taking a lock or allocating.
constexpr int kTemporarySlots = 64;
constexpr std::size_t kTemporaryPathMax = 4096;
char temporaryPaths[kTemporarySlots][kTemporaryPathMax];
std::atomic<bool> temporaryUsed[kTemporarySlots];
std::mutex temporariesMutex;

void RemoveTemporariesAndDie(int signal) {
  for (int i = 0; i < kTemporarySlots; ++i)
    if (temporaryUsed[i].load(std::memory_order_acquire)) ::unlink(temporaryPaths[i]);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

}  // namespace

void GuardedInput::Register(int fd, std::string path) {
  Unregister();
  std::lock_guard lock(inputsMutex);
  Inputs().push_back({fd, std::move(path)});
  fd_ = fd;
}

void GuardedInput::Unregister() {
  if (fd_ < 0) return;
  std::lock_guard lock(inputsMutex);
  auto& inputs = Inputs();
  for (auto it = inputs.begin(); it != inputs.end(); ++it)
    if (it->fd == fd_) {
      inputs.erase(it);
      break;
    }
  fd_ = -1;
}

std::optional<std::string> OpenInputAt(const std::string& target) {
  struct stat wanted {};
  if (::stat(target.c_str(), &wanted) != 0) return std::nullopt;
  std::lock_guard lock(inputsMutex);
  for (const OpenInput& input : Inputs()) {
    struct stat held {};
    if (::fstat(input.fd, &held) == 0 && held.st_dev == wanted.st_dev && held.st_ino == wanted.st_ino)
      return input.path;
  }
  return std::nullopt;
}

std::string RefusalText(const std::string& target, const std::string& input) {
  return target + ": refusing to write over " + input + ", which is being read";
}

void ListTemporary(const std::string& path) {
  if (path.size() >= kTemporaryPathMax) return;
  std::lock_guard lock(temporariesMutex);
  for (int i = 0; i < kTemporarySlots; ++i) {
    if (temporaryUsed[i].load(std::memory_order_relaxed)) continue;
    std::memcpy(temporaryPaths[i], path.c_str(), path.size() + 1);
    temporaryUsed[i].store(true, std::memory_order_release);
    return;
  }
}

void UnlistTemporary(const std::string& path) {
  std::lock_guard lock(temporariesMutex);
  for (int i = 0; i < kTemporarySlots; ++i)
    if (temporaryUsed[i].load(std::memory_order_relaxed) && path == temporaryPaths[i]) {
      temporaryUsed[i].store(false, std::memory_order_release);
      return;
    }
}

void RemoveTemporariesOnSignals() {
  struct sigaction action {};
  action.sa_handler = RemoveTemporariesAndDie;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

}  // namespace rovena
