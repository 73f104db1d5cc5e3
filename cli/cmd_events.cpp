// rovena-cli events: the driving events of a recording, or of a folder's recordings as one
// trip, found in the pictures' GPS sentences: numbered, as a listing, CSV or JSON.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_commands.h"
#include "cli/drive_input.h"
#include "cli/options.h"

namespace rovena::cli {

int RunEvents(const std::vector<std::string>& argv) {
  CommandReport report("events");
  const ParsedArgs args = ParseArgs(argv, "events");
  if (!args.error.empty()) return report.Usage(args.error);
  if (args.positional.size() != 1) return report.Usage("name one recording or folder");
  const std::string format = args.Option("--format").value_or("text");
  if (format != "text" && format != "csv" && format != "json") return report.Usage("unknown format '" + format + "'");
  const std::optional<EventThresholds> thresholds = ThresholdsOption(args);
  if (!thresholds) return report.Usage(kLimitUsage);

  Drive drive;
  bool whole = true;
  if (const std::string error = ReadDrive(args.positional[0], args.Flag("--quiet"), report, drive, whole); !error.empty())
    return report.Fail(error);
  const std::string out = FormatEvents(NumberedEvents(drive, *thresholds), format);
  if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0)
    return report.Fail("cannot write the output");
  return report.Finish(whole);
}

}  // namespace rovena::cli
