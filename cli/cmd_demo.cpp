#include <cstdio>

#include "cli_commands.h"

namespace rovena::cli {
int RunDemo(const std::vector<std::string>&) {
  std::fprintf(stderr, "rovena-cli demo: not available yet\n");
  return 1;
}
}  // namespace rovena::cli
