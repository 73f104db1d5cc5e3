#include <cstdio>

#include "cli_commands.h"

namespace rovena::cli {
int RunInfo(const std::vector<std::string>& args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "usage: rovena-cli info RECORDING\n");
    return 2;
  }
  std::fprintf(stderr, "rovena-cli info: not available yet\n");
  return 1;
}
}  // namespace rovena::cli
