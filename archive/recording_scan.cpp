#include "archive/recording_scan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "core/gps_track.h"
#include "core/output_guard.h"
#include "core/picture_walker.h"
#include "digest/sha256.h"

namespace rovena::archive {
namespace {

StoredFix ToStored(const GpsFix& fix) {
  StoredFix stored;
  stored.picture = fix.picture;
  stored.position = fix.position;
  if (!fix.utc.empty()) stored.time = fix.utcSeconds;
  stored.latitude = fix.latitude;
  stored.longitude = fix.longitude;
  stored.speedKmh = fix.speedKmh;
  stored.course = fix.course;
  // ParseGprmc leaves out-of-range coordinates unset, so a valid fix always has a place.
  stored.valid = fix.valid() && fix.latitude && fix.longitude;
  return stored;
}

// The pictures' fixes, or a reason when the file is no recording or cannot be read.
ScanResult WalkPictures(const std::string& path) {
  ScanResult result;
  Recording recording;
  std::string error;
  if (!recording.Open(path, error)) return {ScanOutcome::kUnreadable, error, {}, {}};
  RecordingInfo& info = result.entry.info;
  FrameFormat format = kFormatNone;
  if (const RecordingCheck check = CheckRecording(recording, &format); check != RecordingCheck::kRecording)
    return {check == RecordingCheck::kReadError ? ScanOutcome::kUnreadable : ScanOutcome::kNotRecording,
            RecordingCheckText(check), {}, {}};
  info.format = format;
  PictureWalker walker(recording);
  while (walker.Next()) {
    if (std::optional<GpsFix> fix = ParseGprmc(walker.Sentence())) {
      fix->picture = walker.Number();
      fix->position = walker.Position();
      result.entry.fixes.push_back(ToStored(*fix));
    }
  }
  info.pictures = walker.Number();
  const WalkOutcome& outcome = walker.Outcome();
  if (outcome.end == WalkEnd::kReadError) return {ScanOutcome::kUnreadable, RecordingCheckText(RecordingCheck::kReadError), {}, {}};
  if (!outcome.ReachedEnd()) result.stoppedAt = outcome.at;
  for (const StoredFix& fix : result.entry.fixes) {
    if (!fix.time) continue;
    info.firstTime = std::min(info.firstTime.value_or(*fix.time), *fix.time);
    info.lastTime = std::max(info.lastTime.value_or(*fix.time), *fix.time);
  }
  return result;
}

}  // namespace

std::optional<FileStamp> StampOf(const std::string& path, std::string& error) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    error = std::strerror(errno);
    return std::nullopt;
  }
  if (!S_ISREG(st.st_mode)) {
    error = "not a regular file";
    return std::nullopt;
  }
  return FileStamp{st.st_size, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec, st.st_ino};
}

ScanResult ScanRecording(const std::string& path) {
  std::string error;
  const std::optional<FileStamp> before = StampOf(path, error);
  if (!before) return {ScanOutcome::kUnreadable, error, {}, {}};
  ScanResult result = WalkPictures(path);
  if (result.outcome != ScanOutcome::kScanned) return result;
  const std::optional<std::string> hash = Sha256OfFile(path, &error);
  if (!hash) return {ScanOutcome::kUnreadable, error, {}, {}};
  const std::optional<FileStamp> after = StampOf(path, error);
  if (!after || !(*after == *before)) return {ScanOutcome::kChanging, "changed while it was read", {}, {}};
  RecordingInfo& info = result.entry.info;
  info.path = path;
  info.size = before->size;
  info.mtimeNs = before->mtimeNs;
  info.sha256 = *hash;
  info.trip = std::filesystem::path(path).parent_path().string();
  return result;
}

}  // namespace rovena::archive
