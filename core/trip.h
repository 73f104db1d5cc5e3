// A trip: the recordings of one folder in the order they were driven, and the gaps between them.
//
// Recorders split a drive into many short files. Scanning a folder finds every file that
// begins with a 640 x 480 or 320 x 240 sequence header (whatever its name), reads a few
// pictures at each end of it with the same searches the window steps with, and orders the
// recordings by their first valid GPS fix, then by name. A recording without any fix goes
// where its modification time falls among the others' first fixes (by modification time,
// then name, among those falling into the same place). Files that are not recordings, or
// cannot be read, are listed as skipped with a reason. While a trip (or a copy of it) lives,
// every one of its recordings is an input (output_guard.h): whatever reads a trip writes
// over none of them.
//
// Each recording joins the trip before it in one of three ways: it follows on (it begins
// within moments of the latest fix so far), after a gap (a break in driving, or a side
// without any fix), or it overlaps (it begins before the latest fix so far: two cameras, or a
// copy of the same drive). Overlapping recordings are never joined as consecutive: the
// trip's time counts each covered second once, and lines are not drawn across them.
//
// The quick scan reads a bounded number of bytes per file (a few pictures from the start and
// from the end), so a folder of hundreds of recordings lists in a fraction of a second from
// the page cache. The picture count is then exact only when those pictures cover the whole
// recording; otherwise it is estimated from the sizes of the pictures read. A whole walk
// (TripScanOptions::walkWhole) reads every picture instead: exact counts and the distance
// driven, at the cost of reading every byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/gps_track.h"
#include "core/output_guard.h"

namespace rovena {

struct TripRecording {
  std::string path;  // the folder joined with name
  std::string name;  // file name within the folder
  int format = 0;    // kFormatVga or kFormatCif
  std::int64_t bytes = 0;
  std::int64_t pictures = 0;
  bool picturesExact = false;        // false: estimated from the sizes of the pictures read
  std::optional<GpsFix> firstFix;    // earliest valid fix with a time among the pictures read
  std::optional<GpsFix> lastFix;     // latest one (by time: a clock that steps back moves neither)
  double medianFixInterval = 0;      // seconds between consecutive valid fixes; 0 when unknown
  std::optional<double> distanceKm;  // along consecutive valid fixes; only from a whole walk
  std::int64_t modifiedNs = 0;       // modification time, nanoseconds since 1970
  std::uint64_t device = 0, inode = 0;  // the file's identity at scan time

  bool HasFix() const { return firstFix.has_value(); }
};

// The break in driving between recordings `after` and `after` + 1 of the trip.
struct TripGap {
  std::size_t after = 0;
  // From the latest fix so far to the later one's first fix, when both neighbours have fixes.
  std::optional<double> seconds;
};

// Recording `later` begins `seconds` before the end of recording `earlier`, the one before it
// in the trip that reaches furthest; both cover those seconds.
struct TripOverlap {
  std::size_t earlier = 0, later = 0;
  double seconds = 0;
};

enum class TripJoin { kFollowsOn, kGap, kOverlap };

// The trip's sums, each second and kilometre counted once where recordings overlap.
struct TripTotals {
  std::int64_t pictures = 0;
  bool picturesExact = true;
  double seconds = 0;         // time covered by at least one recording
  double gapSeconds = 0;      // the gaps of known length
  std::size_t unknownGaps = 0;  // gaps beside a recording without any fix
  double overlapSeconds = 0;
  // Along the fixes (whole walks only); an overlapping recording adds the share of its
  // distance that lies beyond the time already covered, in proportion to time.
  std::optional<double> distanceKm;
};

struct SkippedFile {
  std::string name;
  std::string reason;
};

// Whether the file name is of a kind the program itself writes beside recordings (clips,
// sidecars, tracks, decoded pictures, snapshots): a folder's scan does not list such a
// file as skipped when it is no recording. One that is a recording stays one of the trip, and
// so an input no output may replace.
bool IsOwnOutputName(const std::string& name);

struct TripScanOptions {
  bool walkWhole = false;  // read every picture: exact counts and distances
  // Called after each file of the folder with the number done and the number in all.
  std::function<void(std::size_t done, std::size_t total)> progress;
};

// A gap lies between neighbours when either has no fix, or when the later one's first fix
// comes more than twice the earlier one's median fix interval, and at least 3 seconds, after
// the earlier one's last fix.
bool IsGapBetween(const TripRecording& earlier, const TripRecording& later);

// Reads what the trip needs from one file: its header, and pictures from both ends (every
// picture when walkWhole). Nothing and a reason in *whyNot when it is not a usable recording.
std::optional<TripRecording> ScanRecording(const std::string& path, bool walkWhole, std::string* whyNot);

class Trip {
 public:
  Trip() = default;

  // Lists `folder` (not its subfolders). A folder that cannot be read gives an empty trip
  // and the reason in *error.
  static Trip Scan(const std::string& folder, const TripScanOptions& options = {},
                   std::string* error = nullptr);
  // Orders already scanned recordings and finds their gaps (Scan ends with this).
  static Trip FromRecordings(std::vector<TripRecording> recordings, std::vector<SkippedFile> skipped = {});

  const std::vector<TripRecording>& Recordings() const { return recordings_; }
  const std::vector<TripGap>& Gaps() const { return gaps_; }
  const std::vector<TripOverlap>& Overlaps() const { return overlaps_; }
  const std::vector<SkippedFile>& Skipped() const { return skipped_; }
  std::size_t Size() const { return recordings_.size(); }
  bool Empty() const { return recordings_.empty(); }

  // The position in the trip of the recording at `path` (any spelling or link of the same
  // file); nothing when it is not one of the trip's recordings.
  std::optional<std::size_t> IndexOf(const std::string& path) const;
  // The neighbours of recording `index`; nothing at either end of the trip.
  std::optional<std::size_t> Next(std::size_t index) const;
  std::optional<std::size_t> Previous(std::size_t index) const;
  // The gap between recording `index` - 1 and `index` (GapBefore) or `index` and `index` + 1
  // (GapAfter); nullptr when they follow on without a break or there is no neighbour.
  const TripGap* GapBefore(std::size_t index) const;
  const TripGap* GapAfter(std::size_t index) const;
  // How recording `index` + 1 joins the trip up to recording `index`.
  TripJoin JoinAfter(std::size_t index) const;
  // Whether recording `index` continues the one before it without a gap or an overlap, so a
  // line may run on into it.
  bool FollowsOn(std::size_t index) const { return index > 0 && JoinAfter(index - 1) == TripJoin::kFollowsOn; }
  // The overlap that recording `index` + 1 begins with; nullptr when it does not overlap.
  const TripOverlap* OverlapAfter(std::size_t index) const;
  TripTotals Totals() const;

 private:
  void Join(std::size_t later, std::size_t furthest);

  std::vector<TripRecording> recordings_;
  std::vector<TripGap> gaps_;
  std::vector<TripOverlap> overlaps_;
  std::vector<SkippedFile> skipped_;
  InputFiles inputs_;
};

}  // namespace rovena
