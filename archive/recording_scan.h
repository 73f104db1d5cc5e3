// Reading a recording for the archive: the SHA-256 of the whole file and the GPS sentence of
// every picture, counted as PictureWalker counts them. Nothing is decoded, so the
// cost is reading the bytes once for the hash and once for the searches (both from the page
// cache after the first).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "archive/archive.h"

namespace rovena::archive {

// Size and modification time: what tells a changed file from an unchanged one without reading.
struct FileStamp {
  std::int64_t size = 0;
  std::int64_t mtimeNs = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileStamp&) const = default;
};
// Nothing when the file cannot be examined; `error` then says why.
std::optional<FileStamp> StampOf(const std::string& path, std::string& error);

enum class ScanOutcome {
  kScanned,       // entry is filled
  kNotRecording,  // reason says why
  kUnreadable,    // reason says why
  kChanging,      // the file changed while it was read
};

struct ScanResult {
  ScanOutcome outcome = ScanOutcome::kScanned;
  std::string reason;
  RecordingEntry entry;
  // When the walk could not pass a damaged stretch: where it stopped (see WalkOutcome::at).
  // The pictures before it are stored.
  std::optional<std::int64_t> stoppedAt;
};

// Reads `path` (absolute) for the archive. A file whose size or modification time differs
// after reading from before is reported as kChanging.
ScanResult ScanRecording(const std::string& path);

}  // namespace rovena::archive
