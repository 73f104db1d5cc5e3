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
#include "core/text_encoding.h"

namespace rovena::cli {
namespace {

constexpr long long kVgaPictures = 360;
constexpr long long kCifPictures = 150;

bool Report(const CommandReport& report, const std::string& error, const std::string& written) {
  if (!error.empty()) {
    report.Fail(error);
    return false;
  }
  std::printf("wrote %s\n", written.c_str());
  return true;
}

}  // namespace

int RunDemo(const std::vector<std::string>& argv) {
  CommandReport report("demo");
  const ParsedArgs args = ParseArgs(argv, "demo");
  if (!args.error.empty()) return report.Usage(args.error);
  if (args.positional.size() != 1) return report.Usage("name the folder to write into");
  const auto pictures = args.Option("--pictures") ? PositiveNumber(*args.Option("--pictures"))
                                                  : std::optional<long long>(kVgaPictures);
  if (!pictures || *pictures > 100000) return report.Usage("--pictures takes a number from 1 to 100000");

  const std::filesystem::path dir = args.positional[0];
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) return report.Fail("cannot create " + NameText(dir.string()) + ": " + ec.message());

  const std::string vga = (dir / "demo.m1v").string();
  const std::string trip = (dir / "trip").string();
  const std::string cif = (dir / "demo_cif.m1v").string();
  const std::string map = (dir / "map.gif").string();
  const int cifCount = static_cast<int>(std::min(*pictures, kCifPictures));
  const IfExists ifExists = ReplaceChoice(args);
  const bool ok = Report(report, WriteDemoDrive(vga, trip, static_cast<int>(*pictures), ifExists),
                         NameText(vga) + " and the trip " + NameText(trip)) &&
                  Report(report, WriteDemoRecording(cif, 320, 240, cifCount, ifExists), NameText(cif)) &&
                  Report(report, WriteDemoMap(map, ifExists), NameText(map));
  return ok ? kExitDone : kExitFailed;
}

}  // namespace rovena::cli
