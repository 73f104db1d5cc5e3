#include "core/atomic_file.h"

#include "core/output_guard.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace rovena {
namespace {

constexpr std::size_t kBufferSize = 1 << 16;

std::string ErrnoText(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

// A symbolic link as target means "write the file it points to"; replacing the link itself
// would silently turn it into a plain file.
std::string ResolveTarget(const std::string& target) {
  std::error_code ec;
  if (!std::filesystem::is_symlink(target, ec)) return target;
  const auto resolved = std::filesystem::weakly_canonical(target, ec);
  return ec ? target : resolved.string();
}

// New files get the usual permissions (0666 less the umask); a replaced file keeps its own.
mode_t PermissionsFor(const std::string& target) {
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) return st.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// The hidden temporary name ".NAME.XXXXXX", with NAME shortened when needed so that the
// whole name fits the folder's limit (a 255-byte target name must still be writable).
std::string TemporaryPattern(const std::filesystem::path& target) {
  const std::filesystem::path folder = target.parent_path();
  const long limit = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
  const std::size_t nameMax = limit > 16 ? static_cast<std::size_t>(limit) : 255;
  std::string name = target.filename().string();
  const std::size_t room = nameMax - std::string(". .XXXXXX").size() + 1;
  if (name.size() > room) name.resize(room);
  return (folder / ("." + name + ".XXXXXX")).string();
}

void SyncFolderOf(const std::string& path) {
  const std::string folder = std::filesystem::path(path).parent_path().string();
  const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;
  ::fsync(dir);  // best effort: the rename has happened either way
  ::close(dir);
}

}  // namespace

AtomicFileWriter::~AtomicFileWriter() { Abandon(); }

std::string AtomicFileWriter::Open(const std::string& target) {
  Abandon();
  error_.clear();
  if (target.empty()) return error_ = "Brak nazwy pliku";
  target_ = ResolveTarget(target);
  if (const auto input = OpenInputAt(target_)) return error_ = RefusalText(target, *input);
  std::string pattern = TemporaryPattern(target_);
  fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd_ < 0) return error_ = ErrnoText(target, errno);
  temp_ = pattern;
  ListTemporary(temp_);
  if (::fchmod(fd_, PermissionsFor(target_)) != 0) {
    error_ = ErrnoText(target, errno);
    Abandon();
    return error_;
  }
  buffer_.reserve(kBufferSize);
  return {};
}

bool AtomicFileWriter::Flush() {
  std::size_t done = 0;
  while (done < buffer_.size()) {
    const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = ErrnoText(target_, n < 0 ? errno : EIO);
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  buffer_.clear();
  return true;
}

bool AtomicFileWriter::Write(const std::uint8_t* data, std::size_t size) {
  if (fd_ < 0 || !error_.empty()) return false;
  while (size > 0) {
    const std::size_t room = kBufferSize - buffer_.size();
    const std::size_t chunk = size < room ? size : room;
    buffer_.insert(buffer_.end(), data, data + chunk);
    data += chunk;
    size -= chunk;
    if (buffer_.size() == kBufferSize && !Flush()) return false;
  }
  return true;
}

bool AtomicFileWriter::Put(std::uint8_t byte) { return Write(&byte, 1); }

std::string AtomicFileWriter::Commit() {
  if (fd_ < 0 && error_.empty()) error_ = "Plik nie został otwarty do zapisu";
  if (error_.empty()) Flush();
  if (error_.empty() && ::fsync(fd_) != 0) error_ = ErrnoText(target_, errno);
  if (error_.empty()) {
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) error_ = ErrnoText(target_, errno);
  }
  // Checked again at the last moment: an input may have been opened, or renamed to the
  // target's name, while the output was being written.
  if (error_.empty())
    if (const auto input = OpenInputAt(target_)) error_ = RefusalText(target_, *input);
  if (error_.empty() && ::rename(temp_.c_str(), target_.c_str()) != 0)
    error_ = ErrnoText(target_, errno);
  if (!error_.empty()) {
    const std::string error = error_;
    Abandon();
    return error;
  }
  UnlistTemporary(temp_);
  temp_.clear();
  SyncFolderOf(target_);
  return {};
}

void AtomicFileWriter::Abandon() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) {
    ::unlink(temp_.c_str());
    UnlistTemporary(temp_);
  }
  temp_.clear();
  buffer_.clear();
}

std::string WriteFileAtomically(const std::string& target, std::span<const std::uint8_t> bytes) {
  AtomicFileWriter writer;
  if (std::string error = writer.Open(target); !error.empty()) return error;
  writer.Write(bytes);
  return writer.Commit();
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace rovena
