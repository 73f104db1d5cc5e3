#include <cstdio>

#include "cli_commands.h"

namespace rovena::cli {
int RunFrames(const std::vector<std::string>&) {
  std::fprintf(stderr, "rovena-cli frames: not available yet\n");
  return 1;
}
}  // namespace rovena::cli
