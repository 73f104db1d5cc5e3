// rovena-cli cut: the fragment that marking the start at picture N and the end at picture M
// in the window and saving would write, byte for byte.
#include <cstdio>
#include <string>
#include <vector>

#include "export/clip_export.h"
#include "cli/cli_commands.h"
#include "core/fragment.h"
#include "cli/options.h"
#include "core/recording.h"
#include "cli/progress.h"
#include "cli/recording_input.h"
#include "core/text_encoding.h"

namespace rovena::cli {
namespace {

struct Marks {
  std::int64_t start = -1;  // PicPos of picture `from`, as the start mark takes it
  std::int64_t end = -1;    // last position after picture `to` was read, as the end mark takes it
  std::int64_t pictures = 0;
};

// Steps forward as the window does until both pictures have been shown.
Marks FindMarks(Recording& recording, long long from, long long to, Progress& progress) {
  Marks marks;
  std::vector<std::uint8_t> picture(kPicBufSize);
  const long long last = from > to ? from : to;
  while (marks.pictures < last && recording.StepUp(picture.data())) {
    progress.Update(recording.PicPos, marks.pictures);
    ++marks.pictures;
    if (marks.pictures == from) marks.start = recording.PicPos;
    if (marks.pictures == to) marks.end = recording.File().LastPosition();
  }
  return marks;
}

}  // namespace

int RunCut(const std::vector<std::string>& argv) {
  CommandReport report("cut");
  const ParsedArgs args = ParseArgs(argv, {"--from", "--to", "-o"}, {"--sidecars"});
  if (!args.error.empty()) return report.Usage(args.error);
  if (args.positional.size() != 1) return report.Usage("name one recording");
  const auto from = PositiveNumber(args.Option("--from").value_or(""));
  const auto to = PositiveNumber(args.Option("--to").value_or(""));
  const auto output = args.Option("-o");
  if (!from || !to) return report.Usage("--from and --to take picture numbers from 1");
  if (!output || output->empty()) return report.Usage("name the output file with -o");

  const std::string& path = args.positional[0];
  Recording recording;
  if (const std::string error = OpenRecording(recording, path); !error.empty())
    return report.Fail(NameText(path) + ": " + error);
  Progress progress(args.Flag("--quiet"), recording.FileLen, "pictures");
  const Marks marks = FindMarks(recording, *from, *to, progress);
  progress.Finish();
  if (marks.start < 0 || marks.end < 0)
    return report.Fail(NameText(path) + ": only " + std::to_string(marks.pictures) + " pictures could be read");
  const FragmentResult saved = SaveFragment(recording.File(), path, marks.start, marks.end, *output);
  if (!saved.ok()) return report.Fail(saved.english);
  if (args.Flag("--sidecars")) {
    std::vector<std::string> arguments = {"rovena-cli", "cut"};
    arguments.insert(arguments.end(), argv.begin(), argv.end());
    if (const std::string error = exporting::WriteCutSidecars(path, *from, *to, *output, arguments); !error.empty())
      return report.Fail(error);
  }
  std::printf("%s: %lld bytes, pictures %lld to %lld (positions %lld to %lld)\n", NameText(*output).c_str(),
              static_cast<long long>(saved.bytesWritten), *from, *to,
              static_cast<long long>(marks.start - kFragmentLeadIn), static_cast<long long>(marks.end));
  return 0;
}

}  // namespace rovena::cli
