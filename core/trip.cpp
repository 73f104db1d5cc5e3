#include "core/trip.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <limits>
#include <tuple>

#include "core/picture_walker.h"

namespace rovena {
namespace {

namespace fs = std::filesystem;

// Pictures read at each end of a recording: enough consecutive fixes for a median interval.
constexpr int kSamplePictures = 3;
// While no valid fix has turned up (a start in a tunnel), reading goes on at that end for up
// to this many pictures and this many bytes, so a recording without any fix costs a bounded read.
constexpr int kFixSearchPictures = 32;
constexpr std::int64_t kFixSearchBytes = 2 << 20;
// Shorter than this after the earlier recording's last fix is never a gap.
constexpr double kMinimumGapSeconds = 3;

// One picture read: where its start code and its end code lie, and its fix when valid and timed.
struct Sample {
  std::int64_t position = 0;
  std::int64_t end = 0;
  std::optional<GpsFix> fix;
};

std::optional<GpsFix> ValidFix(const std::string& sentence) {
  std::optional<GpsFix> fix = ParseGprmc(sentence);
  if (!fix || !fix->valid() || fix->utc.empty()) return std::nullopt;
  return fix;
}

bool HasValidFix(const std::vector<Sample>& samples) {
  return std::any_of(samples.begin(), samples.end(), [](const Sample& s) { return s.fix.has_value(); });
}

// Whether one end has been read far enough: its sample pictures, and a fix or the search's end.
bool EndIsRead(const std::vector<Sample>& samples, int attempts, std::int64_t bytesFromEnd) {
  if (samples.size() < kSamplePictures) return attempts >= kFixSearchPictures;
  return HasValidFix(samples) || attempts >= kFixSearchPictures || bytesFromEnd > kFixSearchBytes;
}

// Reads pictures from the start as PictureWalker counts them. *reachedEnd tells whether the
// walk got to the end of the file (so it saw every picture).
std::vector<Sample> ReadFromStart(Recording& recording, bool walkWhole, bool* reachedEnd) {
  std::vector<Sample> samples;
  PictureWalker walker(recording);
  for (int attempts = 1; walker.Next(); ++attempts) {
    samples.push_back({walker.Position(), walker.EndPosition(), ValidFix(walker.Sentence())});
    if (!walkWhole && EndIsRead(samples, attempts, walker.Position())) break;
  }
  *reachedEnd = walker.Outcome().ReachedEnd();
  return samples;
}

// Drops the samples (collected backwards, so the lowest last) that a picture ending at `end`
// runs over: its end code was missing, so stepping forward passes over them.
void DropPassedOver(std::vector<Sample>& samples, std::int64_t end) {
  while (!samples.empty() && samples.back().position < end) samples.pop_back();
}

// Reads pictures backwards from the end as the window's jump to the end does, passing over a
// last picture cut short, and stops at `stopAt` (the last picture read from the start). The
// samples come out in file order; *met tells whether the walk reached `stopAt`.
std::vector<Sample> ReadFromEnd(Recording& recording, const Sample& stopAt, bool* met) {
  std::vector<Sample> samples;
  *met = false;
  recording.PicPos = recording.FileLen - 1;
  for (int attempts = 1; recording.FindStartDown(); ++attempts) {
    const std::int64_t position = recording.PicPos;
    if (position <= stopAt.position) {
      *met = true;
      DropPassedOver(samples, stopAt.end);
      break;
    }
    if (recording.PassPicture()) {
      DropPassedOver(samples, recording.File().LastPosition());
      samples.push_back({position, recording.File().LastPosition(), ValidFix(recording.NmeaLine)});
    }
    if (EndIsRead(samples, attempts, recording.FileLen - position)) break;
    recording.PicPos = position;  // the next search starts below this picture
  }
  std::reverse(samples.begin(), samples.end());
  return samples;
}

// Mean bytes per picture over the consecutive pictures of each run; 0 when no run has two.
double MeanPictureBytes(const std::vector<Sample>& front, const std::vector<Sample>& back) {
  double bytes = 0;
  std::size_t steps = 0;
  for (const std::vector<Sample>* run : {&front, &back}) {
    if (run->size() < 2) continue;
    bytes += static_cast<double>(run->back().position - run->front().position);
    steps += run->size() - 1;
  }
  return steps ? bytes / static_cast<double>(steps) : 0;
}

// The pictures between the two runs, from the bytes they span.
std::int64_t EstimatedMiddle(const std::vector<Sample>& front, const std::vector<Sample>& back) {
  const double pictureBytes = MeanPictureBytes(front, back);
  if (back.empty() || pictureBytes <= 0) return 0;
  const std::int64_t from = front.empty() ? 1 : front.back().position;
  const double between = static_cast<double>(back.front().position - from) / pictureBytes;
  return std::max<std::int64_t>(0, std::llround(between) - (front.empty() ? 0 : 1));
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  const std::size_t middle = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle), values.end());
  const double upper = values[middle];
  if (values.size() % 2) return upper;
  return (upper + *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle))) / 2;
}

// First and last fix, the median interval between fixes of neighbouring pictures within each
// run, and (for a whole walk, one run) the distance along the fixes.
void TakeFixes(TripRecording& out, const std::vector<const std::vector<Sample>*>& runs, bool whole) {
  std::vector<double> intervals;
  double distance = 0;
  for (const std::vector<Sample>* run : runs) {
    const GpsFix* previous = nullptr;  // valid fix of the previous picture of this run
    const GpsFix* lastWithPosition = nullptr;
    for (const Sample& sample : *run) {
      const GpsFix* fix = sample.fix ? &*sample.fix : nullptr;
      if (fix && previous) intervals.push_back(fix->utcSeconds - previous->utcSeconds);
      previous = fix;
      if (!fix) continue;
      if (!out.firstFix || fix->utcSeconds < out.firstFix->utcSeconds) out.firstFix = *fix;
      if (!out.lastFix || fix->utcSeconds >= out.lastFix->utcSeconds) out.lastFix = *fix;
      if (!fix->latitude) continue;
      if (lastWithPosition)
        distance += DistanceMetres(*lastWithPosition->latitude, *lastWithPosition->longitude, *fix->latitude,
                                   *fix->longitude) / 1000;
      lastWithPosition = fix;
    }
  }
  out.medianFixInterval = Median(std::move(intervals));
  if (whole) out.distanceKm = distance;
}

bool StatFile(const std::string& path, TripRecording& out) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  out.device = st.st_dev;
  out.inode = st.st_ino;
  out.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

// Orders recordings with fixes by (first fix, name). Each one without a fix goes where its
// modification time falls among the others' first fixes; several falling into the same
// place are in the order of their modification times, then names.
std::vector<TripRecording> InTripOrder(std::vector<TripRecording> all) {
  std::vector<TripRecording> withFix, withoutFix;
  for (TripRecording& r : all) (r.HasFix() ? withFix : withoutFix).push_back(std::move(r));
  std::sort(withFix.begin(), withFix.end(), [](const TripRecording& a, const TripRecording& b) {
    if (a.firstFix->utcSeconds != b.firstFix->utcSeconds) return a.firstFix->utcSeconds < b.firstFix->utcSeconds;
    return a.name < b.name;
  });
  // The number of recordings with a fix that come before `r`.
  const auto slot = [&withFix](const TripRecording& r) {
    const double modified = static_cast<double>(r.modifiedNs) / 1e9;
    return std::partition_point(withFix.begin(), withFix.end(),
                                [modified](const TripRecording& f) { return f.firstFix->utcSeconds <= modified; }) -
           withFix.begin();
  };
  std::vector<std::pair<std::ptrdiff_t, TripRecording>> placed;
  for (TripRecording& r : withoutFix) placed.emplace_back(slot(r), std::move(r));
  std::sort(placed.begin(), placed.end(), [](const auto& a, const auto& b) {
    return std::tie(a.first, a.second.modifiedNs, a.second.name) < std::tie(b.first, b.second.modifiedNs, b.second.name);
  });
  std::vector<TripRecording> ordered;
  auto next = placed.begin();
  for (std::ptrdiff_t i = 0; i <= static_cast<std::ptrdiff_t>(withFix.size()); ++i) {
    for (; next != placed.end() && next->first == i; ++next) ordered.push_back(std::move(next->second));
    if (i < static_cast<std::ptrdiff_t>(withFix.size())) ordered.push_back(std::move(withFix[static_cast<std::size_t>(i)]));
  }
  return ordered;
}

}  // namespace

bool IsGapBetween(const TripRecording& earlier, const TripRecording& later) {
  if (!earlier.lastFix || !later.firstFix) return true;
  const double apart = later.firstFix->utcSeconds - earlier.lastFix->utcSeconds;
  return apart > 2 * earlier.medianFixInterval && apart >= kMinimumGapSeconds;
}

std::optional<TripRecording> ScanRecording(const std::string& path, bool walkWhole, std::string* whyNot) {
  TripRecording out;
  out.path = path;
  out.name = fs::path(path).filename().string();
  Recording recording;
  std::string error;
  if (!recording.Open(path, error)) {
    *whyNot = error;
    return std::nullopt;
  }
  out.bytes = recording.FileLen;
  FrameFormat format = kFormatNone;
  if (const RecordingCheck check = CheckRecording(recording, &format); check != RecordingCheck::kRecording) {
    *whyNot = RecordingCheckText(check);
    return std::nullopt;
  }
  out.format = format;
  if (!StatFile(path, out)) {
    *whyNot = "cannot read its modification time";
    return std::nullopt;
  }

  bool reachedEnd = false, met = false;
  const std::vector<Sample> front = ReadFromStart(recording, walkWhole, &reachedEnd);
  if (front.empty()) {  // the file changed since it was checked
    *whyNot = RecordingCheckText(recording.File().HadIoError() ? RecordingCheck::kReadError : RecordingCheck::kNoWholePicture);
    return std::nullopt;
  }
  std::vector<Sample> back;
  // Also after damage stopped a whole walk: the last fix still comes from the end.
  if (!reachedEnd) back = ReadFromEnd(recording, front.back(), &met);
  if (recording.File().HadIoError()) {
    *whyNot = RecordingCheckText(RecordingCheck::kReadError);
    return std::nullopt;
  }
  out.picturesExact = reachedEnd || met;
  out.pictures = static_cast<std::int64_t>(front.size() + back.size()) +
                 (out.picturesExact ? 0 : EstimatedMiddle(front, back));
  TakeFixes(out, {&front, &back}, walkWhole);
  return out;
}

bool IsOwnOutputName(const std::string& name) {
  static const char* const kOutputs[] = {".mp4", ".srt", ".gpx", ".json", ".csv", ".bmp", ".y4m", ".png", ".jpg", ".jpeg"};
  std::string extension = fs::path(name).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return std::tolower(c); });
  return std::find(std::begin(kOutputs), std::end(kOutputs), extension) != std::end(kOutputs);
}

Trip Trip::Scan(const std::string& folder, const TripScanOptions& options, std::string* error) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (!it->is_directory(typeError)) names.push_back(it->path().filename().string());
  }
  if (ec) {
    if (error) *error = ec.message();
    return {};
  }
  std::sort(names.begin(), names.end());

  std::vector<TripRecording> recordings;
  std::vector<SkippedFile> skipped;
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::string whyNot;
    if (auto r = ScanRecording((fs::path(folder) / names[i]).string(), options.walkWhole, &whyNot))
      recordings.push_back(std::move(*r));
    else if (!IsOwnOutputName(names[i]))
      skipped.push_back({names[i], whyNot});
    if (options.progress) options.progress(i + 1, names.size());
  }
  if (error) error->clear();
  return FromRecordings(std::move(recordings), std::move(skipped));
}

Trip Trip::FromRecordings(std::vector<TripRecording> recordings, std::vector<SkippedFile> skipped) {
  Trip trip;
  trip.recordings_ = InTripOrder(std::move(recordings));
  trip.skipped_ = std::move(skipped);
  std::size_t furthest = 0;  // the recording with the latest last fix so far
  for (std::size_t i = 0; i < trip.recordings_.size(); ++i) {
    const TripRecording& r = trip.recordings_[i];
    if (i > 0) trip.Join(i, furthest);
    if (r.lastFix && (!trip.recordings_[furthest].lastFix ||
                      r.lastFix->utcSeconds > trip.recordings_[furthest].lastFix->utcSeconds))
      furthest = i;
  }
  std::vector<std::string> paths;
  for (const TripRecording& r : trip.recordings_) paths.push_back(r.path);
  trip.inputs_ = InputFiles(paths);
  return trip;
}

// Recording `later` against its neighbour before it and against `furthest`, the recording
// before it whose last fix is the latest: time already covered is neither a gap nor new.
void Trip::Join(std::size_t later, std::size_t furthest) {
  const TripRecording &previous = recordings_[later - 1], &next = recordings_[later];
  if (!previous.lastFix || !next.firstFix) {
    gaps_.push_back({later - 1, std::nullopt});
    return;
  }
  const TripRecording& reach = recordings_[furthest];
  const double first = next.firstFix->utcSeconds, reachEnd = reach.lastFix->utcSeconds;
  if (first < reachEnd)
    overlaps_.push_back({furthest, later, std::min(reachEnd, next.lastFix->utcSeconds) - first});
  else if (IsGapBetween(reach, next))
    gaps_.push_back({later - 1, first - reachEnd});
}

TripJoin Trip::JoinAfter(std::size_t index) const {
  if (GapAfter(index)) return TripJoin::kGap;
  return OverlapAfter(index) ? TripJoin::kOverlap : TripJoin::kFollowsOn;
}

const TripOverlap* Trip::OverlapAfter(std::size_t index) const {
  const auto overlap = std::lower_bound(overlaps_.begin(), overlaps_.end(), index + 1,
                                        [](const TripOverlap& o, std::size_t later) { return o.later < later; });
  return overlap != overlaps_.end() && overlap->later == index + 1 ? &*overlap : nullptr;
}

TripTotals Trip::Totals() const {
  TripTotals t;
  t.distanceKm = 0;
  double reach = -std::numeric_limits<double>::infinity();
  for (const TripRecording& r : recordings_) {
    t.pictures += r.pictures;
    t.picturesExact = t.picturesExact && r.picturesExact;
    if (!r.distanceKm) t.distanceKm.reset();
    if (!r.HasFix()) continue;
    const double first = r.firstFix->utcSeconds, last = r.lastFix->utcSeconds;
    const double added = std::max(0.0, last - std::max(first, reach));
    t.seconds += added;
    const double share = last > first ? added / (last - first) : first >= reach ? 1 : 0;
    if (t.distanceKm) *t.distanceKm += *r.distanceKm * share;
    reach = std::max(reach, last);
  }
  for (const TripGap& g : gaps_) {
    if (g.seconds) t.gapSeconds += *g.seconds;
    else ++t.unknownGaps;
  }
  for (const TripOverlap& o : overlaps_) t.overlapSeconds += o.seconds;
  return t;
}

std::optional<std::size_t> Trip::IndexOf(const std::string& path) const {
  if (path.empty()) return std::nullopt;  // fs::absolute throws on an empty path
  TripRecording probe;
  const bool known = StatFile(path, probe);
  const fs::path wanted = fs::absolute(path).lexically_normal();
  for (std::size_t i = 0; i < recordings_.size(); ++i) {
    const TripRecording& r = recordings_[i];
    if (known ? r.device == probe.device && r.inode == probe.inode
              : fs::absolute(r.path).lexically_normal() == wanted)
      return i;
  }
  return std::nullopt;
}

std::optional<std::size_t> Trip::Next(std::size_t index) const {
  if (index + 1 >= recordings_.size()) return std::nullopt;
  return index + 1;
}

std::optional<std::size_t> Trip::Previous(std::size_t index) const {
  if (index == 0 || index > recordings_.size()) return std::nullopt;
  return index - 1;
}

const TripGap* Trip::GapAfter(std::size_t index) const {
  const auto gap = std::lower_bound(gaps_.begin(), gaps_.end(), index,
                                    [](const TripGap& g, std::size_t i) { return g.after < i; });
  return gap != gaps_.end() && gap->after == index ? &*gap : nullptr;
}

const TripGap* Trip::GapBefore(std::size_t index) const { return index == 0 ? nullptr : GapAfter(index - 1); }

}  // namespace rovena
