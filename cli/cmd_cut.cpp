#include <cstdio>

#include "cli_commands.h"

namespace rovena::cli {
int RunCut(const std::vector<std::string>&) {
  std::fprintf(stderr, "rovena-cli cut: not available yet\n");
  return 1;
}
}  // namespace rovena::cli
