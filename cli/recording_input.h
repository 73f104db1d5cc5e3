// The one way every command opens the recording it was given, so that each says the same
// thing about input that is not a recording, and how a walk through it ended.
#pragma once

#include <cstdint>
#include <string>

#include "core/picture_walker.h"

namespace rovena::cli {

// Opens `path` and applies CheckRecording. The file still stands at its first byte. Returns
// why it is no recording, empty on success; `format` receives kFormatVga or kFormatCif.
std::string OpenRecording(Recording& recording, const std::string& path, int* format = nullptr);

// How a walk from the first picture forwards ended, for the message a command gives. Empty
// when it has not ended or reached the end of the file with every picture whole.
std::string WalkDamage(const WalkOutcome& outcome);

}  // namespace rovena::cli
