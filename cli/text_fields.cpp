#include "cli/text_fields.h"

#include "core/text_encoding.h"

namespace rovena::cli {

std::string ShellWord(const std::string& word) {
  if (!word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-./:+,") ==
                           std::string::npos)
    return word;
  const std::string text = NameText(word);
  const bool escaped = text != word;
  std::string quoted = escaped ? "$'" : "'";
  for (char c : text) quoted += c != '\'' ? std::string(1, c) : escaped ? "\\'" : "'\\''";
  return quoted + "'";
}

std::string Counted(long long count, const std::string& one, const std::string& many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace rovena::cli
