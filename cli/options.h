// A small parser for the subcommands' arguments: positional arguments and "--name value"
// options, each option given at most once.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace rovena::cli {

struct ParsedArgs {
  std::vector<std::string> positional;
  std::map<std::string, std::string> options;
  std::string error;  // empty when the arguments were understood

  std::optional<std::string> Option(const std::string& name) const;
};

// `known` lists the option names (with their dashes) that take a value.
ParsedArgs ParseArgs(const std::vector<std::string>& args, const std::set<std::string>& known);

// A whole positive decimal number, nothing else.
std::optional<long long> PositiveNumber(const std::string& text);

}  // namespace rovena::cli
