// rovena-cli frames: decodes pictures of a recording, numbered as the viewer steps through
// them, and writes each as a 24-bit BMP of the converted frame, optionally also as YUV4MPEG2
// planes so that the decode can be compared with other decoders.
//
// The pictures are found first, then decoded by the export's ordered decoder on --jobs
// workers. Each worker writes its BMP files itself, so that their syncs to disk overlap; the
// y4m stream, the messages and the outcome follow strictly in picture order, so every file
// and line is that of a single worker.
#include <cstdio>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/atomic_file.h"
#include "core/bmp_writer.h"
#include "cli/cli_commands.h"
#include "cli/options.h"
#include "core/picture_decoder.h"
#include "cli/progress.h"
#include "cli/recording_input.h"
#include "cli/text_fields.h"
#include "core/text_encoding.h"
#include "export/picture_source.h"

namespace rovena::cli {
namespace {

constexpr long long kLast = std::numeric_limits<long long>::max();

struct FramesRequest {
  std::string recording;
  std::string outputDir;
  long long first = 1;
  long long last = kLast;  // the last picture asked for; kLast for all
  std::string y4mPath;
  bool quiet = false;
  int jobs = 1;
  IfExists ifExists = IfExists::Refuse;
};

// The request, or the reason the command line was not understood.
std::variant<FramesRequest, std::string> ParseRequest(const std::vector<std::string>& argv) {
  const ParsedArgs args = ParseArgs(argv, "frames");
  if (!args.error.empty()) return args.error;
  if (args.positional.size() != 1) return std::string("name one recording");
  FramesRequest request;
  request.recording = args.positional[0];
  request.outputDir = args.Option("-o").value_or("");
  if (request.outputDir.empty()) return std::string("name the output folder with -o");
  if (const auto first = args.Option("--first")) {
    const auto value = PositiveNumber(*first);
    if (!value) return std::string("--first takes a picture number, 1 or more");
    request.first = *value;
  }
  if (const auto count = args.Option("--count")) {
    const auto value = NumberInRange(*count, 0, kLast);
    if (!value) return std::string("--count takes a whole number of pictures, 0 or more");
    // Saturates instead of overflowing: first + count - 1 may exceed the type.
    request.last = *value > kLast - request.first ? kLast : request.first + *value - 1;
  }
  request.y4mPath = args.Option("--y4m").value_or("");
  request.quiet = args.Flag("--quiet");
  request.ifExists = ReplaceChoice(args);
  const std::optional<int> jobs = JobsOption(args);
  if (!jobs) return std::string(kJobsUsage);
  request.jobs = *jobs;
  return request;
}

// The decoded planes before colour conversion as one y4m frame, top line first, chroma one
// sample per 2x2 and moved from signed to the usual 128-centred form.
std::vector<uint8_t> Y4mFrame(const PictureDecoder& decoder) {
  const int w = decoder.Width(), h = decoder.Height();
  const std::vector<uint8_t>& frame = decoder.FrameBuf;
  static constexpr std::string_view kFrameHeader = "FRAME\n";
  std::vector<uint8_t> planes(kFrameHeader.begin(), kFrameHeader.end());
  planes.reserve(kFrameHeader.size() + static_cast<size_t>(w * h * 3 / 2));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) planes.push_back(frame[static_cast<size_t>(3 * ((h - 1 - y) * w + x))]);
  for (int component = 1; component <= 2; ++component)
    for (int y = 0; y < h; y += 2)
      for (int x = 0; x < w; x += 2)
        planes.push_back(static_cast<uint8_t>(frame[static_cast<size_t>(3 * ((h - 1 - y) * w + x) + component)] ^ 0x80));
  return planes;
}

std::string FrameFileName(const std::string& dir, int64_t number) {
  char name[32];
  std::snprintf(name, sizeof name, "frame%05lld.bmp", static_cast<long long>(number));
  return (std::filesystem::path(dir) / name).string();
}

// What a worker made of a decoded picture, waiting for its turn.
struct FinishedPicture {
  std::vector<uint8_t> y4mFrame;  // empty without --y4m
  std::string bmpError;           // why its BMP file could not be written
};

// The worker's share of a picture: its y4m planes before conversion, then its BMP file.
void Finish(const FramesRequest& request, const exporting::StretchPicture& picture, PictureDecoder& decoder,
            FinishedPicture& out) {
  if (!request.y4mPath.empty()) out.y4mFrame = Y4mFrame(decoder);
  decoder.ConvertFrame();
  const BgrImageView image{decoder.Width(), decoder.Height(), decoder.FrameBuf.data(), 3 * decoder.Width(), true};
  out.bmpError = WriteBmp24File(FrameFileName(request.outputDir, picture.number), image, request.ifExists);
}

// Decodes the stretch on --jobs workers; each writes its pictures' BMP files, while the y4m
// frames, the warnings and the count follow here in picture order. Returns the failure that
// stopped the run, empty when there was none.
std::string DecodeInOrder(const FramesRequest& request, const exporting::Stretch& stretch, AtomicFileWriter& y4m,
                          CommandReport& report, Progress& progress, long long& written) {
  std::vector<FinishedPicture> finished(stretch.pictures.size());
  exporting::OrderedDecoder decoder(stretch, request.jobs, [&](std::size_t i, PictureDecoder& pictureDecoder, bool decoded) {
    if (decoded) Finish(request, stretch.pictures[i], pictureDecoder, finished[i]);
  });
  if (!decoder.Error().empty()) return decoder.Error();
  std::vector<uint8_t> unused;
  for (std::size_t i = 0; i < stretch.pictures.size(); ++i) {
    const exporting::StretchPicture& picture = stretch.pictures[i];
    progress.Update(static_cast<std::int64_t>(i), written);
    if (!decoder.Next(unused)) {
      report.Warn(NameText(request.recording) + ": picture " + std::to_string(picture.number) + " (byte " +
                  std::to_string(picture.position) + ") could not be decoded; passed over");
      continue;
    }
    FinishedPicture& done = finished[i];
    if (!done.bmpError.empty()) return done.bmpError;
    if (!done.y4mFrame.empty()) y4m.Write(done.y4mFrame);
    done = {};
    ++written;
  }
  return {};
}

}  // namespace

int RunFrames(const std::vector<std::string>& argv) {
  CommandReport report("frames");
  const auto parsed = ParseRequest(argv);
  if (const auto* why = std::get_if<std::string>(&parsed)) return report.Usage(*why);
  const FramesRequest& request = std::get<FramesRequest>(parsed);
  const std::string& path = request.recording;
  if (request.last < request.first) return report.Fail("--count 0 asks for no picture");

  // Held open while the outputs are opened, so that none of them can replace it.
  Recording input;
  if (const std::string error = OpenRecording(input, path); !error.empty()) return report.Fail(NameText(path) + ": " + error);
  std::error_code dirError;
  std::filesystem::create_directories(request.outputDir, dirError);
  if (dirError) return report.Fail(NameText(request.outputDir) + ": " + dirError.message());
  exporting::Stretch stretch;
  if (const std::string error = exporting::AddPictures({path, request.first, request.last == kLast ? 0 : request.last}, stretch);
      !error.empty())
    return report.Fail(error);
  const exporting::StretchSource& source = stretch.sources.front();
  if (source.walked < request.first)
    return report.Fail(NameText(path) + ": --first " + std::to_string(request.first) + " is past the last picture (" +
                       std::to_string(source.walked) + ")");
  AtomicFileWriter y4m;
  if (!request.y4mPath.empty()) {
    if (const std::string error = y4m.Open(request.y4mPath, request.ifExists); !error.empty()) return report.Fail(error);
    const std::string header = "YUV4MPEG2 W" + std::to_string(stretch.width) + " H" +
                               std::to_string(stretch.height) + " F25:1 Ip A1:1 C420jpeg\n";
    y4m.Write(reinterpret_cast<const uint8_t*>(header.data()), header.size());
  }

  Progress progress(request.quiet, static_cast<std::int64_t>(stretch.pictures.size()), "pictures");
  long long written = 0;
  if (const std::string failure = DecodeInOrder(request, stretch, y4m, report, progress, written); !failure.empty())
    return report.Fail(failure);
  if (written == 0) return report.Fail(NameText(path) + ": no picture could be decoded");
  if (!request.y4mPath.empty())
    if (const std::string error = y4m.Commit(); !error.empty()) return report.Fail(error);
  const std::string damage = WalkDamage(source.walk);
  const long long asked = std::min<long long>(request.last, source.walked) - request.first + 1;
  if (!damage.empty() || written < asked)
    return report.Fail(NameText(path) + ": wrote " + std::to_string(written) + " of " + std::to_string(asked) +
                       " pictures" + (damage.empty() ? "" : "; " + damage));
  if (request.last != kLast && source.walked < request.last)
    return report.Fail(NameText(path) + ": wrote " + std::to_string(written) + " pictures; the recording ends at picture " +
                       std::to_string(source.walked));
  progress.Finish();
  std::printf("wrote %s to %s (%s)\n", Counted(written, "BMP file", "BMP files").c_str(), NameText(request.outputDir).c_str(),
              RateText(progress.Elapsed(), written, "pictures").c_str());
  return kExitDone;
}

}  // namespace rovena::cli
