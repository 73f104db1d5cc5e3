// The guard every output passes: no file the program writes may land on an input of the
// running operation, by any name.
//
// The inputs are:
//   - recordings held open (RecordingFile registers its descriptor with GuardedInput), known
//     by device and inode of the descriptor at the moment of writing, so a recording renamed,
//     linked or spelt differently since it was opened is still recognised;
//   - files read without being held open (InputFiles): every recording of a trip an operation
//     reads, an archive and its side files. Each is known by its identity when registered and
//     by its name in its folder (the folder by identity), so that a side file not made yet is
//     known too;
//   - the run's own outputs (GuardedOutput): each is an input of every other writer while it
//     is written and, while an OutputRun lives, for the rest of the run once written.
// AtomicFileWriter asks InputAt before it creates its temporary file and again just before
// the rename, so no writer needs a check of its own.
//
// Temporary files are listed too, so that a command stopped by SIGINT or SIGTERM can remove
// them (see RemoveTemporariesOnSignals); a kill -9 cannot be caught and may leave one behind.
#pragma once

#include <signal.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace rovena {

// Registers the open descriptor `fd` (read from `path`) as an input for as long as it lives.
class GuardedInput {
 public:
  GuardedInput() = default;
  GuardedInput(int fd, std::string path) { Register(fd, std::move(path)); }
  ~GuardedInput() { Unregister(); }
  GuardedInput(const GuardedInput&) = delete;
  GuardedInput& operator=(const GuardedInput&) = delete;

  void Register(int fd, std::string path);
  void Unregister();

 private:
  int fd_ = -1;
};

// Files an operation reads without holding them open, registered as inputs for as long as
// any copy of the object lives. A path that does not exist yet is registered by its name.
class InputFiles {
 public:
  InputFiles() = default;
  explicit InputFiles(const std::vector<std::string>& paths);

 private:
  struct Registration;
  std::shared_ptr<const Registration> registration_;
};

// One output of the run, registered under its target's name from Begin and under the written
// file's identity from Written.
class GuardedOutput {
 public:
  GuardedOutput();
  ~GuardedOutput();
  GuardedOutput(const GuardedOutput&) = delete;
  GuardedOutput& operator=(const GuardedOutput&) = delete;

  void Begin(const std::string& target);
  // The file is in place at `target`: it stays an input while an OutputRun lives, and is
  // forgotten at once otherwise (each save of the window is a run of its own).
  void Written(const std::string& target);
  // The output was not written after all.
  void Drop();

 private:
  struct Registration;
  std::unique_ptr<Registration> registration_;
};

// While one lives, every output written stays an input until the last one ends. The
// command-line program holds one for each command.
class OutputRun {
 public:
  OutputRun();
  ~OutputRun();
  OutputRun(const OutputRun&) = delete;
  OutputRun& operator=(const OutputRun&) = delete;
};

// The name the input was registered under, when a write to `target` would land on one
// (links and other spellings followed); nothing otherwise. `self`, a writer's own output, is
// left out.
std::optional<std::string> InputAt(const std::string& target, const GuardedOutput* self = nullptr);

// Where a write to `path` lands: absolute, every symbolic link followed (a last one that
// dangles too, since writing through it creates the file it names).
std::string ResolvedPath(const std::string& path);

// The user-facing refusal for writing `target` over `input`.
std::string RefusalText(const std::string& target, const std::string& input);

// A hidden name ".NAME.XXXXXX" beside `target` (already resolved) that no file has yet, most
// likely: six random characters, NAME shortened so that the whole fits the folder's limit.
std::string HiddenNameFor(const std::string& target);

// Creates the hidden temporary file ".NAME.XXXXXX" for `target` (already resolved) beside
// it, listed for removal on a signal before it exists. Returns its descriptor, or -1 with
// errno set (ECANCELED once a signal has stopped the program). `temporary` receives its path.
int CreateTemporaryFor(const std::string& target, std::string& temporary);
// The temporary file is gone or in place: the signal handler leaves it alone.
void UnlistTemporary(const std::string& path);

// A few renames that must not be cut in two by a signal: the signal handler waits until the
// section is left. Entered() is false once a signal has stopped the program.
class SignalSafeSection {
 public:
  SignalSafeSection();
  ~SignalSafeSection();
  SignalSafeSection(const SignalSafeSection&) = delete;
  SignalSafeSection& operator=(const SignalSafeSection&) = delete;
  bool Entered() const { return entered_; }

 private:
  bool entered_ = false;
  sigset_t savedMask_;  // the thread's signal mask, restored on leaving
};

// Installs SIGINT and SIGTERM handlers that stop new temporary files, wait for every
// SignalSafeSection to be left, remove the listed temporary files and then end the process
// with the signal's usual status. For the command-line program.
void RemoveTemporariesOnSignals();

}  // namespace rovena
