// rovena-cli: batch work on recordings without a window.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli_commands.h"

namespace {

struct Command {
  const char* name;
  const char* usage;
  int (*run)(const std::vector<std::string>& args);
};

const Command kCommands[] = {
    {"info", "info RECORDING", rovena::cli::RunInfo},
    {"frames", "frames RECORDING -o DIR [--first N] [--count K] [--y4m FILE]", rovena::cli::RunFrames},
    {"track", "track RECORDING [--format csv|gpx] [-o FILE]", rovena::cli::RunTrack},
    {"cut", "cut RECORDING --from N --to M -o FILE", rovena::cli::RunCut},
    {"demo", "demo DIR", rovena::cli::RunDemo},
    {"export", "export RECORDING --from N --to M -o CLIP.mp4 [--overlay LIST] [--scale 1|2] [--crf N] [--pace S] [--jobs N] [--no-sidecars]", rovena::cli::RunExport},
    {"verify-export", "verify-export NAME.json", rovena::cli::RunVerifyExport},
};

void PrintHelp(FILE* out) {
  std::fprintf(out, "Usage: rovena-cli COMMAND [ARGS]\n\nCommands:\n");
  for (const Command& c : kCommands) std::fprintf(out, "  %s\n", c.usage);
  std::fprintf(out, "  --help\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    PrintHelp(argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  const std::vector<std::string> args(argv + 2, argv + argc);
  for (const Command& c : kCommands)
    if (std::strcmp(argv[1], c.name) == 0) return c.run(args);
  std::fprintf(stderr, "rovena-cli: unknown command '%s' (try --help)\n", argv[1]);
  return 2;
}
