// rovena-cli cut: the fragment that marking the start at picture N and the end at picture M
// in the window and saving would write, byte for byte: the same player steps and marks. Of a
// folder, the stretch from FILE:N to FILE:M across its trip as one recording: the fragments
// cut would write from each recording, one after another.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_commands.h"
#include "cli/fragment_text.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "cli/recording_input.h"
#include "cli/stretch_range.h"
#include "core/fragment.h"
#include "core/text_encoding.h"
#include "core/trip_player.h"
#include "export/clip_export.h"

namespace rovena::cli {
namespace {

// Steps from the first picture as the window does, marking pictures `from` and `to` on the
// way; false when the recording ends before picture `to`. `shown` counts the pictures read.
bool MarkPictures(TripPlayer& player, long long from, long long to, Progress& progress, long long& shown) {
  for (shown = 0; shown < to;) {
    if (player.Step(Direction::Up).outcome != PlayerReport::Outcome::Shown) return false;
    progress.Update(player.CurrentRecording().PicPos, ++shown);
    if (shown == from) player.Mark();
    if (shown == to) player.Mark();
  }
  return true;
}

// Why the ranges cannot be joined into one recording: one that overlaps the trip before it
// (its pictures would run back in time), or, unless `acrossGaps`, a break in driving.
std::string JoinRefusal(const std::vector<exporting::SourceRange>& ranges, bool acrossGaps) {
  for (const exporting::SourceRange& range : ranges) {
    if (range.joinBefore == TripJoin::kOverlap)
      return NameText(range.path) + ": overlaps the recordings before it (another camera, or a copy); a join would run "
                                    "back in time";
    if (range.joinBefore == TripJoin::kGap && !acrossGaps)
      return "a break in driving lies before " + NameText(range.path) + "; --across-gaps joins across it";
  }
  return {};
}

std::string FromToText(const exporting::SourceRange& first, const exporting::SourceRange& last) {
  return NameText(std::filesystem::path(first.path).filename().string()) + ":" + std::to_string(first.from) + " to " +
         NameText(std::filesystem::path(last.path).filename().string()) + ":" + std::to_string(last.to);
}

int CutAcrossTrip(const ParsedArgs& args, const std::vector<std::string>& arguments, CommandReport& report) {
  const auto output = args.Option("-o");
  if (!output || output->empty()) return report.Usage("name the output file with -o");
  std::vector<exporting::SourceRange> ranges;
  InputFiles inputs;
  bool usage = false;
  if (const std::string why = ReadRanges(args, ranges, inputs, usage); !why.empty())
    return usage ? report.Usage(why) : report.Fail(why);
  if (const std::string why = JoinRefusal(ranges, args.Flag("--across-gaps")); !why.empty()) return report.Fail(why);
  const bool sidecars = args.Flag("--sidecars");
  if (sidecars)
    if (const std::string problem = exporting::SidecarProblem(*output); !problem.empty()) return report.Fail(problem);
  // The walk refuses a change of picture size, and gives each recording's marks.
  exporting::Stretch stretch;
  if (const std::string error = exporting::FindStretch(ranges, stretch); !error.empty()) return report.Fail(error);
  std::vector<FragmentPiece> pieces;
  for (const exporting::StretchSource& source : stretch.sources)
    pieces.push_back({source.path, source.firstPosition, source.lastPosition});
  AtomicFileWriter joined;
  const FragmentResult saved = WriteJoinedFragments(pieces, *output, ReplaceChoice(args), joined);
  if (!saved.ok()) return report.Fail(FragmentText(saved, *output, saved.detail));
  const std::string error = sidecars ? exporting::CommitCutWithSidecars(ranges, joined, *output, arguments, ReplaceChoice(args))
                                     : joined.Commit();
  if (!error.empty()) return report.Fail(error);
  if (SummaryFits(*output))
    std::printf("%s: %lld bytes, %zu recordings joined, pictures %s\n", NameText(*output).c_str(),
                static_cast<long long>(saved.bytesWritten), pieces.size(), FromToText(ranges.front(), ranges.back()).c_str());
  return 0;
}

}  // namespace

int RunCut(const std::vector<std::string>& argv) {
  CommandReport report("cut");
  const ParsedArgs args = ParseArgs(argv, "cut");
  if (!args.error.empty()) return report.Usage(args.error);
  if (args.positional.size() != 1) return report.Usage("name one recording or folder");
  std::vector<std::string> arguments = {"rovena-cli", "cut"};
  arguments.insert(arguments.end(), argv.begin(), argv.end());
  if (std::filesystem::is_directory(args.positional[0])) return CutAcrossTrip(args, arguments, report);
  if (args.Flag("--across-gaps")) return report.Usage("--across-gaps joins a folder's recordings");
  const auto from = PositiveNumber(args.Option("--from").value_or(""));
  const auto to = PositiveNumber(args.Option("--to").value_or(""));
  const auto output = args.Option("-o");
  if (!from || !to) return report.Usage("--from and --to take picture numbers from 1");
  if (!output || output->empty()) return report.Usage("name the output file with -o");

  const std::string& path = args.positional[0];
  if (*to < *from) return report.Fail("picture " + std::to_string(*to) + " comes before picture " + std::to_string(*from));
  const bool sidecars = args.Flag("--sidecars");
  if (sidecars)
    if (const std::string problem = exporting::SidecarProblem(*output); !problem.empty()) return report.Fail(problem);
  TripPlayer player;
  if (player.Open(path) != OpenStatus::Opened) {
    Recording probe;  // for the reason, in the words every command uses
    return report.Fail(NameText(path) + ": " + OpenRecording(probe, path));
  }
  Progress progress(args.Flag("--quiet"), player.CurrentRecording().FileLen, "pictures");
  long long shown = 0;
  const bool marked = MarkPictures(player, *from, *to, progress, shown);
  progress.Finish();
  if (!marked) return report.Fail(NameText(path) + ": only " + std::to_string(shown) + " pictures could be read");
  AtomicFileWriter fragment;
  const FragmentResult saved = player.WriteMarked(*output, ReplaceChoice(args), fragment);
  if (!saved.ok()) return report.Fail(FragmentText(saved, *output, path));
  const std::string error =
      sidecars ? exporting::CommitCutWithSidecars({{path, *from, *to}}, fragment, *output, arguments, ReplaceChoice(args))
               : fragment.Commit();
  if (!error.empty()) return report.Fail(error);
  // Positions as track and the integrity record give them; then the bytes the copy took.
  const CutMarks& marks = player.Marks();
  if (SummaryFits(*output))
    std::printf("%s: %lld bytes, pictures %lld to %lld (positions %lld to %lld, recording bytes %lld to %lld)\n",
                NameText(*output).c_str(), static_cast<long long>(saved.bytesWritten), *from, *to,
                static_cast<long long>(marks.CutStart()), static_cast<long long>(marks.CutEnd()),
                static_cast<long long>(marks.CutStart() - kFragmentLeadIn), static_cast<long long>(marks.CutEnd()));
  return 0;
}

}  // namespace rovena::cli
