#include "options.h"

#include <charconv>

namespace rovena::cli {

std::optional<std::string> ParsedArgs::Option(const std::string& name) const {
  const auto it = options.find(name);
  if (it == options.end()) return std::nullopt;
  return it->second;
}

ParsedArgs ParseArgs(const std::vector<std::string>& args, const std::set<std::string>& known) {
  ParsedArgs parsed;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() < 2 || arg[0] != '-') {
      parsed.positional.push_back(arg);
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

std::optional<long long> PositiveNumber(const std::string& text) {
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 1) return std::nullopt;
  return value;
}

}  // namespace rovena::cli
