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

namespace rovena::cli {
namespace {

int Usage(const std::string& why) {
  std::fprintf(stderr, "rovena-cli track: %s\nusage: rovena-cli track RECORDING [--format csv|gpx] [-o FILE]\n",
               why.c_str());
  return 2;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// An explicit --format wins; otherwise an output name ending in .gpx asks for GPX.
std::string ChosenFormat(const ParsedArgs& args) {
  if (auto format = args.Option("--format")) return *format;
  const std::string output = args.Option("-o").value_or("");
  return EndsWith(output, ".gpx") || EndsWith(output, ".GPX") ? "gpx" : "csv";
}

bool Emit(const std::string& text, const std::optional<std::string>& output) {
  if (!output) return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
  const std::string error =
      WriteFileAtomically(*output, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
  if (!error.empty()) std::fprintf(stderr, "rovena-cli track: cannot write %s\n", error.c_str());
  return error.empty();
}

}  // namespace

int RunTrack(const std::vector<std::string>& argv) {
  const ParsedArgs args = ParseArgs(argv, {"--format", "-o"});
  if (!args.error.empty()) return Usage(args.error);
  if (args.positional.size() != 1) return Usage("name one recording");
  const std::string format = ChosenFormat(args);
  if (format != "csv" && format != "gpx") return Usage("unknown format '" + format + "'");

  const std::string& path = args.positional[0];
  Recording recording;
  std::string error;
  if (!recording.Open(path, error)) {
    std::fprintf(stderr, "rovena-cli track: %s: %s\n", path.c_str(), error.c_str());
    return 1;
  }
  const TrackWalk walk = CollectTrack(recording);
  const std::string name = std::filesystem::path(path).filename().string();
  const std::string text = format == "gpx" ? TrackGpx(walk.fixes, name) : TrackCsv(walk.fixes);
  if (!Emit(text, args.Option("-o"))) return 1;
  if (recording.File().HadIoError()) {
    std::fprintf(stderr, "rovena-cli track: %s: read error, the track may be incomplete\n", path.c_str());
    return 1;
  }
  if (!walk.complete) {
    std::fprintf(stderr, "rovena-cli track: %s: stopped at byte %lld, the rest could not be read\n",
                 path.c_str(), static_cast<long long>(walk.stoppedAt));
    return 1;
  }
  return 0;
}

}  // namespace rovena::cli
