// rovena-cli track: the GPS track of a recording as CSV or GPX, found by walking the
// recording with the same searches the viewer steps with.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "cli_commands.h"
#include "gps_track.h"
#include "options.h"
#include "recording.h"
#include "recording_input.h"

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

// Returns why the text could not be written, empty on success.
std::string Emit(const std::string& text, const std::optional<std::string>& output) {
  if (!output) {
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
    return written ? "" : "cannot write to standard output";
  }
  const std::string error =
      WriteFileAtomically(*output, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
  return error.empty() ? "" : "cannot write " + error;
}

}  // namespace

int RunTrack(const std::vector<std::string>& argv) {
  CommandReport report("track");
  const ParsedArgs args = ParseArgs(argv, {"--format", "-o"});
  if (!args.error.empty()) return report.Usage(args.error);
  if (args.positional.size() != 1) return report.Usage("name one recording");
  const std::string format = ChosenFormat(args);
  if (format != "csv" && format != "gpx") return report.Usage("unknown format '" + format + "'");

  const std::string& path = args.positional[0];
  Recording recording;
  if (const std::string error = OpenRecording(recording, path); !error.empty())
    return report.Fail(path + ": " + error);
  const TrackWalk walk = CollectTrack(recording);
  if (walk.pictures == 0) return report.Fail(path + ": no complete picture found");
  const std::string name = std::filesystem::path(path).filename().string();
  const std::string text = format == "gpx" ? TrackGpx(walk.fixes, name) : TrackCsv(walk.fixes);
  if (const std::string error = Emit(text, args.Option("-o")); !error.empty()) return report.Fail(error);
  const std::string damage = WalkDamage(recording, walk.stoppedOnPicture);
  return report.Finish(damage.empty(), path + ": the track stops at picture " + std::to_string(walk.pictures) +
                                           "; " + damage);
}

}  // namespace rovena::cli
