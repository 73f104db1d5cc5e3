#include "export/clip_export.h"

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
  return NameText(output) + ": its own " + extension + " sidecar would replace it; choose another name";
}

}  // namespace

std::string SidecarPath(const std::string& output, const std::string& extension) {
  return fs::path(output).replace_extension(extension).string();
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
                               StyleFor(stretch.height * request.scale, request.overlay)};
  if (std::string error = mp4.Open(path, settings); !error.empty()) return error;
  std::vector<std::uint8_t> picture(static_cast<std::size_t>(3 * stretch.width * stretch.height));
  const std::size_t count = stretch.pictures.size();
  std::size_t nextCue = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const StretchPicture& shown = stretch.pictures[i];
    if (!decoder.Next(picture))
      result.damaged.push_back({stretch.sources[shown.source].path, shown.number, shown.position});
    else if (request.beforeEncoding)
      request.beforeEncoding(shown, stretch.sources[shown.source].path, picture.data(), stretch.width, stretch.height);
    for (; nextCue < plan.cues.size() && plan.cues[nextCue].firstPicture == i; ++nextCue)
      if (std::string error = mp4.AddSubtitle(plan.cues[nextCue]); !error.empty()) return error;
    const std::int64_t start = plan.timesMs[i], duration = plan.timesMs[i + 1] - start;
    if (std::string error = mp4.AddPicture(picture.data(), start, duration, plan.texts[i]); !error.empty()) return error;
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

}  // namespace

ExportResult ExportClip(const ExportRequest& request, const ExportProgress& progress) {
  ExportResult result;
  if (request.sidecars && (result.error = SidecarClash(request.output)).size()) return result;
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
  std::vector<std::string> sentences;
  for (const StretchPicture& picture : plan.stretch.pictures) sentences.push_back(picture.sentence);
  plan.timesMs = PictureTimesMs(sentences, request.playInterval, request.pace);
  plan.texts = OverlayTexts(sentences, request.overlay);
  plan.cues = SubtitleCues(plan.texts, plan.timesMs);

  // The recordings are open from here on, so the guard refuses any output over one of them
  // before work begins.
  OrderedDecoder decoder(plan.stretch, request.jobs);
  if ((result.error = decoder.Error()).size()) return result;
  AtomicFileWriter video;
  if ((result.error = video.Open(request.output)).size()) return result;
  std::vector<std::unique_ptr<PendingFile>> sidecars;
  IntegrityRecord record;
  if (request.sidecars) {
    record = RecordOf("export", plan.stretch, request.arguments, result.error, keepGoing);
    record.options = ExportOptions(request);
    if (result.error.empty())
      result.error = OpenPending(sidecars, SidecarPath(request.output, ".srt"), Bytes(SrtText(plan.cues)));
    if (result.error.empty())
      result.error = OpenPending(sidecars, SidecarPath(request.output, ".gpx"),
                                 Bytes(TrackGpx(Fixes(plan.stretch), fs::path(request.output).stem().string())));
    if (stopped()) return result;
  }

  result.error = EncodePictures(request, plan, decoder, video.TemporaryPath(), progress, result);
  if (!result.error.empty()) result.error = NameText(request.output) + ": " + result.error;
  if (stopped()) return result;
  result.pictures = static_cast<std::int64_t>(plan.stretch.pictures.size());
  result.seconds = static_cast<double>(plan.timesMs.back()) / 1000;
  if (request.sidecars) {
    const auto written = WrittenFile(video.TemporaryPath(), request.output);
    if (!written) {
      result.error = NameText(request.output) + ": the written video cannot be read back";
      return result;
    }
    record.damaged = result.damaged;
    record.outputs.push_back(*written);
    for (const auto& file : sidecars) record.outputs.push_back(Described(file->path, file->bytes));
  }
  if ((result.error = video.Commit()).size()) return result;
  result.written.push_back(request.output);
  if (request.sidecars) result.error = CommitAll(sidecars, &record, SidecarPath(request.output, ".json"), result.written);
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
  const auto fragment = WrittenFile(fragmentPath, fragmentPath);
  if (!fragment) return NameText(fragmentPath) + ": cannot be read back";
  record.outputs.push_back(*fragment);
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
