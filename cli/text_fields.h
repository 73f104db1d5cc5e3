// A name as a word the shell takes as it is, for the Rovena --at lines that find and events
// print.
#pragma once

#include <string>

namespace rovena::cli {

// Bare when it holds only harmless characters, else in single quotes, or in bash's $'...'
// when it holds bytes NameText escapes (the same escapes).
std::string ShellWord(const std::string& word);

// "1 file", "2 files", "0 passes": a count with its noun in the number it calls for.
std::string Counted(long long count, const std::string& one, const std::string& many);

}  // namespace rovena::cli
