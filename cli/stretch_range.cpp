#include "cli/stretch_range.h"

#include <filesystem>
#include <optional>

#include "core/text_encoding.h"
#include "core/trip.h"

namespace rovena::cli {
namespace {

struct TripPoint {
  std::string file;
  long long picture = 0;
};

// FILE:PICTURE, the picture numbered as in a single recording.
std::optional<TripPoint> ParseTripPoint(const std::string& text) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return std::nullopt;
  const auto picture = PositiveNumber(text.substr(colon + 1));
  if (!picture) return std::nullopt;
  return TripPoint{text.substr(0, colon), *picture};
}

// The recordings of the folder's trip from `from`'s to `to`'s, in driving order.
std::string TripRanges(const std::string& folder, const TripPoint& from, const TripPoint& to,
                       std::vector<exporting::SourceRange>& ranges, InputFiles& inputs) {
  std::string error;
  const Trip trip = Trip::Scan(folder, {}, &error);
  if (!error.empty()) return NameText(folder) + ": " + error;
  std::vector<std::string> all;
  for (const TripRecording& r : trip.Recordings()) all.push_back(r.path);
  inputs = InputFiles(all);
  const auto first = trip.IndexOf((std::filesystem::path(folder) / from.file).string());
  const auto last = trip.IndexOf((std::filesystem::path(folder) / to.file).string());
  if (!first || !last) return NameText((first ? to : from).file) + ": not a recording of the trip in " + NameText(folder);
  if (*first > *last || (*first == *last && from.picture > to.picture))
    return "--from comes after --to in the order the trip was driven";
  for (std::size_t i = *first; i <= *last; ++i)
    ranges.push_back({trip.Recordings()[i].path, i == *first ? from.picture : 1, i == *last ? to.picture : 0,
                      i > *first ? trip.JoinAfter(i - 1) : TripJoin::kFollowsOn});
  return {};
}

}  // namespace

std::string ReadRanges(const ParsedArgs& args, std::vector<exporting::SourceRange>& ranges, InputFiles& inputs,
                       bool& usage) {
  usage = true;
  if (args.positional.size() != 1) return "name one recording or folder";
  const std::string& input = args.positional[0];
  const std::string fromText = args.Option("--from").value_or(""), toText = args.Option("--to").value_or("");
  if (std::filesystem::is_directory(input)) {
    const auto from = ParseTripPoint(fromText), to = ParseTripPoint(toText);
    if (!from || !to) return "with a folder, --from and --to take FILE:PICTURE";
    usage = false;
    return TripRanges(input, *from, *to, ranges, inputs);
  }
  const auto from = PositiveNumber(fromText), to = PositiveNumber(toText);
  if (!from || !to || *from > *to) return "--from and --to take picture numbers from 1, --from not after --to";
  ranges.push_back({input, *from, *to});
  inputs = InputFiles({input});
  return {};
}

}  // namespace rovena::cli
