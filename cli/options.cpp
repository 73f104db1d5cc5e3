#include "cli/options.h"

#include "cli/command_table.h"
#include "cli/progress.h"
#include "core/text_encoding.h"

#include <charconv>
#include <filesystem>
#include <algorithm>
#include <limits>
#include <thread>
#include <cstdio>

namespace rovena::cli {

std::optional<std::string> ParsedArgs::Option(const std::string& name) const {
  const auto it = options.find(name);
  if (it == options.end()) return std::nullopt;
  return it->second;
}

ParsedArgs ParseArgs(const std::vector<std::string>& args, const std::string& command) {
  std::set<std::string> known, knownFlags;
  if (const CliCommand* table = FindCommand(command))
    for (const CliOption& option : table->options) (option.value ? known : knownFlags).insert(option.name);
  ParsedArgs parsed;
  bool onlyPositional = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (onlyPositional || arg.size() < 2 || arg[0] != '-') {
      parsed.positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      onlyPositional = true;
      continue;
    }
    // Every command takes --quiet: it silences the progress line.
    if (knownFlags.count(arg) || arg == "--quiet" || arg == kForceFlag) {
      if (!parsed.flags.insert(arg).second) {
        parsed.error = "option " + arg + " given twice";
        return parsed;
      }
      continue;
    }
    if (!known.count(arg)) {
      parsed.error = "unknown option " + arg;
      return parsed;
    }
    if (i + 1 >= args.size()) {
      parsed.error = "option " + arg + " needs a value";
      return parsed;
    }
    if (!parsed.options.emplace(arg, args[++i]).second) {
      parsed.error = "option " + arg + " given twice";
      return parsed;
    }
  }
  return parsed;
}

const char* const kForceFlag = "--force";

IfExists ReplaceChoice(const ParsedArgs& args) { return args.Flag(kForceFlag) ? IfExists::Replace : IfExists::Refuse; }

bool SummaryFits(const std::string& output) {
  std::error_code error;
  return std::filesystem::is_regular_file(output, error);
}

std::optional<long long> NumberInRange(const std::string& text, long long min, long long max) {
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < min || value > max)
    return std::nullopt;
  return value;
}

std::optional<long long> PositiveNumber(const std::string& text) {
  return NumberInRange(text, 1, std::numeric_limits<long long>::max());
}

CommandReport::CommandReport(std::string command) : command_(std::move(command)) {
  if (const CliCommand* table = FindCommand(command_)) usage_ = UsageLine(*table);
}

const char* const kJobsUsage = "--jobs takes a number of workers from 1 to 64";

std::optional<int> JobsOption(const ParsedArgs& args) {
  const unsigned cores = std::thread::hardware_concurrency();
  const int fallback = cores == 0 ? 1 : static_cast<int>(std::min<unsigned>(cores, kMostJobs));
  const auto jobs = args.Option("--jobs");
  if (!jobs) return fallback;
  const auto value = NumberInRange(*jobs, 1, kMostJobs);
  if (!value) return std::nullopt;
  return static_cast<int>(*value);
}

int CommandReport::Usage(const std::string& why) const {
  std::fprintf(stderr, "rovena-cli %s: %s\nusage: rovena-cli %s\n", command_.c_str(), TerminalLine(why).c_str(),
               usage_.c_str());
  return kExitUsage;
}

int CommandReport::Fail(const std::string& why) const {
  ClearProgressLine();
  std::fprintf(stderr, "rovena-cli %s: %s\n", command_.c_str(), TerminalLine(why).c_str());
  return kExitFailed;
}

void CommandReport::Note(const std::string& what) const {
  ClearProgressLine();
  std::fprintf(stderr, "rovena-cli %s: %s\n", command_.c_str(), TerminalLine(what).c_str());
}

void CommandReport::Warn(const std::string& what) {
  ++warnings_;
  ClearProgressLine();
  std::fprintf(stderr, "rovena-cli %s: warning: %s\n", command_.c_str(), TerminalLine(what).c_str());
}

int CommandReport::Finish(bool producedAll, const std::string& missing) const {
  if (producedAll) return kExitDone;
  if (!missing.empty()) return Fail(missing);
  return kExitFailed;
}

}  // namespace rovena::cli
