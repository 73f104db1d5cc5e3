// rovena-cli: batch work on recordings without a window.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli_commands.h"
#include "cli/options.h"
#include "core/output_guard.h"
#include "core/text_encoding.h"

namespace rovena::cli {
namespace {

struct Command {
  const char* name;
  const char* usage;
  int (*run)(const std::vector<std::string>& args);
  bool writesFiles = false;  // writes files the user names, so takes --force
};

constexpr bool kWritesFiles = true;

const Command kCommands[] = {
    {"info", "info RECORDING [--json]", RunInfo},
    {"frames", "frames RECORDING -o DIR [--first N] [--count K] [--y4m FILE] [--jobs N]", RunFrames, kWritesFiles},
    {"track", "track RECORDING|DIR [--format csv|gpx] [-o FILE] [--jobs N]", RunTrack, kWritesFiles},
    {"cut", "cut RECORDING|DIR --from N|FILE:N --to M|FILE:M -o FILE [--sidecars] [--across-gaps]", RunCut, kWritesFiles},
    {"demo", "demo DIR [--pictures N]", RunDemo, kWritesFiles},
    {"trip", "trip DIR [--format text|csv|json] [--quick]", RunTrip},
    {"index", "index PATH... [--db URL] [--jobs N] [--prune]", RunIndex},
    {"find",
     "find --near LAT,LON [--radius M] [--from T] [--to T] | --at T | --event KIND [--near LAT,LON [--radius M]] "
     "[--from T] [--to T] [--db URL] [--format text|csv|json]",
     RunFind},
    {"verify", "verify [--db URL] [PATH...]", RunVerify},
    {"events", "events RECORDING|DIR [--limit KMH] [--format text|csv|json]", RunEvents},
    {"export", "export RECORDING|DIR --from N|FILE:N --to M|FILE:M | --event N [--before S] [--after S] [--limit KMH] -o CLIP.mp4 [--overlay time,speed,position|none] [--band below|over] [--tz ZONE] [--scale 1|2] [--crf N] [--pace S] [--jobs N] [--no-sidecars] [--redact BOXES.json|faces,plates]", RunExport, kWritesFiles},
    {"verify-export", "verify-export NAME.json [--outputs-only]", RunVerifyExport},
    {"redact", "redact RECORDING|DIR --from N|FILE:N --to M|FILE:M -o BOXES.json [--detect faces,plates] [--jobs N]",
     RunRedact, kWritesFiles},
};

std::string UsageLine(const Command& c) { return std::string(c.usage) + (c.writesFiles ? " [--force]" : ""); }

void PrintHelp(FILE* out) {
  std::fprintf(out, "Usage: rovena-cli COMMAND [ARGS]\n\nCommands:\n");
  for (const Command& c : kCommands) std::fprintf(out, "  %s\n", UsageLine(c).c_str());
  std::fprintf(out,
               "  COMMAND --help\n  --version\n\nEvery command takes --quiet (no progress line).\n"
               "%s\n\n%s",
               kForceHelp, kExitStatusHelp);
}

bool AsksForHelp(const std::vector<std::string>& args) {
  return std::find(args.begin(), args.end(), "--help") != args.end();
}

// --force among the options (not after "--").
bool GivesForce(const std::vector<std::string>& args) {
  return std::find(args.begin(), std::find(args.begin(), args.end(), "--"), kForceFlag) != args.end();
}

std::string CommandsThatWrite() {
  std::string names;
  for (const Command& c : kCommands)
    if (c.writesFiles) names += (names.empty() ? "" : ", ") + std::string(c.name);
  return names;
}

}  // namespace

std::string UsageOf(const std::string& command) {
  for (const Command& c : kCommands)
    if (command == c.name) return UsageLine(c);
  return {};
}

}  // namespace rovena::cli

int main(int argc, char** argv) {
  using namespace rovena::cli;
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    PrintHelp(argc < 2 ? stderr : stdout);
    return argc < 2 ? kExitUsage : kExitDone;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("rovena-cli %s\n", ROVENA_VERSION);
    return kExitDone;
  }
  // An interrupted command leaves no half-written output behind.
  rovena::RemoveTemporariesOnSignals();
  const std::vector<std::string> args(argv + 2, argv + argc);
  for (const Command& c : kCommands) {
    if (std::strcmp(argv[1], c.name) != 0) continue;
    if (AsksForHelp(args)) {
      std::printf("usage: rovena-cli %s\n\n", UsageLine(c).c_str());
      if (c.writesFiles) std::printf("%s\n\n", kForceHelp);
      std::printf("%s", kExitStatusHelp);
      return kExitDone;
    }
    if (!c.writesFiles && GivesForce(args))
      return CommandReport(c.name).Usage(std::string(kForceFlag) + " is only for " + CommandsThatWrite());
    // Every file written is an input for the rest of the command: nothing it wrote is replaced.
    const rovena::OutputRun run;
    return c.run(args);
  }
  std::fprintf(stderr, "rovena-cli: unknown command '%s' (try --help)\n", rovena::TerminalLine(argv[1]).c_str());
  return kExitUsage;
}
