#pragma once
// File names that real disks hold and careless programs mangle, and a way to run a program on
// them without a shell (no quoting can go wrong). Used by the CLI, export and archive tests.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern char** environ;

namespace rovena::test {

// Not UTF-8 (ISO-8859-2 "złódź"), a terminal escape and a bell, a line break, and the CSV,
// shell and escape characters together.
inline const std::vector<std::string> kHostileNames = {
    "z\xB3\xF3" "d\xBC.m1v",
    "red\x1B[31m\x07.m1v",
    "two\nlines.m1v",
    "back\\x41slash, \"quoted\" 'name'.m1v",
};

struct ProgramRun {
  int status = -1;
  std::string out, err;
};

// Runs `argv` (argv[0] a path) in the folder `scratch`, with stdout and stderr caught through
// files there.
inline ProgramRun RunProgram(const std::vector<std::string>& argv, const std::string& scratch) {
  const std::string outPath = scratch + "/.run_stdout", errPath = scratch + "/.run_stderr";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, scratch.c_str());
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  ProgramRun run;
  pid_t pid = 0;
  int status = 0;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0 && ::waitpid(pid, &status, 0) == pid)
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  posix_spawn_file_actions_destroy(&actions);
  const auto slurp = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  run.out = slurp(outPath);
  run.err = slurp(errPath);
  std::remove(outPath.c_str());
  std::remove(errPath.c_str());
  return run;
}

inline ProgramRun RunCli(std::vector<std::string> arguments, const std::string& scratch) {
  arguments.insert(arguments.begin(), std::string(ROVENA_BIN_DIR) + "/rovena-cli");
  return RunProgram(arguments, scratch);
}

// Whether `text` is what a terminal may be given: UTF-8 (python3 decodes it), no control
// characters but the line ends between lines.
inline bool SafeForTerminal(const std::string& text, const std::string& scratch) {
  for (const unsigned char c : text)
    if ((c < 0x20 && c != '\n') || c == 0x7F) return false;
  const std::string file = scratch + "/.terminal_text";
  std::ofstream(file, std::ios::binary) << text;
  return RunProgram({"/usr/bin/python3", "-c", "import sys; open(sys.argv[1], 'rb').read().decode('utf-8')", file},
                    scratch).status == 0;
}

}  // namespace rovena::test
