// rovena-cli frames: decodes pictures of a recording exactly as the viewer's step-forward
// command does (picture search, slice search with the sentence, frame read, decode) and
// writes each as a 24-bit BMP of the converted frame, optionally also as YUV4MPEG2 planes so
// that the decode can be compared with other decoders.
#include <cstdio>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "atomic_file.h"
#include "bmp_writer.h"
#include "cli_commands.h"
#include "options.h"
#include "picture_decoder.h"
#include "progress.h"
#include "recording_input.h"
#include "recording.h"

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
};

// The request, or the reason the command line was not understood.
std::variant<FramesRequest, std::string> ParseRequest(const std::vector<std::string>& argv) {
  const ParsedArgs args = ParseArgs(argv, {"-o", "--first", "--count", "--y4m"});
  if (!args.error.empty()) return args.error;
  if (args.positional.size() != 1) return std::string("name one recording");
  FramesRequest request;
  request.recording = args.positional[0];
  request.outputDir = args.Option("-o").value_or("");
  if (request.outputDir.empty()) return std::string("name the output folder with -o");
  if (const auto first = args.Option("--first")) {
    const auto value = PositiveNumber(*first);
    if (!value) return std::string("--first takes a picture number from 1");
    request.first = *value;
  }
  if (const auto count = args.Option("--count")) {
    const auto value = NumberInRange(*count, 0, kLast);
    if (!value) return std::string("--count takes a whole number of pictures");
    // Saturates instead of overflowing: first + count - 1 may exceed the type.
    request.last = *value > kLast - request.first ? kLast : request.first + *value - 1;
  }
  request.y4mPath = args.Option("--y4m").value_or("");
  request.quiet = args.Flag("--quiet");
  return request;
}

// The decoded planes before colour conversion, top line first, chroma one sample per 2x2
// and moved from signed to the usual 128-centred form.
void AppendY4mFrame(AtomicFileWriter& out, const PictureDecoder& decoder) {
  const int w = decoder.Width(), h = decoder.Height();
  const std::vector<uint8_t>& frame = decoder.FrameBuf;
  std::vector<uint8_t> planes;
  planes.reserve(static_cast<size_t>(w * h * 3 / 2));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) planes.push_back(frame[static_cast<size_t>(3 * ((h - 1 - y) * w + x))]);
  for (int component = 1; component <= 2; ++component)
    for (int y = 0; y < h; y += 2)
      for (int x = 0; x < w; x += 2)
        planes.push_back(static_cast<uint8_t>(frame[static_cast<size_t>(3 * ((h - 1 - y) * w + x) + component)] ^ 0x80));
  static constexpr std::string_view kFrameHeader = "FRAME\n";
  out.Write(reinterpret_cast<const uint8_t*>(kFrameHeader.data()), kFrameHeader.size());
  out.Write(planes);
}

std::string FrameFileName(const std::string& dir, int64_t number) {
  char name[32];
  std::snprintf(name, sizeof name, "frame%05lld.bmp", static_cast<long long>(number));
  return (std::filesystem::path(dir) / name).string();
}

}  // namespace

int RunFrames(const std::vector<std::string>& argv) {
  CommandReport report("frames");
  const auto parsed = ParseRequest(argv);
  if (const auto* why = std::get_if<std::string>(&parsed)) return report.Usage(*why);
  const FramesRequest& request = std::get<FramesRequest>(parsed);
  const std::string& path = request.recording;
  if (request.last < request.first) return report.Fail("--count 0 asks for no picture");

  Recording recording;
  if (const std::string error = OpenRecording(recording, path); !error.empty())
    return report.Fail(path + ": " + error);
  PictureDecoder decoder;
  if (!decoder.CheckSize(recording.File())) return report.Fail(path + ": not a 640 x 480 or 320 x 240 recording");
  if (!BlockLibrary::Instance().Ready()) return report.Fail(BlockLibrary::Instance().Error());

  std::error_code dirError;
  std::filesystem::create_directories(request.outputDir, dirError);
  if (dirError) return report.Fail(request.outputDir + ": " + dirError.message());
  AtomicFileWriter y4m;
  if (!request.y4mPath.empty()) {
    if (const std::string error = y4m.Open(request.y4mPath); !error.empty()) return report.Fail(error);
    const std::string header = "YUV4MPEG2 W" + std::to_string(decoder.Width()) + " H" +
                               std::to_string(decoder.Height()) + " F25:1 Ip A1:1 C420jpeg\n";
    y4m.Write(reinterpret_cast<const uint8_t*>(header.data()), header.size());
  }

  long long number = 0, written = 0;
  bool stoppedOnPicture = false;
  // Measured in pictures when their number is known, else in bytes of the recording.
  const bool counted = request.last != kLast;
  Progress progress(request.quiet, counted ? request.last - request.first + 1 : recording.FileLen, "pictures");
  while (number < request.last && recording.FindStartUp()) {
    progress.Update(counted ? written : recording.PicPos, written);
    if (!recording.FindPicStart() || !recording.ReadFrame(decoder.PicBuf())) {
      stoppedOnPicture = true;
      break;
    }
    if (++number < request.first) continue;
    if (decoder.DecodePicture() != PictureDecoder::PictureResult::Decoded) {
      report.Warn(path + ": picture " + std::to_string(number) + " (byte " + std::to_string(recording.PicPos) +
                  ") could not be decoded; passed over");
      continue;
    }
    if (!request.y4mPath.empty()) AppendY4mFrame(y4m, decoder);
    decoder.ConvertFrame();
    const BgrImageView image{decoder.Width(), decoder.Height(), decoder.FrameBuf.data(), 3 * decoder.Width(), true};
    if (const std::string error = WriteBmp24File(FrameFileName(request.outputDir, number), image); !error.empty())
      return report.Fail(error);
    ++written;
  }

  if (number < request.first)
    return report.Fail(path + ": --first " + std::to_string(request.first) + " is past the last picture (" +
                       std::to_string(number) + ")");
  if (written == 0) return report.Fail(path + ": no picture could be decoded");
  if (!request.y4mPath.empty())
    if (const std::string error = y4m.Commit(); !error.empty()) return report.Fail(error);
  const std::string damage = number < request.last ? WalkDamage(recording, stoppedOnPicture) : "";
  const long long asked = std::min(request.last, number) - request.first + 1;
  if (!damage.empty() || written < asked)
    return report.Fail(path + ": wrote " + std::to_string(written) + " of " + std::to_string(asked) +
                       " pictures" + (damage.empty() ? "" : "; " + damage));
  if (request.last != kLast && number < request.last)
    return report.Fail(path + ": wrote " + std::to_string(written) + " pictures; the recording ends at picture " +
                       std::to_string(number));
  progress.Finish();
  std::printf("wrote %lld BMP files to %s (%s)\n", written, request.outputDir.c_str(),
              RateText(progress.Elapsed(), written, "pictures").c_str());
  return kExitDone;
}

}  // namespace rovena::cli
