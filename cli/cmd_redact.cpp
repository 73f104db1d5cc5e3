// rovena-cli redact: proposals of what to cover (faces, number plates) in a stretch of a
// recording or of a trip, written as a boxes file for a person to review before an export.
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_commands.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "cli/stretch_range.h"
#include "core/text_encoding.h"
#include "export/picture_source.h"
#include "redact/boxes.h"
#include "redact/detector.h"

namespace rovena::cli {
namespace {

using Detectors = std::vector<std::unique_ptr<redact::Detector>>;

struct Decoded {
  std::vector<std::uint8_t> bgr;
  bool whole = false;
};

// The detectors' proposals for a batch of decoded pictures, one thread per picture, each
// thread with its own detectors (they keep working buffers and may not be shared).
std::vector<std::vector<redact::Proposal>> FindInBatch(std::vector<Detectors>& detectors,
                                                       const std::vector<Decoded>& batch, int width, int height) {
  std::vector<std::vector<redact::Proposal>> found(batch.size());
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < batch.size(); ++i) {
    if (!batch[i].whole) continue;
    threads.emplace_back([&, i] {
      // The decoder's rows run bottom-up: the top row is the last.
      const std::ptrdiff_t row = 3 * static_cast<std::ptrdiff_t>(width);
      found[i] = redact::FindAll(detectors[i], {batch[i].bgr.data() + (height - 1) * row, width, height, -row});
    });
  }
  for (std::thread& thread : threads) thread.join();
  return found;
}

void AddProposals(const std::vector<redact::Proposal>& proposals, const redact::PictureRef& where,
                  redact::BoxFile& boxes) {
  for (const redact::Proposal& proposal : proposals)
    boxes.boxes.push_back({where, proposal.rect, proposal.kind, redact::BoxOrigin::Detected, false});
}

std::string Summary(const redact::BoxFile& boxes) {
  int faces = 0, plates = 0;
  for (const redact::Box& box : boxes.boxes) (box.kind == redact::BoxKind::Face ? faces : plates)++;
  return std::to_string(boxes.boxes.size()) + " boxes (" + std::to_string(faces) + " faces, " +
         std::to_string(plates) + " plates)";
}

}  // namespace

int RunRedact(const std::vector<std::string>& argv) {
  CommandReport report("redact");
  const ParsedArgs args = ParseArgs(argv, "redact");
  if (!args.error.empty()) return report.Usage(args.error);
  const auto output = args.Option("-o");
  if (!output || output->empty()) return report.Usage("name the boxes file with -o");
  const auto kinds = redact::ParseDetectKinds(args.Option("--detect").value_or("faces,plates"));
  if (!kinds) return report.Usage("--detect takes faces, plates or faces,plates");
  const std::optional<int> jobs = JobsOption(args);
  if (!jobs) return report.Usage(kJobsUsage);
  std::vector<exporting::SourceRange> ranges;
  bool usage = false;
  InputFiles inputs;
  if (const std::string why = ReadRanges(args, ranges, inputs, usage); !why.empty())
    return usage ? report.Usage(why) : report.Fail(why);

  std::vector<Detectors> detectors(static_cast<std::size_t>(*jobs));
  for (Detectors& set : detectors) {
    std::string error;
    set = redact::MakeDetectors(*kinds, error);
    if (!error.empty()) return report.Fail(error);
  }
  exporting::Stretch stretch;
  if (const std::string error = exporting::FindStretch(ranges, stretch); !error.empty()) return report.Fail(error);
  exporting::OrderedDecoder decoder(stretch, *jobs);
  if (!decoder.Error().empty()) return report.Fail(decoder.Error());

  const std::size_t total = stretch.pictures.size();
  Progress progress(args.Flag("--quiet"), static_cast<std::int64_t>(total), "pictures");
  redact::BoxFile boxes;
  for (const auto& detector : detectors.front()) boxes.detectors.push_back({detector->Name(), detector->Parameters()});
  std::vector<Decoded> batch(static_cast<std::size_t>(*jobs));
  for (std::size_t first = 0; first < total; first += batch.size()) {
    const std::size_t count = std::min(batch.size(), total - first);
    batch.resize(count);
    for (Decoded& picture : batch) picture.whole = decoder.Next(picture.bgr);
    const auto found = FindInBatch(detectors, batch, stretch.width, stretch.height);
    for (std::size_t i = 0; i < count; ++i) {
      const exporting::StretchPicture& picture = stretch.pictures[first + i];
      const std::string& path = stretch.sources[picture.source].path;
      if (!batch[i].whole)
        report.Warn(NameText(path) + ": picture " + std::to_string(picture.number) + " could not be decoded; nothing proposed in it");
      AddProposals(found[i], {redact::BoxRecordingName(path), picture.number}, boxes);
    }
    progress.Update(static_cast<std::int64_t>(first + count), static_cast<std::int64_t>(first + count));
  }
  progress.Finish();
  // Written while the recordings are still inputs, so the output guard refuses a name that is one of them.
  if (const std::string error = redact::WriteBoxesFile(*output, boxes, ReplaceChoice(args)); !error.empty())
    return report.Fail(error);
  std::printf("%s: %s in %zu pictures; %s\n", NameText(*output).c_str(), Summary(boxes).c_str(), total,
              RateText(progress.Elapsed(), static_cast<std::int64_t>(total), "pictures").c_str());
  return report.Finish(true);
}

}  // namespace rovena::cli
