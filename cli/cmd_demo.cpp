// rovena-cli demo: a demo recording of each frame size, the 640 x 480 drive once more as a
// trip of three recordings with a stop between two of them, and the map that goes with them,
// so that the viewer can be tried without a recorder.
#include <cstdio>
#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_commands.h"
#include "tools/demo_drive.h"
#include "tools/demo_map.h"
#include "cli/options.h"

namespace rovena::cli {
namespace {

constexpr long long kVgaPictures = 360;
constexpr long long kCifPictures = 150;

int Usage(const std::string& why) {
  std::fprintf(stderr, "rovena-cli demo: %s\nusage: rovena-cli demo DIR [--pictures N]\n", why.c_str());
  return 2;
}

bool Report(const std::string& error, const std::string& path) {
  if (error.empty()) {
    std::printf("wrote %s\n", path.c_str());
    return true;
  }
  std::fprintf(stderr, "rovena-cli demo: %s\n", error.c_str());
  return false;
}

}  // namespace

int RunDemo(const std::vector<std::string>& argv) {
  const ParsedArgs args = ParseArgs(argv, {"--pictures"});
  if (!args.error.empty()) return Usage(args.error);
  if (args.positional.size() != 1) return Usage("name the folder to write into");
  const auto pictures = args.Option("--pictures") ? PositiveNumber(*args.Option("--pictures"))
                                                  : std::optional<long long>(kVgaPictures);
  if (!pictures || *pictures > 100000) return Usage("--pictures takes a number from 1 to 100000");

  const std::filesystem::path dir = args.positional[0];
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) return Report("cannot create " + dir.string() + ": " + ec.message(), ""), 1;

  const std::string vga = (dir / "demo.m1v").string();
  const std::string trip = (dir / "trip").string();
  const std::string cif = (dir / "demo_cif.m1v").string();
  const std::string map = (dir / "map.gif").string();
  const int cifCount = static_cast<int>(std::min(*pictures, kCifPictures));
  const bool ok = Report(WriteDemoDrive(vga, trip, static_cast<int>(*pictures)), vga + " and the trip " + trip) &&
                  Report(WriteDemoRecording(cif, 320, 240, cifCount), cif) &&
                  Report(WriteDemoMap(map), map);
  return ok ? 0 : 1;
}

}  // namespace rovena::cli
