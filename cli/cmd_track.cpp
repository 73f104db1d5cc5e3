#include <cstdio>

#include "cli_commands.h"

namespace rovena::cli {
int RunTrack(const std::vector<std::string>&) {
  std::fprintf(stderr, "rovena-cli track: not available yet\n");
  return 1;
}
}  // namespace rovena::cli
