// Each command's options, kept once: the parser's known options, the usage line, --help, the
// manual page and the bash completion are all produced from these tables (command_table.cpp),
// so none of them can name an option the others lack.
#pragma once

#include <string>
#include <vector>

namespace rovena::cli {

// Whether the command line must give an option. Consecutive kOneOf options form one group of
// which one is given ("(--near LAT,LON | --at T)"); kWithPrevious joins the option before it
// in such a group ("--from N --to M").
enum class Need { kOptional, kRequired, kOneOf, kWithPrevious };

// What the shell offers after the option.
enum class Offer { kNothing, kFile, kFolder, kWords, kTimeZones };

struct CliOption {
  const char* name;         // with its dashes: "--jobs", "-o"
  const char* value;        // the value's placeholder ("N", "csv|gpx"); nullptr for a flag
  std::string help;         // one sentence or two: unit, range (both ends), default
  Need need = Need::kOptional;
  Offer offer = Offer::kNothing;
  const char* words = "";   // for Offer::kWords: the words offered, separated by spaces
};

struct CliCommand {
  const char* name;
  const char* operands;     // what comes without an option name ("RECORDING|DIR", "PATH...")
  const char* summary;      // what the command does, one paragraph, for --help and the manual
  std::vector<CliOption> options;
  int (*run)(const std::vector<std::string>& args);
  bool writesFiles = false;  // writes files the user names, so takes --force
};

// Every command, in the order --help and the manual list them.
const std::vector<CliCommand>& AllCommands();
// The command named `name`, or nullptr.
const CliCommand* FindCommand(const std::string& name);

// "track RECORDING|DIR [--format csv|gpx] [-o FILE] [--jobs N] [--force]".
std::string UsageLine(const CliCommand& command);
// The whole of `rovena-cli COMMAND --help`.
std::string CommandHelp(const CliCommand& command);
// The whole of `rovena-cli --help`.
std::string ProgramHelp();
// packaging/rovena-cli.1 and packaging/rovena-cli.bash-completion as the tables make them.
std::string ManualPage();
std::string BashCompletion();

}  // namespace rovena::cli
