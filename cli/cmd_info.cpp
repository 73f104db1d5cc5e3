#include <cstdio>

#include "cli_commands.h"

namespace rovena::cli {
int RunInfo(const std::vector<std::string>&) {
  std::fprintf(stderr, "rovena-cli info: not available yet\n");
  return 1;
}
}  // namespace rovena::cli
