#include "core/output_guard.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <random>
#include <unordered_map>
#include <utility>
#include <vector>

namespace rovena {
namespace {

namespace fs = std::filesystem;

struct FileId {
  dev_t device;
  ino_t inode;
  bool operator==(const FileId&) const = default;
};

// A name in a folder, the folder known by identity, so that every spelling of it agrees.
struct Place {
  FileId folder;
  std::string name;
  bool operator==(const Place&) const = default;
};

struct FileIdHash {
  std::size_t operator()(const FileId& id) const {
    return std::hash<ino_t>()(id.inode) * 31 + std::hash<dev_t>()(id.device);
  }
};
struct PlaceHash {
  std::size_t operator()(const Place& place) const {
    return FileIdHash()(place.folder) * 31 + std::hash<std::string>()(place.name);
  }
};

std::optional<FileId> IdOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileId{st.st_dev, st.st_ino};
}

std::optional<Place> PlaceOf(const std::string& path) {
  const fs::path resolved = ResolvedPath(path);
  const auto folder = IdOf(resolved.parent_path().string());
  if (!folder || !resolved.has_filename()) return std::nullopt;
  return Place{*folder, resolved.filename().string()};
}

// The keys one file is registered under.
struct Keys {
  std::optional<FileId> id;
  std::optional<Place> place;
  std::string shown;  // the name given in messages
};

Keys KeysOf(const std::string& path) { return {IdOf(path), PlaceOf(path), path}; }

struct Entry {
  std::string shown;
  const void* owner;  // whose registration it is
};

// Every input of the process.
class Registry {
 public:
  void AddOpen(int fd, std::string path) {
    const std::lock_guard lock(mutex_);
    open_.push_back({fd, std::move(path)});
  }
  void RemoveOpen(int fd) {
    const std::lock_guard lock(mutex_);
    for (auto it = open_.begin(); it != open_.end(); ++it)
      if (it->first == fd) {
        open_.erase(it);
        return;
      }
  }
  void Add(const void* owner, const Keys& keys) {
    const std::lock_guard lock(mutex_);
    if (keys.id) byId_.emplace(*keys.id, Entry{keys.shown, owner});
    if (keys.place) byPlace_.emplace(*keys.place, Entry{keys.shown, owner});
  }
  void Remove(const void* owner, const Keys& keys) {
    const std::lock_guard lock(mutex_);
    if (keys.id) Erase(byId_, *keys.id, owner);
    if (keys.place) Erase(byPlace_, *keys.place, owner);
  }
  std::optional<std::string> Find(const std::optional<FileId>& id, const std::optional<Place>& place,
                                  const void* self) {
    const std::lock_guard lock(mutex_);
    if (id) {
      for (const auto& [fd, path] : open_) {
        struct stat held {};
        if (::fstat(fd, &held) == 0 && FileId{held.st_dev, held.st_ino} == *id) return path;
      }
      if (auto shown = Lookup(byId_, *id, self)) return shown;
    }
    if (place) return Lookup(byPlace_, *place, self);
    return std::nullopt;
  }

 private:
  template <class Map, class Key>
  static void Erase(Map& map, const Key& key, const void* owner) {
    const auto [first, last] = map.equal_range(key);
    for (auto it = first; it != last; ++it)
      if (it->second.owner == owner) {
        map.erase(it);
        return;
      }
  }
  template <class Map, class Key>
  static std::optional<std::string> Lookup(const Map& map, const Key& key, const void* self) {
    const auto [first, last] = map.equal_range(key);
    for (auto it = first; it != last; ++it)
      if (it->second.owner != self) return it->second.shown;
    return std::nullopt;
  }

  std::mutex mutex_;
  std::vector<std::pair<int, std::string>> open_;
  std::unordered_multimap<FileId, Entry, FileIdHash> byId_;
  std::unordered_multimap<Place, Entry, PlaceHash> byPlace_;
};

Registry& Inputs() {
  static Registry registry;
  return registry;
}

// The outputs written during the outermost OutputRun, all registered under one owner.
struct RunOutputs {
  std::mutex mutex;
  int depth = 0;
  std::vector<Keys> written;
};
RunOutputs& Run() {
  static RunOutputs run;
  return run;
}
const char kRunOwner = 0;

// Fixed slots, so that the signal handler reads them without taking a lock or allocating.
// Enough for every worker of the widest run with its files in flight.
constexpr int kTemporarySlots = 256;
constexpr std::size_t kTemporaryPathMax = 4096;
char temporaryPaths[kTemporarySlots][kTemporaryPathMax];
std::atomic<bool> temporaryUsed[kTemporarySlots];
std::mutex temporariesMutex;  // taken only inside a SignalSafeSection, so never by a handler's thread

// Set by the signal handler: no temporary file is begun after it.
std::atomic<bool> stopping{false};
// SignalSafeSections now open; the handler removes nothing while one is.
std::atomic<int> sectionsOpen{0};

void RemoveTemporariesAndDie(int signal) {
  stopping.store(true);
  const timespec pause{0, 1000000};
  while (sectionsOpen.load() > 0) ::nanosleep(&pause, nullptr);
  for (int i = 0; i < kTemporarySlots; ++i)
    if (temporaryUsed[i].load()) ::unlink(temporaryPaths[i]);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// A free slot now holding `path`, or -1. Inside a SignalSafeSection.
int ListTemporary(const std::string& path) {
  const std::lock_guard lock(temporariesMutex);
  for (int i = 0; i < kTemporarySlots; ++i) {
    if (temporaryUsed[i].load()) continue;
    std::memcpy(temporaryPaths[i], path.c_str(), path.size() + 1);
    temporaryUsed[i].store(true);
    return i;
  }
  return -1;
}

std::string RandomSuffix() {
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
  std::string suffix(6, ' ');
  for (char& c : suffix) c = kLetters[pick(random)];
  return suffix;
}

}  // namespace

void GuardedInput::Register(int fd, std::string path) {
  Unregister();
  Inputs().AddOpen(fd, std::move(path));
  fd_ = fd;
}

void GuardedInput::Unregister() {
  if (fd_ < 0) return;
  Inputs().RemoveOpen(fd_);
  fd_ = -1;
}

struct InputFiles::Registration {
  std::vector<Keys> files;
  ~Registration() {
    for (const Keys& keys : files) Inputs().Remove(this, keys);
  }
};

InputFiles::InputFiles(const std::vector<std::string>& paths) {
  auto registration = std::make_shared<Registration>();
  for (const std::string& path : paths) {
    registration->files.push_back(KeysOf(path));
    Inputs().Add(registration.get(), registration->files.back());
  }
  registration_ = std::move(registration);
}

struct GuardedOutput::Registration {
  Keys keys;
};

GuardedOutput::GuardedOutput() = default;
GuardedOutput::~GuardedOutput() { Drop(); }

void GuardedOutput::Begin(const std::string& target) {
  Drop();
  registration_ = std::make_unique<Registration>(Registration{KeysOf(target)});
  Inputs().Add(this, registration_->keys);
}

void GuardedOutput::Written(const std::string& target) {
  Drop();
  RunOutputs& run = Run();
  const std::lock_guard lock(run.mutex);
  if (run.depth == 0) return;
  run.written.push_back(KeysOf(target));
  Inputs().Add(&kRunOwner, run.written.back());
}

void GuardedOutput::Drop() {
  if (!registration_) return;
  Inputs().Remove(this, registration_->keys);
  registration_.reset();
}

OutputRun::OutputRun() {
  const std::lock_guard lock(Run().mutex);
  ++Run().depth;
}

OutputRun::~OutputRun() {
  RunOutputs& run = Run();
  const std::lock_guard lock(run.mutex);
  if (--run.depth > 0) return;
  for (const Keys& keys : run.written) Inputs().Remove(&kRunOwner, keys);
  run.written.clear();
}

std::optional<std::string> InputAt(const std::string& target, const GuardedOutput* self) {
  return Inputs().Find(IdOf(target), PlaceOf(target), self);
}

std::string ResolvedPath(const std::string& path) {
  std::error_code error;
  const fs::path given = fs::absolute(path, error).lexically_normal();
  fs::path resolved = given;
  // As many links as the kernel follows before it gives up (ELOOP).
  for (int links = 0; links < 40 && !error; ++links) {
    resolved = fs::weakly_canonical(resolved, error);
    std::error_code missing;
    if (error || !fs::is_symlink(resolved, missing)) break;
    const fs::path next = fs::read_symlink(resolved, error);
    resolved = resolved.parent_path() / next;
  }
  return (error ? given : resolved).string();
}

std::string RefusalText(const std::string& target, const std::string& input) {
  return target + ": refusing to write over " + input + ", which this command reads or writes";
}

std::string HiddenNameFor(const std::string& target) {
  const fs::path path(target);
  const fs::path folder = path.parent_path();
  const long limit = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
  const std::size_t nameMax = limit > 16 ? static_cast<std::size_t>(limit) : 255;
  std::string name = path.filename().string();
  const std::size_t room = nameMax - std::string("..XXXXXX").size();
  if (name.size() > room) name.resize(room);
  return (folder / ("." + name + "." + RandomSuffix())).string();
}

int CreateTemporaryFor(const std::string& target, std::string& temporary) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = HiddenNameFor(target);
    if (name.size() >= kTemporaryPathMax) {
      errno = ENAMETOOLONG;
      return -1;
    }
    int fd = -1, error = 0;
    {
      // Listed before it exists and made inside the section, so that a signal's handler
      // either waits for it or finds it listed.
      const SignalSafeSection section;
      if (!section.Entered()) {
        errno = ECANCELED;
        return -1;
      }
      const int slot = ListTemporary(name);
      if (slot < 0) {
        errno = EMFILE;
        return -1;
      }
      fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      error = errno;
      if (fd < 0) temporaryUsed[slot].store(false);
    }
    if (fd >= 0) {
      temporary = std::move(name);
      return fd;
    }
    if (error != EEXIST) {
      errno = error;
      return -1;
    }
  }
  errno = EEXIST;
  return -1;
}

void UnlistTemporary(const std::string& path) {
  const SignalSafeSection section;
  const std::lock_guard lock(temporariesMutex);
  for (int i = 0; i < kTemporarySlots; ++i)
    if (temporaryUsed[i].load() && path == temporaryPaths[i]) {
      temporaryUsed[i].store(false);
      return;
    }
}

SignalSafeSection::SignalSafeSection() {
  sigset_t block;
  sigemptyset(&block);
  sigaddset(&block, SIGINT);
  sigaddset(&block, SIGTERM);
  // Blocked on this thread, so the handler never runs on a thread inside a section.
  pthread_sigmask(SIG_BLOCK, &block, &savedMask_);
  sectionsOpen.fetch_add(1);
  entered_ = !stopping.load();
}

SignalSafeSection::~SignalSafeSection() {
  sectionsOpen.fetch_sub(1);
  pthread_sigmask(SIG_SETMASK, &savedMask_, nullptr);
}

void RemoveTemporariesOnSignals() {
  struct sigaction action {};
  action.sa_handler = RemoveTemporariesAndDie;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

}  // namespace rovena
