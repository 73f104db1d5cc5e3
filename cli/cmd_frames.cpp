// rovena-cli frames: decodes pictures of a recording exactly as the viewer's step-forward
// command does (picture search, slice search with the sentence, frame read, decode) and
// writes each as a 24-bit BMP of the converted frame, optionally also as YUV4MPEG2 planes so
// that the decode can be compared with other decoders.
//
// With --jobs N, N workers each walk the recording with their own file handle and decoder and
// decode every Nth picture. Each worker writes its BMP files itself, so that their syncs to
// disk overlap; the y4m stream, the messages and the outcome are produced strictly in picture
// order, so every file and line is that of a single worker.
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "core/atomic_file.h"
#include "core/bmp_writer.h"
#include "cli/cli_commands.h"
#include "cli/options.h"
#include "core/picture_decoder.h"
#include "cli/progress.h"
#include "cli/recording_input.h"
#include "core/recording.h"
#include "core/text_encoding.h"

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
  const ParsedArgs args = ParseArgs(argv, {"-o", "--first", "--count", "--y4m", "--jobs"});
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

// A worker's picture, decoded, converted and written as BMP, waiting for its turn.
struct DecodedPicture {
  long long number;
  std::int64_t position;  // byte of the picture in the recording
  bool decoded;
  std::vector<uint8_t> y4mFrame;  // empty without --y4m
  std::string bmpError;           // why its BMP file could not be written
};

// What the workers produce in picture order: a worker waits until every picture before its
// own has been dealt with, adds its y4m frame, warning or failure, and hands the turn on. The
// first failure in picture order stops every worker.
class InOrderOutput {
 public:
  InOrderOutput(const FramesRequest& request, CommandReport& report, AtomicFileWriter& y4m, Progress& progress)
      : request_(request), report_(report), y4m_(y4m), progress_(progress), next_(request.first) {}

  // False when the run has stopped.
  bool Write(const DecodedPicture& picture) {
    std::unique_lock lock(mutex_);
    turn_.wait(lock, [&] { return next_ == picture.number || !failure_.empty(); });
    if (!failure_.empty()) return false;
    WriteInTurn(picture);
    ++next_;
    turn_.notify_all();
    return failure_.empty();
  }
  // True once a failure has stopped the run, so that no more files are begun.
  bool Stopped() {
    const std::lock_guard lock(mutex_);
    return !failure_.empty();
  }
  const std::string& Failure() const { return failure_; }
  long long Written() const { return written_; }

 private:
  void WriteInTurn(const DecodedPicture& picture) {
    progress_.Update(request_.last != kLast ? written_ : picture.position, written_);
    if (!picture.decoded) {
      report_.Warn(NameText(request_.recording) + ": picture " + std::to_string(picture.number) + " (byte " +
                   std::to_string(picture.position) + ") could not be decoded; passed over");
      return;
    }
    if (!picture.bmpError.empty()) {
      failure_ = picture.bmpError;
      return;
    }
    if (!picture.y4mFrame.empty()) y4m_.Write(picture.y4mFrame);
    ++written_;
  }

  const FramesRequest& request_;
  CommandReport& report_;
  AtomicFileWriter& y4m_;
  Progress& progress_;
  std::mutex mutex_;
  std::condition_variable turn_;
  long long next_;  // the picture whose turn it is
  long long written_ = 0;
  std::string failure_;
};

// How a worker's walk through the recording ended.
struct Walk {
  long long pictures = 0;  // pictures found
  std::string damage;      // as WalkDamage says, when the walk stopped short of what was asked
};

// One worker: the viewer's step-forward walk over the whole recording, decoding the pictures
// from --first on whose place in the range is `worker` modulo the number of jobs.
Walk RunWorker(const FramesRequest& request, int worker, Recording& recording, InOrderOutput& output) {
  PictureDecoder decoder;
  decoder.CheckSize(recording.File());
  Walk walk;
  bool stoppedOnPicture = false;
  while (walk.pictures < request.last && recording.FindStartUp()) {
    if (!recording.ReadPicture(decoder.PicBuf())) {
      stoppedOnPicture = true;
      break;
    }
    const long long number = ++walk.pictures;
    if (number < request.first || (number - request.first) % request.jobs != worker) continue;
    DecodedPicture picture{number, recording.PicPos, decoder.DecodePicture() == PictureDecoder::PictureResult::Decoded, {}, {}};
    if (picture.decoded) {
      if (!request.y4mPath.empty()) picture.y4mFrame = Y4mFrame(decoder);
      decoder.ConvertFrame();
      if (output.Stopped()) return walk;
      const BgrImageView image{decoder.Width(), decoder.Height(), decoder.FrameBuf.data(), 3 * decoder.Width(), true};
      picture.bmpError = WriteBmp24File(FrameFileName(request.outputDir, number), image, request.ifExists);
    }
    if (!output.Write(picture)) return walk;
  }
  if (walk.pictures < request.last) walk.damage = WalkDamage(recording, stoppedOnPicture);
  return walk;
}

// Runs the workers, each on its own opened recording; the first one on this thread.
Walk RunWorkers(const FramesRequest& request, std::vector<Recording>& recordings, InOrderOutput& output) {
  std::vector<Walk> walks(recordings.size());
  std::vector<std::thread> threads;
  for (size_t worker = 1; worker < recordings.size(); ++worker)
    threads.emplace_back([&, worker] { walks[worker] = RunWorker(request, static_cast<int>(worker), recordings[worker], output); });
  walks[0] = RunWorker(request, 0, recordings[0], output);
  for (std::thread& thread : threads) thread.join();
  // Every walk that was not stopped saw the same pictures.
  return walks[0];
}

}  // namespace

int RunFrames(const std::vector<std::string>& argv) {
  CommandReport report("frames");
  const auto parsed = ParseRequest(argv);
  if (const auto* why = std::get_if<std::string>(&parsed)) return report.Usage(*why);
  const FramesRequest& request = std::get<FramesRequest>(parsed);
  const std::string& path = request.recording;
  if (request.last < request.first) return report.Fail("--count 0 asks for no picture");

  // Each worker reads through a file handle of its own.
  std::vector<Recording> recordings(static_cast<size_t>(request.jobs));
  for (Recording& recording : recordings)
    if (const std::string error = OpenRecording(recording, path); !error.empty()) return report.Fail(NameText(path) + ": " + error);
  PictureDecoder decoder;
  if (!decoder.CheckSize(recordings[0].File())) return report.Fail(NameText(path) + ": not a 640 x 480 or 320 x 240 recording");
  recordings[0].File().SetCurrentPosition(1);  // its worker reads the header again
  if (!BlockLibrary::Instance().Ready()) return report.Fail(BlockLibrary::Instance().Error());

  std::error_code dirError;
  std::filesystem::create_directories(request.outputDir, dirError);
  if (dirError) return report.Fail(NameText(request.outputDir) + ": " + dirError.message());
  AtomicFileWriter y4m;
  if (!request.y4mPath.empty()) {
    if (const std::string error = y4m.Open(request.y4mPath, request.ifExists); !error.empty()) return report.Fail(error);
    const std::string header = "YUV4MPEG2 W" + std::to_string(decoder.Width()) + " H" +
                               std::to_string(decoder.Height()) + " F25:1 Ip A1:1 C420jpeg\n";
    y4m.Write(reinterpret_cast<const uint8_t*>(header.data()), header.size());
  }

  // Measured in pictures when their number is known, else in bytes of the recording.
  const bool counted = request.last != kLast;
  Progress progress(request.quiet, counted ? request.last - request.first + 1 : recordings[0].FileLen, "pictures");
  InOrderOutput output(request, report, y4m, progress);
  const Walk walk = RunWorkers(request, recordings, output);
  if (!output.Failure().empty()) return report.Fail(output.Failure());
  const long long number = walk.pictures, written = output.Written();

  if (number < request.first)
    return report.Fail(NameText(path) + ": --first " + std::to_string(request.first) + " is past the last picture (" +
                       std::to_string(number) + ")");
  if (written == 0) return report.Fail(NameText(path) + ": no picture could be decoded");
  if (!request.y4mPath.empty())
    if (const std::string error = y4m.Commit(); !error.empty()) return report.Fail(error);
  const std::string& damage = walk.damage;
  const long long asked = std::min(request.last, number) - request.first + 1;
  if (!damage.empty() || written < asked)
    return report.Fail(NameText(path) + ": wrote " + std::to_string(written) + " of " + std::to_string(asked) +
                       " pictures" + (damage.empty() ? "" : "; " + damage));
  if (request.last != kLast && number < request.last)
    return report.Fail(NameText(path) + ": wrote " + std::to_string(written) + " pictures; the recording ends at picture " +
                       std::to_string(number));
  progress.Finish();
  std::printf("wrote %lld BMP files to %s (%s)\n", written, NameText(request.outputDir).c_str(),
              RateText(progress.Elapsed(), written, "pictures").c_str());
  return kExitDone;
}

}  // namespace rovena::cli
