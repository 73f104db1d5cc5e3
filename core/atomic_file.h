// Writing files so that a reader never sees half of one: the bytes go to a temporary file in
// the target's folder, which is flushed to disk and then renamed over the target. On any
// failure the temporary file is removed and an existing target stays as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace rovena {

class AtomicFileWriter {
 public:
  AtomicFileWriter() = default;
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;
  // An uncommitted file is abandoned: the temporary file is removed.
  ~AtomicFileWriter();

  // Creates the temporary file beside `target` (a symbolic link as target is followed, so
  // the file it points to is replaced). Returns an error text, empty on success.
  std::string Open(const std::string& target);
  // Buffered; returns false once a write has failed (Commit then reports why).
  bool Write(const std::uint8_t* data, std::size_t size);
  bool Write(std::span<const std::uint8_t> bytes) { return Write(bytes.data(), bytes.size()); }
  bool Put(std::uint8_t byte);
  // Flushes, syncs and renames over the target. Returns an error text, empty on success.
  std::string Commit();
  // Removes the temporary file without touching the target.
  void Abandon();
  // The temporary file while open, for a library that must write (and re-read) the file
  // itself by name instead of through Write; Commit then syncs and renames what it wrote.
  const std::string& TemporaryPath() const { return temp_; }

 private:
  bool Flush();

  int fd_ = -1;
  std::string target_;
  std::string temp_;
  std::string error_;
  std::vector<std::uint8_t> buffer_;  // pending bytes, flushed when full
};

// One-shot form. Returns an error text, empty on success.
std::string WriteFileAtomically(const std::string& target, std::span<const std::uint8_t> bytes);

// True when both names lead to the same existing file (same device and inode), so that hard
// and symbolic links and other spellings of one file are recognised.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace rovena
