// The command line's words for a fragment that was not saved (the window has its own).
#pragma once

#include <string>

#include "core/fragment.h"

namespace rovena::cli {

std::string FragmentText(const FragmentResult& result, const std::string& outputPath, const std::string& recordingPath);

}  // namespace rovena::cli
