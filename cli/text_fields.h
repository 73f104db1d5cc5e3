// A name as a word the shell takes as it is, for the Rovena --at lines that find and events
// print.
#pragma once

#include <string>

namespace rovena::cli {

// Bare when it holds only harmless characters, else in single quotes, or in bash's $'...'
// when it holds bytes NameText escapes (the same escapes).
std::string ShellWord(const std::string& word);

}  // namespace rovena::cli
