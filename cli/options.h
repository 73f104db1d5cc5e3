// What every subcommand shares: its arguments (positional ones and "--name value" options,
// each given at most once, plus value-less flags) and the rule for its exit status.
//
// Exit status, the same for every command:
//   0  the command did everything asked; warnings on stderr may name damage passed over
//   1  it did not: one line on stderr says why (not a recording, nothing could be read or
//      decoded, the range asked for is empty or outside the recording, a write failed), or
//      damage kept part of what was asked from being produced
//   2  the command line was not understood
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/atomic_file.h"

namespace rovena::cli {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct ParsedArgs {
  std::vector<std::string> positional;
  std::map<std::string, std::string> options;
  std::set<std::string> flags;
  std::string error;  // empty when the arguments were understood

  std::optional<std::string> Option(const std::string& name) const;
  bool Flag(const std::string& name) const { return flags.count(name) != 0; }
};

// The options the table of the command named `command` lists; --quiet and --force are known
// to every command (main refuses --force for commands that write no file). Anything after
// "--" is positional.
ParsedArgs ParseArgs(const std::vector<std::string>& args, const std::string& command);

// --force, the one option of every command that writes files the user names: an existing
// file there is replaced. An input of the run is never replaced, --force or not.
extern const char* const kForceFlag;
IfExists ReplaceChoice(const ParsedArgs& args);

// Whether a summary line may go to standard output after `output` was written: not after a
// device or FIFO (-o /dev/stdout), where it would run into the data.
bool SummaryFits(const std::string& output);

// A whole decimal number from `min` to `max`, nothing else.
std::optional<long long> NumberInRange(const std::string& text, long long min, long long max);
// A whole positive decimal number, nothing else.
std::optional<long long> PositiveNumber(const std::string& text);

// --jobs N, the number of workers for batch work: from 1 to kMostJobs, the number of cores
// when not given. Nothing when the value is not such a number (then kJobsUsage says why).
constexpr int kMostJobs = 64;  // more gain nothing on any machine the viewer runs on
extern const char* const kJobsUsage;
std::optional<int> JobsOption(const ParsedArgs& args);

// Messages and exit status of one command run: every line starts "rovena-cli COMMAND: ", and
// each message is one line whatever a library or a file name put into it (TerminalLine).
class CommandReport {
 public:
  // The usage line is the one the option table gives `command`.
  explicit CommandReport(std::string command);
  CommandReport(std::string command, std::string usage)
      : command_(std::move(command)), usage_(std::move(usage)) {}

  // The command line was not understood: the reason and the usage line; returns kExitUsage.
  int Usage(const std::string& why) const;
  // The command failed: one line saying why; returns kExitFailed.
  int Fail(const std::string& why) const;
  // A plain remark on standard error ("0 passes found").
  void Note(const std::string& what) const;
  // Damage passed over; the run goes on.
  void Warn(const std::string& what);
  // kExitDone when everything asked was produced, else kExitFailed, saying `missing` when
  // it is given (leave it empty when a warning already said what is missing).
  int Finish(bool producedAll, const std::string& missing = {}) const;
  bool Warned() const { return warnings_ > 0; }

 private:
  std::string command_;
  std::string usage_;
  int warnings_ = 0;
};

}  // namespace rovena::cli
