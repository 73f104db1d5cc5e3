#include "export/clip_export.h"

#include <sys/stat.h>

#include <filesystem>
#include <memory>

#include "core/atomic_file.h"
#include "digest/sha256.h"
#include "core/gps_track.h"
#include "core/text_encoding.h"
#include "export/mp4_writer.h"
#include "export/picture_source.h"

namespace rovena::exporting {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// The stretch's fixes, and the track parts that share them out by recording: a new segment
// where a break in driving lies between two of them.
struct StretchTrack {
  std::vector<std::vector<GpsFix>> fixes;  // by source
  std::vector<TrackPart> parts;
};

StretchTrack TrackOf(const Stretch& stretch) {
  StretchTrack track;
  track.fixes.resize(stretch.sources.size());
  for (const StretchPicture& picture : stretch.pictures)
    if (auto fix = ParseGprmc(picture.sentence)) {
      fix->picture = picture.number;
      fix->position = picture.position;
      track.fixes[picture.source].push_back(*fix);
    }
  for (std::size_t i = 0; i < stretch.sources.size(); ++i)
    track.parts.push_back({fs::path(stretch.sources[i].path).filename().string(), track.fixes[i],
                           stretch.sources[i].joinBefore != TripJoin::kFollowsOn});
  return track;
}

std::vector<std::uint8_t> GpxOf(const Stretch& stretch, const std::string& output) {
  const StretchTrack track = TrackOf(stretch);
  return Bytes(TrackGpx(track.parts, fs::path(output).stem().string()));
}

// A file waiting to be committed with the others: its writer is open from the start, so that
// a refused target (an input, an existing file) is known before any work is done.
struct PendingFile {
  std::string path;
  std::vector<std::uint8_t> bytes;
  AtomicFileWriter writer;
};
using PendingFiles = std::vector<std::unique_ptr<PendingFile>>;

// Started now; each source hashed (stopped when keepGoing says so: an error then).
IntegrityRecord RecordOf(const std::string& kind, const Stretch& stretch, const std::string& program,
                         const std::vector<std::string>& arguments, std::string& error, const KeepGoing& keepGoing = {}) {
  IntegrityRecord record;
  record.kind = kind;
  record.program = program;
  record.startedUtc = UtcNow();
  record.arguments = arguments;
  for (std::size_t i = 0; i < stretch.sources.size() && error.empty(); ++i) {
    const StretchSource& source = stretch.sources[i];
    const auto sha = Sha256OfFile(source.path, nullptr, keepGoing);
    if (!sha) error = NameText(source.path) + ": cannot be read for its checksum";
    record.sources.push_back({fs::absolute(source.path).lexically_normal().string(), source.fileSize, sha.value_or("")});
    record.stretch.push_back({i, source.firstPicture, source.lastPicture, source.firstPosition, source.lastPosition});
  }
  return record;
}

RecordedFile Described(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  return {fs::path(path).filename().string(), static_cast<std::int64_t>(bytes.size()), Sha256OfBytes(bytes.data(), bytes.size())};
}

// Opens a writer for each sidecar of `output` with the given extensions; their bytes come
// later (Fill).
std::string OpenSidecars(PendingFiles& files, const std::string& output, std::initializer_list<const char*> extensions,
                         IfExists ifExists) {
  for (const char* extension : extensions) {
    auto file = std::make_unique<PendingFile>();
    file->path = SidecarPath(output, extension);
    if (std::string error = file->writer.Open(file->path, ifExists); !error.empty()) return error;
    files.push_back(std::move(file));
  }
  return {};
}

void Fill(PendingFile& file, std::vector<std::uint8_t> bytes) {
  file.bytes = std::move(bytes);
  file.writer.Write(file.bytes);
}

// The record, finished now and naming every output, goes into the last file; then the whole
// set (`main`, the clip, first) is committed together.
std::string CommitSet(AtomicFileWriter& main, PendingFiles& sidecars, IntegrityRecord& record,
                      std::vector<std::string>& written, const std::string& mainPath) {
  for (std::size_t i = 0; i + 1 < sidecars.size(); ++i)
    record.outputs.push_back(Described(sidecars[i]->path, sidecars[i]->bytes));
  record.finishedUtc = UtcNow();
  Fill(*sidecars.back(), Bytes(RecordJson(record)));
  std::vector<AtomicFileWriter*> set = {&main};
  for (auto& file : sidecars) set.push_back(&file->writer);
  if (std::string error = CommitTogether(set); !error.empty()) return error;
  written.push_back(mainPath);
  for (auto& file : sidecars) written.push_back(file->path);
  return {};
}

// "PATH:FROM-TO" for each range, "end" for a range to a recording's last picture.
std::string RangesText(const std::vector<SourceRange>& ranges) {
  std::string text;
  for (const SourceRange& range : ranges)
    text += (text.empty() ? "" : " ") + range.path + ":" + std::to_string(range.from) + "-" +
            (range.to ? std::to_string(range.to) : "end");
  return text;
}

std::vector<std::pair<std::string, std::string>> ExportOptions(const ExportRequest& r) {
  return {{"pictures", RangesText(r.ranges)}, {"output", r.output},
          {"overlay", OverlayListText(r.overlay)}, {"band", BandPlaceText(r.band)}, {"time_zone", r.zone.Name()},
          {"scale", std::to_string(r.scale)},
          {"crf", std::to_string(r.crf)}, {"pace", r.pace ? std::to_string(*r.pace) : "gps"},
          {"jobs", std::to_string(r.jobs)}, {"sidecars", r.sidecars ? "yes" : "no"}};
}

// Size, modification time and identity of each source, to tell whether it changed while it
// was exported.
std::vector<struct stat> Stamps(const Stretch& stretch) {
  std::vector<struct stat> stamps;
  for (const StretchSource& source : stretch.sources) {
    struct stat st {};
    ::stat(source.path.c_str(), &st);
    stamps.push_back(st);
  }
  return stamps;
}

// The first source that is not what it was when the stretch was found, "" when none.
std::string ChangedSource(const Stretch& stretch, const std::vector<struct stat>& before) {
  const std::vector<struct stat> now = Stamps(stretch);
  for (std::size_t i = 0; i < now.size(); ++i) {
    const struct stat &a = before[i], &b = now[i];
    if (a.st_size != stretch.sources[i].fileSize || b.st_size != a.st_size || b.st_ino != a.st_ino ||
        b.st_dev != a.st_dev || b.st_mtim.tv_sec != a.st_mtim.tv_sec || b.st_mtim.tv_nsec != a.st_mtim.tv_nsec)
      return stretch.sources[i].path;
  }
  return {};
}

}  // namespace

std::string SidecarPath(const std::string& output, const std::string& extension) {
  return fs::path(output).replace_extension(extension).string();
}

std::vector<std::string> ExportFiles(const std::string& output, bool sidecars) {
  if (!sidecars) return {output};
  return {output, SidecarPath(output, ".srt"), SidecarPath(output, ".gpx"), SidecarPath(output, ".json")};
}

std::string SidecarProblem(const std::string& output) {
  if (IsSidecarName(output))
    return NameText(output) + ": its own " + fs::path(output).extension().string() + " sidecar would replace it; choose another name";
  struct stat st {};
  if (::stat(output.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
    return NameText(output) + ": not a regular file, so no sidecars can go beside it";
  return {};
}

namespace {

struct ClipPlan {
  Stretch stretch;
  std::vector<std::int64_t> timesMs;  // one more than pictures: the end of the last
  std::vector<std::string> texts;
  std::vector<Cue> cues;
};

// Every picture of the stretch through the encoder into `path`, a damaged one replaced by
// the one before it (black before the first). Returns an error text; sets damaged, cancelled.
std::string EncodePictures(const ExportRequest& request, const ClipPlan& plan, OrderedDecoder& decoder,
                           const std::string& path, const ExportProgress& progress, ExportResult& result) {
  const Stretch& stretch = plan.stretch;
  Mp4Writer mp4;
  const VideoSettings settings{stretch.width, stretch.height, request.scale, request.crf,
                               StyleFor(stretch.height * request.scale, request.overlay, request.bandNote.empty() ? 0 : 1),
                               request.band,
                               !plan.cues.empty()};
  if (std::string error = mp4.Open(path, settings); !error.empty()) return error;
  DecodedPicture picture;
  WindowColoursAsBt601(std::vector<std::uint8_t>(3 * stretch.width * stretch.height).data(), stretch.width,
                       stretch.height, picture.planes);  // black
  const std::size_t count = stretch.pictures.size();
  std::size_t nextCue = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const StretchPicture& shown = stretch.pictures[i];
    if (!decoder.Next(picture))
      result.damaged.push_back({stretch.sources[shown.source].path, shown.number, shown.position});
    else if (request.beforeEncoding)
      request.beforeEncoding(shown, stretch.sources[shown.source].path, picture);
    for (; nextCue < plan.cues.size() && plan.cues[nextCue].firstPicture == i; ++nextCue)
      if (std::string error = mp4.AddSubtitle(plan.cues[nextCue]); !error.empty()) return error;
    const std::int64_t start = plan.timesMs[i], duration = plan.timesMs[i + 1] - start;
    if (std::string error = mp4.AddPicture(picture.planes, start, duration, plan.texts[i]); !error.empty()) return error;
    if (progress && !progress(static_cast<std::int64_t>(i + 1), static_cast<std::int64_t>(count))) {
      result.cancelled = true;
      return {};
    }
  }
  if (result.damaged.size() == count) return "no picture of the stretch could be decoded";
  return mp4.Finish();
}

// The name, size and SHA-256 of a file written completely at `path`.
std::optional<RecordedFile> WrittenFile(const std::string& path, const std::string& name) {
  std::error_code error;
  const auto size = fs::file_size(path, error);
  const auto sha = error ? std::nullopt : Sha256OfFile(path);
  if (!sha) return std::nullopt;
  return RecordedFile{fs::path(name).filename().string(), static_cast<std::int64_t>(size), *sha};
}

// The clip into `path`, decoded on the request's workers. Returns an error text.
std::string WriteVideo(const ExportRequest& request, const ClipPlan& plan, const std::string& path,
                       const ExportProgress& progress, ExportResult& result) {
  OrderedDecoder decoder(plan.stretch, request.jobs, true);
  std::string error = decoder.Error();
  if (error.empty()) error = EncodePictures(request, plan, decoder, path, progress, result);
  if (!error.empty()) return NameText(request.output) + ": " + error;
  return decoder.Failure();
}

std::vector<std::string> SourcePaths(const std::vector<SourceRange>& ranges) {
  std::vector<std::string> paths;
  for (const SourceRange& range : ranges) paths.push_back(range.path);
  return paths;
}

}  // namespace

ExportResult ExportClip(const ExportRequest& request, const ExportProgress& progress) {
  ExportResult result;
  if (request.sidecars && (result.error = SidecarProblem(request.output)).size()) return result;
  // Each source is open only while it is read: registered, no output lands on one meanwhile.
  const InputFiles sources(SourcePaths(request.ranges));
  // Finding the stretch and hashing the recordings can take a while on long ones: the
  // progress callback hears (0, 0) meanwhile and may stop them too.
  const KeepGoing keepGoing = [&] {
    if (!progress || progress(0, 0)) return true;
    result.cancelled = true;
    return false;
  };
  const auto stopped = [&result] {
    if (result.cancelled) result.error.clear();
    return result.cancelled || !result.error.empty();
  };
  ClipPlan plan;
  result.error = FindStretch(request.ranges, plan.stretch, keepGoing);
  if (stopped()) return result;
  const std::vector<struct stat> stamps = Stamps(plan.stretch);
  std::vector<std::string> sentences;
  for (const StretchPicture& picture : plan.stretch.pictures) sentences.push_back(picture.sentence);
  const PictureClock clock = ReadClock(sentences, request.playInterval);
  plan.timesMs = ClipTimesMs(clock, request.pace);
  plan.texts = OverlayTexts(sentences, clock, request.overlay, request.zone);
  if (!request.bandNote.empty())
    for (std::string& text : plan.texts) text += (text.empty() ? "" : "\n") + request.bandNote;
  plan.cues = SubtitleCues(plan.texts, plan.timesMs);

  // Every file of the set is open before work begins, so a refused target is known at once.
  AtomicFileWriter video;
  if ((result.error = video.Open(request.output, request.ifExists)).size()) return result;
  PendingFiles sidecars;
  IntegrityRecord record;
  if (request.sidecars) {
    result.error = OpenSidecars(sidecars, request.output, {".srt", ".gpx", ".json"}, request.ifExists);
    if (result.error.empty())
      record = RecordOf("export", plan.stretch, request.program, request.arguments, result.error, keepGoing);
    if (stopped()) return result;
    record.options = ExportOptions(request);
    Fill(*sidecars[0], Bytes(SrtText(plan.cues)));
    Fill(*sidecars[1], GpxOf(plan.stretch, request.output));
  }

  result.error = WriteVideo(request, plan, video.TemporaryPath(), progress, result);
  if (stopped()) return result;
  if (const std::string changed = ChangedSource(plan.stretch, stamps); !changed.empty()) {
    result.error = NameText(changed) + ": changed while it was exported; nothing was written";
    return result;
  }
  result.pictures = static_cast<std::int64_t>(plan.stretch.pictures.size());
  result.seconds = static_cast<double>(plan.timesMs.back()) / 1000;
  if (!request.sidecars) {
    if ((result.error = video.Commit()).empty()) result.written.push_back(request.output);
    return result;
  }
  const auto written = WrittenFile(video.TemporaryPath(), request.output);
  if (!written) {
    result.error = NameText(request.output) + ": the written video cannot be read back";
    return result;
  }
  record.damaged = result.damaged;
  record.outputs.push_back(*written);
  if (request.redaction) record.redaction = *request.redaction;
  result.error = CommitSet(video, sidecars, record, result.written, request.output);
  return result;
}

std::string CommitCutWithSidecars(const std::vector<SourceRange>& ranges, AtomicFileWriter& fragment,
                                  const std::string& fragmentPath, const std::vector<std::string>& arguments,
                                  IfExists ifExists) {
  if (std::string problem = SidecarProblem(fragmentPath); !problem.empty()) return problem;
  Stretch stretch;
  if (std::string error = FindStretch(ranges, stretch); !error.empty()) return error;
  std::string error;
  IntegrityRecord record = RecordOf("cut", stretch, "rovena-cli", arguments, error);
  if (!error.empty()) return error;
  record.options = {{"pictures", RangesText(ranges)}, {"output", fragmentPath}};
  fragment.Flush();
  const auto written = WrittenFile(fragment.TemporaryPath(), fragmentPath);
  if (!written) return NameText(fragmentPath) + ": cannot be read back";
  record.outputs.push_back(*written);
  PendingFiles sidecars;
  if (error = OpenSidecars(sidecars, fragmentPath, {".gpx", ".json"}, ifExists); !error.empty()) return error;
  Fill(*sidecars[0], GpxOf(stretch, fragmentPath));
  std::vector<std::string> done;
  return CommitSet(fragment, sidecars, record, done, fragmentPath);
}

}  // namespace rovena::exporting
