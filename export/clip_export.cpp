#include "clip_export.h"

#include <filesystem>
#include <memory>

#include "atomic_file.h"
#include "gps_track.h"
#include "mp4_writer.h"
#include "picture_source.h"

namespace rovena::exporting {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<std::string> Sentences(const Stretch& stretch) {
  std::vector<std::string> sentences;
  for (const StretchPicture& picture : stretch.pictures) sentences.push_back(picture.sentence);
  return sentences;
}

std::vector<GpsFix> Fixes(const Stretch& stretch) {
  std::vector<GpsFix> fixes;
  for (const StretchPicture& picture : stretch.pictures)
    if (auto fix = ParseGprmc(picture.sentence)) {
      fix->picture = picture.number;
      fix->position = picture.position;
      fixes.push_back(*fix);
    }
  return fixes;
}

// A file waiting to be committed with the others: its writer is open from the start, so that
// a refused target (an open input) is known before any work is done.
struct PendingFile {
  std::string path;
  std::vector<std::uint8_t> bytes;
  AtomicFileWriter writer;
};

// Started now; each source hashed (stopped when keepGoing says so: an error then).
IntegrityRecord RecordOf(const std::string& kind, const Stretch& stretch, const std::vector<std::string>& arguments,
                         std::string& error, const KeepGoing& keepGoing = {}) {
  IntegrityRecord record;
  record.kind = kind;
  record.startedUtc = UtcNow();
  record.arguments = arguments;
  for (std::size_t i = 0; i < stretch.sources.size() && error.empty(); ++i) {
    const StretchSource& source = stretch.sources[i];
    const auto sha = FileSha256(source.path, keepGoing);
    if (!sha) error = source.path + ": cannot be read for its checksum";
    record.sources.push_back({fs::absolute(source.path).lexically_normal().string(), source.fileSize, sha.value_or("")});
    record.stretch.push_back({i, source.firstPicture, source.lastPicture, source.firstPosition, source.lastPosition});
  }
  return record;
}

RecordedFile Described(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  return {fs::path(path).filename().string(), static_cast<std::int64_t>(bytes.size()), BytesSha256(bytes)};
}

// Commits the files in order, then the record that names them all.
std::string CommitAll(std::vector<std::unique_ptr<PendingFile>>& files, IntegrityRecord* record,
                      const std::string& recordPath, std::vector<std::string>& written) {
  for (auto& file : files) {
    if (std::string error = file->writer.Commit(); !error.empty()) return error;
    written.push_back(file->path);
  }
  if (!record) return {};
  record->finishedUtc = UtcNow();
  if (std::string error = WriteFileAtomically(recordPath, Bytes(RecordJson(*record))); !error.empty()) return error;
  written.push_back(recordPath);
  return {};
}

std::string OpenPending(std::vector<std::unique_ptr<PendingFile>>& files, const std::string& path,
                        std::vector<std::uint8_t> bytes) {
  auto file = std::make_unique<PendingFile>();
  file->path = path;
  file->bytes = std::move(bytes);
  if (std::string error = file->writer.Open(path); !error.empty()) return error;
  file->writer.Write(file->bytes);
  files.push_back(std::move(file));
  return {};
}

std::vector<std::pair<std::string, std::string>> ExportOptions(const ExportRequest& r) {
  std::string ranges;
  for (const SourceRange& range : r.ranges)
    ranges += (ranges.empty() ? "" : " ") + range.path + ":" + std::to_string(range.from) + "-" +
              (range.to ? std::to_string(range.to) : "end");
  return {{"pictures", ranges}, {"output", r.output},
          {"overlay", OverlayListText(r.overlay)}, {"scale", std::to_string(r.scale)},
          {"crf", std::to_string(r.crf)}, {"pace", r.pace ? std::to_string(*r.pace) : "gps"},
          {"jobs", std::to_string(r.jobs)}, {"sidecars", r.sidecars ? "yes" : "no"}};
}

// An output named like one of its own sidecars would be replaced by it.
std::string SidecarClash(const std::string& output) {
  const std::string extension = fs::path(output).extension().string();
  if (extension != ".srt" && extension != ".gpx" && extension != ".json") return {};
  return output + ": its own " + extension + " sidecar would replace it; choose another name";
}

// The encoder's errors name no file: the user's name for it goes in front.
ExportResult& Failed(ExportResult& result, const std::string& output) {
  result.error = output + ": " + result.error;
  return result;
}

}  // namespace

std::string SidecarPath(const std::string& output, const std::string& extension) {
  return fs::path(output).replace_extension(extension).string();
}

ExportResult ExportClip(const ExportRequest& request, const ExportProgress& progress) {
  ExportResult result;
  if (request.sidecars && (result.error = SidecarClash(request.output)).size()) return result;
  // Finding the stretch and hashing the recording can take a while on a long one: the
  // progress callback hears (0, 0) meanwhile and may stop them too.
  const KeepGoing keepGoing = [&] {
    if (!progress || progress(0, 0)) return true;
    result.cancelled = true;
    return false;
  };
  Stretch stretch;
  result.error = FindStretch(request.ranges, stretch, keepGoing);
  if (result.cancelled) result.error.clear();
  if (!result.error.empty() || result.cancelled) return result;
  const std::vector<std::string> sentences = Sentences(stretch);
  const std::vector<std::int64_t> times = PictureTimesMs(sentences, request.playInterval, request.pace);
  const std::vector<std::string> texts = OverlayTexts(sentences, request.overlay);
  const std::vector<Cue> cues = SubtitleCues(texts, times);
  const std::size_t count = stretch.pictures.size();

  // The recordings are open from here on, so the guard refuses any output over one of them
  // before work begins.
  OrderedDecoder decoder(stretch, request.jobs);
  if ((result.error = decoder.Error()).size()) return result;
  AtomicFileWriter video;
  if ((result.error = video.Open(request.output)).size()) return result;
  std::vector<std::unique_ptr<PendingFile>> sidecars;
  IntegrityRecord record;
  if (request.sidecars) {
    record = RecordOf("export", stretch, request.arguments, result.error, keepGoing);
    if (result.cancelled) result.error.clear();
    if (result.cancelled) return result;
    record.options = ExportOptions(request);
    const std::string name = fs::path(request.output).stem().string();
    if (result.error.empty())
      result.error = OpenPending(sidecars, SidecarPath(request.output, ".srt"), Bytes(SrtText(cues)));
    if (result.error.empty())
      result.error = OpenPending(sidecars, SidecarPath(request.output, ".gpx"), Bytes(TrackGpx(Fixes(stretch), name)));
    if (!result.error.empty()) return result;
  }

  Mp4Writer mp4;
  VideoSettings settings{stretch.width, stretch.height, request.scale, request.crf,
                         StyleFor(stretch.height * request.scale, request.overlay)};
  if ((result.error = mp4.Open(video.TemporaryPath(), settings)).size()) return Failed(result, request.output);

  // Black until a picture decodes; afterwards a damaged picture shows the one before it.
  std::vector<std::uint8_t> picture(static_cast<std::size_t>(3 * stretch.width * stretch.height));
  std::size_t nextCue = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const StretchPicture& shown = stretch.pictures[i];
    if (!decoder.Next(picture))
      result.damaged.push_back({stretch.sources[shown.source].path, shown.number, shown.position});
    for (; nextCue < cues.size() && cues[nextCue].firstPicture == i; ++nextCue)
      if ((result.error = mp4.AddSubtitle(cues[nextCue])).size()) return Failed(result, request.output);
    if ((result.error = mp4.AddPicture(picture.data(), times[i], times[i + 1] - times[i], texts[i])).size())
      return Failed(result, request.output);
    if (progress && !progress(static_cast<std::int64_t>(i + 1), static_cast<std::int64_t>(count))) {
      result.cancelled = true;
      return result;
    }
  }
  if (result.damaged.size() == count) {
    result.error = "no picture of the stretch could be decoded";
    return result;
  }
  if ((result.error = mp4.Finish()).size()) return Failed(result, request.output);
  result.pictures = static_cast<std::int64_t>(count);
  result.seconds = static_cast<double>(times.back()) / 1000;

  if (!request.sidecars) {
    if ((result.error = video.Commit()).empty()) result.written.push_back(request.output);
    return result;
  }
  const auto videoSha = FileSha256(video.TemporaryPath());
  std::error_code sizeError;
  const auto videoSize = fs::file_size(video.TemporaryPath(), sizeError);
  if (!videoSha || sizeError) {
    result.error = request.output + ": the written video cannot be read back";
    return result;
  }
  record.damaged = result.damaged;
  record.outputs.push_back({fs::path(request.output).filename().string(), static_cast<std::int64_t>(videoSize), *videoSha});
  for (const auto& file : sidecars) record.outputs.push_back(Described(file->path, file->bytes));
  if ((result.error = video.Commit()).size()) return result;
  result.written.push_back(request.output);
  result.error = CommitAll(sidecars, &record, SidecarPath(request.output, ".json"), result.written);
  return result;
}

std::string WriteCutSidecars(const std::string& recording, std::int64_t from, std::int64_t to,
                             const std::string& fragmentPath, const std::vector<std::string>& arguments) {
  if (std::string clash = SidecarClash(fragmentPath); !clash.empty()) return clash;
  Stretch stretch;
  if (std::string error = FindStretch({{recording, from, to}}, stretch); !error.empty()) return error;
  std::string error;
  IntegrityRecord record = RecordOf("cut", stretch, arguments, error);
  record.options = {{"from", std::to_string(from)}, {"to", std::to_string(to)}, {"output", fragmentPath}};
  const auto sha = FileSha256(fragmentPath);
  std::error_code sizeError;
  const auto size = fs::file_size(fragmentPath, sizeError);
  if (!sha || sizeError) return fragmentPath + ": cannot be read back";
  record.outputs.push_back({fs::path(fragmentPath).filename().string(), static_cast<std::int64_t>(size), *sha});
  std::vector<std::unique_ptr<PendingFile>> files;
  const std::string gpxPath = SidecarPath(fragmentPath, ".gpx");
  if (error.empty())
    error = OpenPending(files, gpxPath, Bytes(TrackGpx(Fixes(stretch), fs::path(fragmentPath).stem().string())));
  if (!error.empty()) return error;
  record.outputs.push_back(Described(gpxPath, files.front()->bytes));
  std::vector<std::string> written;
  return CommitAll(files, &record, SidecarPath(fragmentPath, ".json"), written);
}

}  // namespace rovena::exporting
