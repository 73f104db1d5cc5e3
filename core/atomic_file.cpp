#include "core/atomic_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace rovena {
namespace {

constexpr std::size_t kBufferSize = 1 << 16;

std::string ErrnoText(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

// New files get the usual permissions (0666 less the umask); a replaced file keeps its own.
mode_t PermissionsFor(const std::string& target) {
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) return st.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISBLK(mode)) return "a block device";
  return "not a regular file";
}

void SyncFolderOf(const std::string& path) {
  const std::string folder = std::filesystem::path(path).parent_path().string();
  const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;
  ::fsync(dir);  // best effort: the rename has happened either way
  ::close(dir);
}

// The rename that puts a file in place. Without leave to replace, a file that appeared at the
// target meanwhile is not replaced either.
int RenameIntoPlace(const char* from, const char* to, IfExists ifExists) {
  if (ifExists == IfExists::Replace) return ::rename(from, to);
  if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  // A file system without it: a hard link is made only where no file is.
  if (::link(from, to) != 0) return -1;
  ::unlink(from);
  return 0;
}

// Keeps the file at `target`, if any, at `backup` until the set stands: 1 when kept, 0 when
// there was none, -1 on failure (also when something else than a file took its place).
int KeepOld(const char* target, const char* backup) {
  struct stat st {};
  if (::lstat(target, &st) != 0) return errno == ENOENT ? 0 : -1;
  if (!S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EEXIST;
    return -1;
  }
  if (::link(target, backup) == 0) return 1;
  // A file system without hard links: moved aside instead, missing for a moment.
  return ::rename(target, backup) == 0 ? 1 : -1;
}

// One file of a set on its way into place.
struct Move {
  const char* temp;
  const char* target;
  IfExists ifExists;
  bool direct;
  std::string backup;  // empty when the target need not be kept
  bool keptOld = false;
};

// Renames every file into place, or none: returns the index of the move that failed (its
// errno in `error`), or moves.size(). Only system calls, no allocation: a signal handler may
// be waiting for the section.
std::size_t MoveAll(std::vector<Move>& moves, int& error) {
  std::size_t done = 0;
  for (; done < moves.size(); ++done) {
    Move& move = moves[done];
    if (move.direct) continue;
    const int kept = move.backup.empty() ? 0 : KeepOld(move.target, move.backup.c_str());
    move.keptOld = kept == 1;
    if (kept < 0 || RenameIntoPlace(move.temp, move.target, move.ifExists) != 0) {
      error = errno;
      break;
    }
  }
  if (done == moves.size()) {
    for (const Move& move : moves)
      if (move.keptOld) ::unlink(move.backup.c_str());
    return done;
  }
  if (moves[done].keptOld && ::rename(moves[done].backup.c_str(), moves[done].target) != 0)
    ::unlink(moves[done].backup.c_str());
  for (std::size_t i = done; i-- > 0;) {
    const Move& move = moves[i];
    if (move.keptOld)
      ::rename(move.backup.c_str(), move.target);
    else if (!move.direct)
      ::unlink(move.target);
  }
  return done;
}

}  // namespace

AtomicFileWriter::~AtomicFileWriter() { Abandon(); }

std::string AtomicFileWriter::Open(const std::string& target, IfExists ifExists) {
  Abandon();
  error_.clear();
  if (target.empty()) return error_ = ErrnoText(target, ENOENT);  // as open("") would say
  shown_ = target;
  target_ = ResolvedPath(target);
  ifExists_ = ifExists;
  if (const auto input = InputAt(target)) return error_ = RefusalText(target, *input);
  struct stat st {};
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) return OpenDirectly(target, st.st_mode);
  if (exists && ifExists == IfExists::Refuse) return error_ = target + ": exists already; --force replaces it";
  output_.Begin(target_);
  fd_ = CreateTemporaryFor(target_, temp_);
  if (fd_ < 0) error_ = ErrnoText(target, errno);
  if (error_.empty() && ::fchmod(fd_, PermissionsFor(target_)) != 0) error_ = ErrnoText(target, errno);
  if (!error_.empty()) {
    const std::string error = error_;
    Abandon();
    return error;
  }
  buffer_.reserve(kBufferSize);
  return {};
}

// A device or FIFO is written into as other tools do; anything else that is not a regular
// file is refused, since replacing it by a file would lose it.
std::string AtomicFileWriter::OpenDirectly(const std::string& target, unsigned mode) {
  if (!S_ISCHR(mode) && !S_ISFIFO(mode))
    return error_ = target + ": is " + KindOf(mode) + "; it is not replaced by a file";
  fd_ = ::open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) return error_ = ErrnoText(target, errno);
  direct_ = true;
  target_ = target;
  buffer_.reserve(kBufferSize);
  return {};
}

bool AtomicFileWriter::Flush() {
  std::size_t done = 0;
  while (done < buffer_.size()) {
    const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = ErrnoText(shown_, n < 0 ? errno : EIO);
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

// Everything written and on disk, the descriptor closed, the guard asked once more: ready to
// be renamed into place.
std::string AtomicFileWriter::Finish() {
  if (fd_ < 0 && error_.empty()) error_ = ErrnoText(target_, EBADF);  // Commit without a successful Open
  if (error_.empty()) Flush();
  // A device or FIFO has nothing to sync (and fsync fails on most).
  if (error_.empty() && !direct_ && ::fsync(fd_) != 0) error_ = ErrnoText(shown_, errno);
  if (error_.empty()) {
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) error_ = ErrnoText(shown_, errno);
  }
  // Checked again at the last moment: an input may have been opened, or renamed to the
  // target's name, while the output was being written.
  if (error_.empty() && !direct_)
    if (const auto input = InputAt(target_, &output_)) error_ = RefusalText(shown_, *input);
  return error_;
}

// In place: no longer a temporary file, and an output of the run from now on.
void AtomicFileWriter::Settle() {
  if (!direct_) {
    UnlistTemporary(temp_);
    output_.Written(target_);
    SyncFolderOf(target_);
  }
  temp_.clear();
  direct_ = false;
}

std::string AtomicFileWriter::Commit() {
  AtomicFileWriter* const self[] = {this};
  return CommitTogether(self);
}

void AtomicFileWriter::Abandon() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) {
    ::unlink(temp_.c_str());
    UnlistTemporary(temp_);
  }
  temp_.clear();
  direct_ = false;
  buffer_.clear();
  output_.Drop();
}

std::string CommitTogether(std::span<AtomicFileWriter* const> files) {
  std::string error;
  for (AtomicFileWriter* file : files)
    if (error.empty()) error = file->Finish();
  std::vector<Move> moves;
  // A single rename replaces atomically; a set keeps what it replaces until it stands.
  const bool keepOld = files.size() > 1;
  for (AtomicFileWriter* file : files) {
    const bool replaces = keepOld && file->ifExists_ == IfExists::Replace && !file->direct_;
    moves.push_back({file->temp_.c_str(), file->target_.c_str(), file->ifExists_, file->direct_,
                     replaces ? HiddenNameFor(file->target_) : std::string()});
  }
  if (error.empty()) {
    int failure = 0;
    std::size_t failed = moves.size();
    {
      const SignalSafeSection section;
      if (section.Entered()) {
        failed = MoveAll(moves, failure);
      } else {
        failed = 0;
        failure = ECANCELED;
      }
    }
    if (failed < moves.size()) error = ErrnoText(files[failed]->shown_, failure);
  }
  for (AtomicFileWriter* file : files) {
    if (error.empty())
      file->Settle();
    else
      file->Abandon();
  }
  return error;
}

std::string WriteFileAtomically(const std::string& target, std::span<const std::uint8_t> bytes, IfExists ifExists) {
  AtomicFileWriter writer;
  if (std::string error = writer.Open(target, ifExists); !error.empty()) return error;
  writer.Write(bytes);
  return writer.Commit();
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace rovena
