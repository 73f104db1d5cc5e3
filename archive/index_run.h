// One index run: find the files under the paths given, read the new and changed ones in
// parallel, and store each in the archive in a transaction of its own.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive.h"

namespace rovena::archive {

struct IndexProgress {
  std::size_t done = 0, total = 0;  // files looked at
  std::int64_t bytesRead = 0;
};

struct IndexOptions {
  std::vector<std::string> paths;  // files and folders (walked recursively)
  int jobs = 1;                    // files read at once
  bool prune = false;              // remove entries under `paths` whose file is gone
  std::function<void(const IndexProgress&)> progress;  // after each file, on the caller's thread
};

struct IndexSummary {
  int added = 0, updated = 0, unchanged = 0, removed = 0;
  std::int64_t pictures = 0, fixes = 0;  // of the recordings read in this run
  std::int64_t bytesRead = 0;            // sizes of the files read
  double seconds = 0;
  // Path and reason: files that are not recordings, and files or paths that could not be read.
  std::vector<std::pair<std::string, std::string>> skipped, failed;
  std::vector<std::string> warnings;  // recordings stored only in part (a damaged stretch)
};

// Throws ArchiveError when the archive fails; everything stored before then stays.
IndexSummary IndexRecordings(Archive& archive, const IndexOptions& options);

// True when `path` is `root` or lies inside it (both absolute, without trailing slash).
bool IsUnder(const std::string& path, const std::string& root);

// The absolute, normalised form under which a path is stored.
std::string ArchivePath(const std::string& path);

}  // namespace rovena::archive
