// Writing files so that a reader never sees half of one: the bytes go to a temporary file in
// the target's folder, which is flushed to disk and then renamed over the target. On any
// failure the temporary file is removed and an existing target stays as it was.
//
// What may be written where:
//   - an input of the running operation (output_guard.h) is never written, by any name;
//   - an existing regular file is replaced only with IfExists::Replace (the command line's
//     --force, the window's save dialog that asked);
//   - a character device or a FIFO is written into directly, as other tools do (/dev/null, a
//     terminal, a pipe), never replaced by a file;
//   - a folder, a socket or a block device is refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/output_guard.h"

namespace rovena {

// Whether a write may replace a regular file already at its target.
enum class IfExists { Refuse, Replace };

class AtomicFileWriter {
 public:
  AtomicFileWriter() = default;
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;
  // An uncommitted file is abandoned: the temporary file is removed.
  ~AtomicFileWriter();

  // Creates the temporary file beside `target` (a symbolic link as target is followed, so
  // the file it points to is replaced), or opens a device or FIFO. Returns an error text,
  // empty on success.
  std::string Open(const std::string& target, IfExists ifExists);
  // Buffered; returns false once a write has failed (Commit then reports why).
  bool Write(const std::uint8_t* data, std::size_t size);
  bool Write(std::span<const std::uint8_t> bytes) { return Write(bytes.data(), bytes.size()); }
  bool Put(std::uint8_t byte);
  // Writes out what is buffered, so that the temporary file can be read back before Commit
  // (for its checksum). False once a write has failed.
  bool Flush();
  // Flushes, syncs and renames over the target. Returns an error text, empty on success.
  std::string Commit();
  // Removes the temporary file without touching the target.
  void Abandon();
  // The file being written while open, for a library that must write (and re-read) the
  // file itself by name instead of through Write; Commit then syncs and renames what it
  // wrote. A device or FIFO is its own target.
  const std::string& TemporaryPath() const { return direct_ ? target_ : temp_; }
  // True when the target is a device or FIFO written into directly: nothing to read back.
  bool WritesDirectly() const { return direct_; }

 private:
  friend std::string CommitTogether(std::span<AtomicFileWriter* const> files);
  std::string OpenDirectly(const std::string& target, unsigned mode);
  std::string Finish();
  void Settle();

  int fd_ = -1;
  std::string shown_;   // the target as given, for messages
  std::string target_;  // where the file lands, links followed
  std::string temp_;
  std::string error_;
  IfExists ifExists_ = IfExists::Refuse;
  bool direct_ = false;
  GuardedOutput output_;              // the target is an input of every other writer meanwhile
  std::vector<std::uint8_t> buffer_;  // pending bytes, flushed when full
};

// Commits files that belong together (a clip and its sidecars) so that either all of them
// are in place or none: every file is completed and synced first, then each is renamed into
// place, an existing one kept aside until the whole set stands, so a failing rename puts the
// earlier ones back. A signal waits until the renames are done. Returns an error text, empty
// on success; on failure every file of the set is abandoned.
std::string CommitTogether(std::span<AtomicFileWriter* const> files);

// One-shot form. Returns an error text, empty on success.
std::string WriteFileAtomically(const std::string& target, std::span<const std::uint8_t> bytes, IfExists ifExists);

// True when both names lead to the same existing file (same device and inode), so that hard
// and symbolic links and other spellings of one file are recognised.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace rovena
