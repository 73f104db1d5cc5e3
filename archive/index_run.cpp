#include "archive/index_run.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

#include "archive/recording_scan.h"
#include "core/text_encoding.h"

namespace rovena::archive {
namespace {

namespace fs = std::filesystem;

struct Work {
  std::string path;
  bool known = false;  // an older version is in the archive
  std::optional<ScanResult> result;
};

// A folder the walk would pass over in silence: the user must hear that part of the tree
// was not looked at.
bool ReportUnreadableFolder(const std::string& folder, IndexSummary& summary) {
  if (::access(folder.c_str(), R_OK | X_OK) == 0) return false;
  summary.failed.emplace_back(folder, std::string("cannot read the folder: ") + std::strerror(errno));
  return true;
}

// Regular files at or under each path, sorted, each once; paths that do not exist are skipped.
std::vector<std::string> FilesUnder(const std::vector<std::string>& paths, IndexSummary& summary) {
  std::vector<std::string> files;
  for (const std::string& given : paths) {
    const std::string root = ArchivePath(given);
    std::error_code error;
    const fs::file_status status = fs::status(root, error);
    if (fs::is_regular_file(status)) {
      files.push_back(root);
    } else if (fs::is_directory(status)) {
      if (ReportUnreadableFolder(root, summary)) continue;
      for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error), end;
           !error && it != end; it.increment(error)) {
        std::error_code gone;
        if (it->is_regular_file(gone))
          files.push_back(it->path().string());
        else if (it->is_directory(gone) && !it->is_symlink(gone))
          ReportUnreadableFolder(it->path().string(), summary);
      }
      if (error) summary.failed.emplace_back(root, "cannot walk the folder: " + error.message());
    } else {
      summary.failed.emplace_back(given, error ? error.message() : "neither a file nor a folder");
    }
  }
  std::sort(files.begin(), files.end());
  files.erase(std::unique(files.begin(), files.end()), files.end());
  return files;
}

ScanResult ScanTwiceIfChanging(const std::string& path) {
  ScanResult result = ScanRecording(path);
  if (result.outcome == ScanOutcome::kChanging) result = ScanRecording(path);
  return result;
}

// Reads the queued files on `jobs` threads; Next hands out results in queue order.
class ParallelScan {
 public:
  ParallelScan(std::vector<Work>& work, int jobs) : work_(work), ahead_(2 * std::max(1, jobs) + 2) {
    for (int i = 0; i < std::max(1, jobs); ++i) threads_.emplace_back([this] { Run(); });
  }
  ~ParallelScan() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
      ready_.notify_all();
    }
    for (std::thread& t : threads_) t.join();
  }
  // The result of file `index`; the files before it must have been taken already.
  Work& Wait(std::size_t index) {
    std::unique_lock lock(mutex_);
    taken_ = index;
    ready_.notify_all();
    ready_.wait(lock, [&] { return work_[index].result.has_value(); });
    return work_[index];
  }

 private:
  void Run() {
    for (std::size_t i; !stop_ && (i = next_++) < work_.size();) {
      {
        // Readers stay a few files ahead of the writer, so long runs do not pile up fixes.
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return stop_ || i < taken_ + ahead_; });
      }
      ScanResult result = ScanTwiceIfChanging(work_[i].path);
      std::lock_guard lock(mutex_);
      work_[i].result = std::move(result);
      ready_.notify_all();
    }
  }

  std::vector<Work>& work_;
  const std::size_t ahead_;
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> stop_{false};
  std::size_t taken_ = 0;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::vector<std::thread> threads_;
};

void Record(Archive& archive, Work& work, IndexSummary& summary) {
  ScanResult& result = *work.result;
  if (result.outcome != ScanOutcome::kScanned) {
    auto& list = result.outcome == ScanOutcome::kNotRecording ? summary.skipped : summary.failed;
    list.emplace_back(work.path, result.reason);
    return;
  }
  try {
    archive.Store(result.entry);
  } catch (const ArchiveError& e) {
    throw ArchiveError(NameText(work.path) + ": " + e.what());  // the run stops; the user learns where
  }
  ++(work.known ? summary.updated : summary.added);
  summary.pictures += result.entry.info.pictures;
  summary.fixes += static_cast<std::int64_t>(result.entry.fixes.size());
  summary.bytesRead += result.entry.info.size;
  if (result.stoppedAt)
    summary.warnings.push_back(NameText(work.path) + ": a damaged stretch at byte " + std::to_string(*result.stoppedAt) +
                               " ends the pictures stored");
  result.entry.fixes = {};  // done with; frees the memory of long recordings early
}

void Prune(Archive& archive, const std::vector<std::string>& paths, IndexSummary& summary) {
  std::vector<std::string> roots;
  for (const std::string& p : paths) roots.push_back(ArchivePath(p));
  for (const RecordingInfo& info : archive.Recordings()) {
    const bool inside = std::any_of(roots.begin(), roots.end(), [&](const std::string& r) { return IsUnder(info.path, r); });
    std::error_code error;
    if (inside && !fs::exists(info.path, error) && !error) {
      archive.Remove(info.path);
      ++summary.removed;
    }
  }
}

}  // namespace

bool IsUnder(const std::string& path, const std::string& root) {
  if (root == "/") return true;
  return path == root || (path.size() > root.size() && path.compare(0, root.size(), root) == 0 && path[root.size()] == '/');
}

std::string ArchivePath(const std::string& path) {
  std::error_code error;
  std::string normal = fs::absolute(path, error).lexically_normal().string();
  while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  return normal;
}

IndexSummary IndexRecordings(Archive& archive, const IndexOptions& options) {
  const auto start = std::chrono::steady_clock::now();
  IndexSummary summary;
  const std::vector<std::string> files = FilesUnder(options.paths, summary);
  std::vector<Work> work;
  for (const std::string& path : files) {
    std::string error;
    const std::optional<FileStamp> stamp = StampOf(path, error);
    if (!stamp) {
      summary.failed.emplace_back(path, error);
      continue;
    }
    const std::optional<RecordingInfo> stored = archive.Lookup(path);
    if (stored && stored->size == stamp->size && stored->mtimeNs == stamp->mtimeNs) {
      ++summary.unchanged;
      continue;
    }
    work.push_back({path, stored.has_value(), std::nullopt});
  }
  IndexProgress progress{files.size() - work.size(), files.size(), 0};
  {
    ParallelScan scan(work, options.jobs);
    for (std::size_t i = 0; i < work.size(); ++i) {
      Record(archive, scan.Wait(i), summary);
      ++progress.done;
      progress.bytesRead = summary.bytesRead;
      if (options.progress) options.progress(progress);
    }
  }
  if (options.prune) Prune(archive, options.paths, summary);
  summary.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return summary;
}

}  // namespace rovena::archive
