#pragma once
// Commands run as a user whom file permissions bind. Root passes every permission check, so
// as root (the CI runs as root) the command runs as `nobody` through runuser; any other user
// runs it as themselves. The files it needs must be readable (or writable) by others.
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <string>

namespace rovena::test {

// `command` as the shell should run it, or nothing when root has no runuser to drop to.
inline std::optional<std::string> Unprivileged(const std::string& command) {
  if (::geteuid() != 0) return command;
  if (::access("/usr/sbin/runuser", X_OK) != 0) return std::nullopt;
  return "/usr/sbin/runuser -u nobody -- " + command;
}

struct CommandOutput {
  int status = -1;
  std::string output;  // standard output and error together
};

inline CommandOutput RunCommand(const std::string& command) {
  CommandOutput result;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.output.append(buffer, n);
  const int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace rovena::test
