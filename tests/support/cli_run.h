#pragma once
// Runs rovena-cli from the build as a user would and keeps what it printed on standard output
// (standard error is dropped) and its exit status. Header-only, for every test binary.
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace rovena::test {

struct CliRun {
  int status = -1;
  std::string out;
};

inline CliRun Cli(const std::string& arguments) {
  CliRun run;
  FILE* pipe = popen((std::string(ROVENA_BIN_DIR) + "/rovena-cli " + arguments + " 2>/dev/null").c_str(), "r");
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace rovena::test
