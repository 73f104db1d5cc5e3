// The guard every output passes: no file the program writes may land on a file it is reading.
//
// Inputs are known by their open descriptors, not their names: a recording renamed, linked or
// spelt differently since it was opened is still recognised, because the target is compared
// by device and inode with what each descriptor holds at the moment of writing. RecordingFile
// registers itself; other readers (a database, a sidecar being checked) register with
// GuardedInput. AtomicFileWriter asks OpenInputAt before it creates its temporary file and
// again just before the rename, so no writer needs a check of its own.
//
// Temporary files are listed too, so that a command stopped by SIGINT or SIGTERM can remove
// them (see RemoveTemporariesOnSignals); a kill -9 cannot be caught and may leave one behind.
#pragma once

#include <optional>
#include <string>

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

// The name the input was opened under, when `target` (links followed) is the same file as an
// input open now; nothing when it is not or does not exist yet.
std::optional<std::string> OpenInputAt(const std::string& target);

// The user-facing refusal for writing `target` over `input`.
std::string RefusalText(const std::string& target, const std::string& input);

// Temporary outputs in progress; the signal handler removes whatever is listed.
void ListTemporary(const std::string& path);
void UnlistTemporary(const std::string& path);

// Installs SIGINT and SIGTERM handlers that remove the listed temporary files and then end
// the process with the signal's usual status. For the command-line program.
void RemoveTemporariesOnSignals();

}  // namespace rovena
