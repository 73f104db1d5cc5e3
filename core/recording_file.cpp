#include "core/recording_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace rovena {

namespace {

std::string DescribeErrno(int error) { return std::strerror(error); }

}  // namespace

RecordingFile::RecordingFile() : buffer_(static_cast<size_t>(kBlockSize)) {}

RecordingFile::~RecordingFile() { Close(); }

int OpenRegularFile(const std::string& path, std::string& errorText) {
  // Look before opening: opening a FIFO or some devices could block or have side effects.
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    errorText = DescribeErrno(errno);
    return -1;
  }
  if (S_ISDIR(info.st_mode)) {
    errorText = DescribeErrno(EISDIR);
    return -1;
  }
  if (!S_ISREG(info.st_mode)) {
    errorText = "Not a regular file";
    return -1;
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    errorText = DescribeErrno(errno);
    return -1;
  }
  // The path may have been replaced between the look and the open: check what was opened.
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    errorText = "Not a regular file";
    return -1;
  }
  return fd;
}

bool ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string& content,
                     std::string& errorText) {
  errorText.clear();
  const int fd = OpenRegularFile(path, errorText);
  if (fd < 0) return false;
  content.clear();
  char block[1 << 16];
  while (true) {
    const ssize_t got = ::read(fd, block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) errorText = DescribeErrno(errno);
    if (got <= 0) break;
    if (content.size() + static_cast<std::size_t>(got) > maxBytes) {
      errorText = DescribeErrno(EFBIG);
      break;
    }
    content.append(block, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return errorText.empty();
}

bool RecordingFile::Open(const std::string& path, std::string& errorText) {
  Close();
  errorText.clear();
  const int fd = OpenRegularFile(path, errorText);
  if (fd < 0) return false;
  struct stat info {};
  ::fstat(fd, &info);
  fd_ = fd;
  guard_.Register(fd, path);
  length_ = static_cast<int64_t>(info.st_size);
  current_ = 1;
  ioError_ = false;
  shortRead_ = false;
  return true;
}

void RecordingFile::Close() {
  guard_.Unregister();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  length_ = 0;
  current_ = 1;
  bufferStart_ = 1;
  bufferLength_ = 0;
}

int64_t RecordingFile::LengthNow() const {
  struct stat info {};
  if (fd_ < 0 || ::fstat(fd_, &info) != 0) return -1;
  return static_cast<int64_t>(info.st_size);
}

bool RecordingFile::Load(int64_t first) {
  bufferStart_ = first;
  bufferLength_ = 0;
  const int64_t wanted = std::min(kBlockSize, length_ - first + 1);
  while (bufferLength_ < wanted) {
    const ssize_t got = ::pread(fd_, buffer_.data() + bufferLength_,
                                static_cast<size_t>(wanted - bufferLength_),
                                static_cast<off_t>(first - 1 + bufferLength_));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      ioError_ = true;
      return false;
    }
    if (got == 0) {
      // The file shrank since it was opened: its missing tail reads as zeros, in the views
      // as in the single-byte reads, so the searches pass over it instead of stopping.
      std::fill(buffer_.begin() + bufferLength_, buffer_.begin() + wanted, 0);
      shortRead_ = true;
      bufferLength_ = wanted;
      break;
    }
    bufferLength_ += got;
  }
  return true;
}

uint8_t RecordingFile::ByteAtSlow(int64_t p) {
  if (fd_ < 0 || p < 1 || p > length_) return 0;
  // Moving backwards, keep p at the top of the new block so the next bytes wanted are inside.
  const int64_t first = p < bufferStart_ ? std::max<int64_t>(1, p - kBlockSize + 1) : p;
  Load(first);
  const int64_t offset = p - bufferStart_;
  return offset < bufferLength_ ? buffer_[static_cast<size_t>(offset)] : 0;
}

std::span<const uint8_t> RecordingFile::ViewForward(int64_t p, int64_t minBytes) {
  if (fd_ < 0 || p < 1 || p > length_) return {};
  const int64_t wanted = std::min(minBytes, length_ - p + 1);
  if (p < bufferStart_ || p + wanted > bufferStart_ + bufferLength_) Load(p);
  const int64_t offset = p - bufferStart_;
  if (offset < 0 || offset >= bufferLength_) return {};
  return {buffer_.data() + offset, static_cast<size_t>(bufferLength_ - offset)};
}

std::span<const uint8_t> RecordingFile::ViewBackward(int64_t p, int64_t minBytes) {
  if (fd_ < 0 || p < 1 || p > length_) return {};
  const int64_t wanted = std::min(minBytes, p);
  if (p >= bufferStart_ + bufferLength_ || p - wanted + 1 < bufferStart_)
    Load(std::max<int64_t>(1, p - kBlockSize + 1));
  const int64_t end = p - bufferStart_ + 1;  // one past the byte at p
  if (end <= 0 || end > bufferLength_) return {};
  return {buffer_.data(), static_cast<size_t>(end)};
}

}  // namespace rovena
