// The one way every command opens the recording it was given, so that each says the same
// thing about input that is not a recording, and how a walk through it ended.
#pragma once

#include <cstdint>
#include <string>

#include "core/recording.h"

namespace rovena::cli {

// Opens `path` and checks that it begins with the sequence header of a VGA or CIF recording.
// The file still stands at its first byte. Returns why not, empty on success; `format`
// receives kFormatVga or kFormatCif.
std::string OpenRecording(Recording& recording, const std::string& path, int* format = nullptr);

// How a walk from the first picture forwards stopped, for the message a command gives.
// Empty when it reached the end of the file with every picture whole.
std::string WalkDamage(Recording& recording, bool stoppedOnPicture);

}  // namespace rovena::cli
