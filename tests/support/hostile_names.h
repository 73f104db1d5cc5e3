#pragma once
// File names real disks hold and careless programs mangle, and a way to run a program on them
// without a shell, so no quoting can go wrong. Used by the CLI, export and archive tests.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace rovena::test {

// ISO-8859-2 "złódź" (not UTF-8), a terminal escape and a bell, a line break, and the CSV,
// shell and escape characters together.
inline const std::vector<std::string> kHostileNames = {"z\xB3\xF3" "d\xBC.m1v", "red\x1B[31m\x07.m1v",
                                                       "two\nlines.m1v", "back\\x41slash, \"quoted\" 'name'.m1v"};

struct ProgramRun {
  int status = -1;
  std::string out, err;
};

// Runs `argv` (argv[0] a full path) in the folder `dir`, its output caught in files there.
inline ProgramRun RunProgram(const std::vector<std::string>& argv, const std::string& dir) {
  const std::string out = dir + "/.stdout", err = dir + "/.stderr";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  ProgramRun run;
  pid_t pid = 0;
  int status = 0;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0 && waitpid(pid, &status, 0) == pid)
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  posix_spawn_file_actions_destroy(&actions);
  std::ifstream outText(out, std::ios::binary), errText(err, std::ios::binary);
  run.out.assign(std::istreambuf_iterator<char>(outText), {});
  run.err.assign(std::istreambuf_iterator<char>(errText), {});
  return run;
}

inline ProgramRun RunCli(std::vector<std::string> arguments, const std::string& dir) {
  arguments.insert(arguments.begin(), std::string(ROVENA_BIN_DIR) + "/rovena-cli");
  return RunProgram(arguments, dir);
}

// What python3 prints running `script` on the file at sys.argv[1], which is given `content`.
inline std::string Python(const std::string& script, const std::string& content, const std::string& dir) {
  std::ofstream(dir + "/.checked", std::ios::binary) << content;
  const ProgramRun run = RunProgram({"/usr/bin/python3", "-c", script, dir + "/.checked"}, dir);
  return run.status == 0 ? run.out : "python3 failed: " + run.err;
}

// Text a terminal may be given: UTF-8, and no control character but the line ends.
inline bool SafeForTerminal(const std::string& text, const std::string& dir) {
  for (const unsigned char c : text)
    if ((c < 0x20 && c != '\n') || c == 0x7F) return false;
  return Python("import sys; open(sys.argv[1], 'rb').read().decode('utf-8')", text, dir).empty();
}

}  // namespace rovena::test
