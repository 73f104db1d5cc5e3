// The stretch a command works on, as --from and --to name it: picture numbers within one
// recording, or FILE:PICTURE across a folder's trip in driving order. Shared by export and
// redact, so both read a stretch alike.
#pragma once

#include <string>
#include <vector>

#include "cli/options.h"
#include "core/output_guard.h"
#include "export/picture_source.h"

namespace rovena::cli {

// Fills `ranges` from the one positional argument (a recording or a folder) and --from/--to.
// Returns why not, empty on success; `usage` says whether the command line itself was wrong.
// `inputs` then holds what the command reads as its inputs: the recording, or every
// recording of the folder's trip (not only those of the stretch), so that no output lands on
// one while the command runs, whichever it holds open at the moment.
std::string ReadRanges(const ParsedArgs& args, std::vector<exporting::SourceRange>& ranges, InputFiles& inputs,
                       bool& usage);

}  // namespace rovena::cli
