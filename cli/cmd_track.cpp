// rovena-cli track: the GPS track of a recording, or of a folder's recordings as one trip, as
// CSV or GPX, found by walking each recording picture by picture as the viewer steps.
#include <algorithm>
#include <atomic>
#include <span>
#include <cstdio>
#include <mutex>
#include <thread>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/atomic_file.h"
#include "cli/cli_commands.h"
#include "core/gps_track.h"
#include "cli/options.h"
#include "core/recording.h"
#include "core/text_encoding.h"
#include "cli/progress.h"
#include "cli/recording_input.h"
#include "cli/text_fields.h"
#include "cli/trip_scan.h"

namespace rovena::cli {
namespace {

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// An explicit --format wins; otherwise an output name ending in .gpx asks for GPX.
std::string ChosenFormat(const ParsedArgs& args) {
  if (auto format = args.Option("--format")) return *format;
  const std::string output = args.Option("-o").value_or("");
  return EndsWith(output, ".gpx") || EndsWith(output, ".GPX") ? "gpx" : "csv";
}

// What the summary line counts: the GPX's points, or the CSV's rows (one per GPS sentence).
std::string WrittenCount(const std::string& format, const std::vector<std::span<const GpsFix>>& parts) {
  long long count = 0;
  for (const auto& fixes : parts)
    count += format == "gpx" ? std::count_if(fixes.begin(), fixes.end(), IsTrackPoint) : static_cast<long long>(fixes.size());
  return format == "gpx" ? Counted(count, "track point", "track points") : Counted(count, "GPS sentence", "GPS sentences");
}

// Returns why the text could not be written, empty on success. A file written gets a summary
// line saying what it holds; on standard output the track is all there is.
std::string Emit(const std::string& text, const ParsedArgs& args, const std::string& written) {
  const std::optional<std::string> output = args.Option("-o");
  if (!output) {
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
    return written ? "" : "cannot write to standard output";
  }
  const std::string error = WriteFileAtomically(
      *output, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, ReplaceChoice(args));
  if (!error.empty()) return "cannot write " + error;
  if (SummaryFits(*output)) std::printf("wrote %s (%s)\n", NameText(*output).c_str(), written.c_str());
  return {};
}

struct WalkedRecording {
  std::vector<GpsFix> fixes;
  std::string damage;  // why the walk stopped short, "" when it reached the end
};

// Walks the trip's recordings on `jobs` workers, each with its own file handles; a worker
// takes the next recording not yet taken.
void WalkInParallel(const Trip& trip, int jobs, std::vector<WalkedRecording>& walked, Progress& progress) {
  std::atomic<std::size_t> next{0};
  std::mutex progressMutex;
  std::int64_t bytesDone = 0, done = 0;
  const auto work = [&] {
    for (std::size_t i; (i = next++) < trip.Size();) {
      const TripRecording& r = trip.Recordings()[i];
      Recording recording;
      walked[i].damage = OpenRecording(recording, r.path);
      if (walked[i].damage.empty()) {
        TrackWalk walk = CollectTrack(recording);
        walked[i].damage = WalkDamage(walk.outcome);
        walked[i].fixes = std::move(walk.fixes);
      }
      const std::lock_guard lock(progressMutex);
      progress.Update(bytesDone += r.bytes, ++done);
    }
  };
  std::vector<std::thread> workers;
  for (int w = 1; w < jobs; ++w) workers.emplace_back(work);
  work();
  for (std::thread& worker : workers) worker.join();
}

// The track of every recording of the folder's trip, in trip order, a new GPX segment after
// each gap or overlap. Recordings that cannot be walked to their end are named and passed over in part.
int TrackFolder(const std::string& folder, const std::string& format, int jobs, const ParsedArgs& args,
                CommandReport& report) {
  std::string error;
  // The trip holds its recordings as inputs while it lives: the output lands on none of them.
  const Trip trip = ScanTrip(folder, false, args.Flag("--quiet"), &error);
  if (!error.empty()) return report.Fail(NameText(folder) + ": " + error);
  if (trip.Empty()) return report.Fail(NameText(folder) + ": no recordings in this folder");

  std::int64_t totalBytes = 0;
  for (const TripRecording& r : trip.Recordings()) totalBytes += r.bytes;
  std::vector<WalkedRecording> walked(trip.Size());
  {
    Progress progress(args.Flag("--quiet"), totalBytes, "recordings");
    WalkInParallel(trip, jobs, walked, progress);
  }
  // Messages and parts in trip order, whatever order the workers finished in.
  std::vector<TrackPart> parts;
  bool whole = true;
  for (std::size_t i = 0; i < trip.Size(); ++i) {
    if (!walked[i].damage.empty()) {
      report.Warn(NameText(trip.Recordings()[i].name) + ": " + walked[i].damage);
      whole = false;
    }
    parts.push_back({trip.Recordings()[i].name, walked[i].fixes, i > 0 && !trip.FollowsOn(i)});
  }
  // The folder's own name ("2007_06_14" for "…/2007_06_14/") names the track.
  const std::filesystem::path normal = std::filesystem::absolute(folder).lexically_normal();
  const std::string name = (normal.has_filename() ? normal : normal.parent_path()).filename().string();
  const std::string text = format == "gpx" ? TrackGpx(parts, name) : TrackCsv(parts);
  std::vector<std::span<const GpsFix>> fixes;
  for (const TrackPart& part : parts) fixes.push_back(part.fixes);
  if (const std::string writeError = Emit(text, args, WrittenCount(format, fixes)); !writeError.empty())
    return report.Fail(writeError);
  return report.Finish(whole);
}

}  // namespace

int RunTrack(const std::vector<std::string>& argv) {
  CommandReport report("track");
  const ParsedArgs args = ParseArgs(argv, "track");
  if (!args.error.empty()) return report.Usage(args.error);
  if (args.positional.size() != 1) return report.Usage("name one recording or folder");
  if (args.Option("-o") == "") return report.Usage("-o takes a file name");
  const std::string format = ChosenFormat(args);
  if (format != "csv" && format != "gpx") return report.Usage("unknown format '" + format + "'");
  const std::optional<int> jobs = JobsOption(args);
  if (!jobs) return report.Usage(kJobsUsage);

  const std::string& path = args.positional[0];
  std::error_code notFolder;
  if (std::filesystem::is_directory(path, notFolder)) return TrackFolder(path, format, *jobs, args, report);
  Recording recording;
  if (const std::string error = OpenRecording(recording, path); !error.empty())
    return report.Fail(NameText(path) + ": " + error);
  const TrackWalk walk = CollectTrack(recording);
  const std::string name = std::filesystem::path(path).filename().string();
  const std::string text = format == "gpx" ? TrackGpx(walk.fixes, name) : TrackCsv(walk.fixes);
  if (const std::string error = Emit(text, args, WrittenCount(format, {walk.fixes})); !error.empty())
    return report.Fail(error);
  const std::string damage = WalkDamage(walk.outcome);
  return report.Finish(damage.empty(), NameText(path) + ": the track stops at picture " + std::to_string(walk.pictures) +
                                           "; " + damage);
}

}  // namespace rovena::cli
