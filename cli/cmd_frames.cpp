// rovena-cli frames: decodes pictures of a recording exactly as the viewer's step-forward
// command does (picture search, slice search with the sentence, frame read, decode) and
// writes each as a 24-bit BMP of the converted frame, optionally also as YUV4MPEG2 planes so
// that the decode can be compared with other decoders.
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "bmp_writer.h"
#include "cli_commands.h"
#include "picture_decoder.h"
#include "recording.h"

namespace rovena::cli {
namespace {

struct FramesOptions {
  std::string recording;
  std::string outputDir;
  int64_t first = 1;
  int64_t count = -1;  // all
  std::string y4mPath;
};

bool ParseCount(const std::string& text, int64_t& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

std::optional<FramesOptions> ParseOptions(const std::vector<std::string>& args) {
  FramesOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "-o" && hasValue)
      options.outputDir = args[++i];
    else if (arg == "--first" && hasValue) {
      if (!ParseCount(args[++i], options.first) || options.first < 1) return std::nullopt;
    } else if (arg == "--count" && hasValue) {
      if (!ParseCount(args[++i], options.count) || options.count < 0) return std::nullopt;
    } else if (arg == "--y4m" && hasValue)
      options.y4mPath = args[++i];
    else if (options.recording.empty() && !arg.empty() && arg[0] != '-')
      options.recording = arg;
    else
      return std::nullopt;
  }
  if (options.recording.empty() || options.outputDir.empty()) return std::nullopt;
  return options;
}

int Fail(const std::string& why) {
  std::fprintf(stderr, "rovena-cli frames: %s\n", why.c_str());
  return 1;
}

// The decoded planes before colour conversion, top line first, chroma one sample per 2x2
// and moved from signed to the usual 128-centred form.
void AppendY4mFrame(std::ofstream& out, const PictureDecoder& decoder) {
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
  out << "FRAME\n";
  out.write(reinterpret_cast<const char*>(planes.data()), static_cast<std::streamsize>(planes.size()));
}

std::string FrameFileName(const std::string& dir, int64_t number) {
  char name[32];
  std::snprintf(name, sizeof name, "frame%05lld.bmp", static_cast<long long>(number));
  return (std::filesystem::path(dir) / name).string();
}

}  // namespace

int RunFrames(const std::vector<std::string>& args) {
  const std::optional<FramesOptions> options = ParseOptions(args);
  if (!options) {
    std::fprintf(stderr, "usage: rovena-cli frames RECORDING -o DIR [--first N] [--count K] [--y4m FILE]\n");
    return 2;
  }
  Recording recording;
  std::string error;
  if (!recording.Open(options->recording, error)) return Fail(options->recording + ": " + error);
  PictureDecoder decoder;
  if (!decoder.CheckSize(recording.File()))
    return Fail(options->recording + ": not a 640 x 480 or 320 x 240 recording");
  if (!BlockLibrary::Instance().Ready()) return Fail(BlockLibrary::Instance().Error());

  std::error_code dirError;
  std::filesystem::create_directories(options->outputDir, dirError);
  if (dirError) return Fail(options->outputDir + ": " + dirError.message());
  std::ofstream y4m;
  if (!options->y4mPath.empty()) {
    y4m.open(options->y4mPath, std::ios::binary | std::ios::trunc);
    if (!y4m) return Fail(options->y4mPath + ": cannot be written");
    y4m << "YUV4MPEG2 W" << decoder.Width() << " H" << decoder.Height() << " F25:1 Ip A1:1 C420jpeg\n";
  }

  const int64_t last = options->count < 0 ? INT64_MAX : options->first + options->count - 1;
  bool anyFailed = false;
  for (int64_t number = 1; number <= last && recording.FindStartUp(); ++number) {
    if (!recording.FindPicStart() || !recording.ReadFrame(decoder.PicBuf())) break;  // end of the recording
    if (number < options->first) continue;
    if (decoder.DecodePicture() != PictureDecoder::PictureResult::Decoded) {
      std::fprintf(stderr, "rovena-cli frames: picture %lld (byte %lld) could not be decoded\n",
                   static_cast<long long>(number), static_cast<long long>(recording.PicPos));
      anyFailed = true;
      continue;
    }
    if (y4m.is_open()) AppendY4mFrame(y4m, decoder);
    decoder.ConvertFrame();
    const BgrImageView image{decoder.Width(), decoder.Height(), decoder.FrameBuf.data(), 3 * decoder.Width(), true};
    const std::string written = WriteBmp24File(FrameFileName(options->outputDir, number), image);
    if (!written.empty()) return Fail(written);
  }
  if (y4m.is_open() && !y4m.flush()) return Fail(options->y4mPath + ": write failed");
  return anyFailed ? 1 : 0;
}

}  // namespace rovena::cli
