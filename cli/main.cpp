// rovena-cli: batch work on recordings without a window.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/command_table.h"
#include "cli/options.h"
#include "core/atomic_file.h"
#include "core/output_guard.h"
#include "core/text_encoding.h"

namespace rovena::cli {
namespace {

bool AsksForHelp(const std::vector<std::string>& args) {
  return std::find(args.begin(), args.end(), "--help") != args.end();
}

// --force among the options (not after "--").
bool GivesForce(const std::vector<std::string>& args) {
  return std::find(args.begin(), std::find(args.begin(), args.end(), "--"), kForceFlag) != args.end();
}

std::string CommandsThatWrite() {
  std::string names;
  for (const CliCommand& c : AllCommands())
    if (c.writesFiles) names += (names.empty() ? "" : ", ") + std::string(c.name);
  return names;
}

// The build's way to keep the packaged manual page and completion what the tables make
// (cmake --build build --target cli-docs); not listed in --help.
int WriteDocs(const std::string& folder) {
  const std::pair<const char*, std::string> docs[] = {{"rovena-cli.1", ManualPage()},
                                                      {"rovena-cli.bash-completion", BashCompletion()}};
  for (const auto& [name, text] : docs) {
    const std::string path = (std::filesystem::path(folder) / name).string();
    const std::string error = WriteFileAtomically(path, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()},
                                                  IfExists::Replace);
    if (!error.empty()) {
      std::fprintf(stderr, "rovena-cli: cannot write %s\n", TerminalLine(error).c_str());
      return kExitFailed;
    }
  }
  return kExitDone;
}

int RunCommand(const CliCommand& command, const std::vector<std::string>& args) {
  if (AsksForHelp(args)) {
    std::printf("%s", CommandHelp(command).c_str());
    return kExitDone;
  }
  if (!command.writesFiles && GivesForce(args))
    return CommandReport(command.name).Usage(std::string(kForceFlag) + " is only for " + CommandsThatWrite());
  // Every file written is an input for the rest of the command: nothing it wrote is replaced.
  const OutputRun run;
  return command.run(args);
}

}  // namespace
}  // namespace rovena::cli

int main(int argc, char** argv) {
  using namespace rovena::cli;
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::fprintf(argc < 2 ? stderr : stdout, "%s", ProgramHelp().c_str());
    return argc < 2 ? kExitUsage : kExitDone;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("rovena-cli %s\n", ROVENA_VERSION);
    return kExitDone;
  }
  if (std::strcmp(argv[1], "--write-docs") == 0 && argc == 3) return WriteDocs(argv[2]);
  // An interrupted command leaves no half-written output behind.
  rovena::RemoveTemporariesOnSignals();
  if (const CliCommand* command = FindCommand(argv[1])) return RunCommand(*command, {argv + 2, argv + argc});
  std::fprintf(stderr, "rovena-cli: unknown command '%s' (try --help)\n", rovena::TerminalLine(argv[1]).c_str());
  return kExitUsage;
}
