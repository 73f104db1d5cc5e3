// rovena-cli info: what a user wants to know about a recording before opening it, found by
// walking it with the same searches the viewer steps with.
#include <cstdio>
#include <string>
#include <vector>

#include "cli_commands.h"
#include "nmea.h"
#include "recording.h"

namespace rovena::cli {

namespace {

struct WalkSummary {
  int64_t pictures = 0;
  int64_t withSentence = 0;
  int64_t validFixes = 0;
  std::string firstTime, lastTime;
  std::string damage;  // why the walk stopped before the end of the file ("" when it did not)
};

const char* FormatName(int format) { return format == kFormatVga ? "640 x 480" : "320 x 240"; }

// Steps forward through every picture as the viewer's step-forward command does.
WalkSummary Walk(Recording& recording) {
  WalkSummary summary;
  std::vector<uint8_t> picture(kPicBufSize);
  while (recording.FindStartUp()) {
    if (!recording.FindPicStart() || !recording.ReadFrame(picture.data())) {
      summary.damage = "the picture at byte " + std::to_string(recording.PicPos) + " is incomplete";
      return summary;
    }
    ++summary.pictures;
    const NmeaDisplay shown = ParseNmea(recording.NmeaLine);
    if (!shown.isGprmc) continue;
    ++summary.withSentence;
    if (shown.gpsValid) ++summary.validFixes;
    const std::string time = shown.timeText.value_or("");
    if (summary.firstTime.empty()) summary.firstTime = time;
    summary.lastTime = time;
  }
  // A forward search also gives up after a long stretch without a picture.
  if (!recording.File().AtEnd())
    summary.damage = "no picture in the " + std::to_string(kStartSearchLimit) + " bytes up to byte " +
                     std::to_string(recording.File().LastPosition());
  return summary;
}

int Fail(const std::string& path, const std::string& why) {
  std::fprintf(stderr, "rovena-cli info: %s: %s\n", path.c_str(), why.c_str());
  return 1;
}

}  // namespace

int RunInfo(const std::vector<std::string>& args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "usage: rovena-cli info RECORDING\n");
    return 2;
  }
  const std::string& path = args[0];
  Recording recording;
  std::string error;
  if (!recording.Open(path, error)) return Fail(path, error);

  uint8_t header[7];
  for (uint8_t& b : header) b = recording.File().ReadNext();
  if (recording.FileLen < 7 || !HasSequenceHeaderCode(header))
    return Fail(path, "not a recording (it does not begin with an MPEG-1 sequence header)");
  const int format = FrameFormatFromHeader(header);
  if (format == kFormatNone)
    return Fail(path, "frame size is neither 640 x 480 nor 320 x 240; the viewer rejects it");

  const WalkSummary summary = Walk(recording);
  if (recording.File().HadIoError()) return Fail(path, "read error: the file or disk may be damaged");
  if (summary.pictures == 0) return Fail(path, "no complete picture found");

  std::printf("file: %s\n", path.c_str());
  std::printf("frame format: %s\n", FormatName(format));
  std::printf("length: %lld bytes\n", static_cast<long long>(recording.FileLen));
  std::printf("pictures: %lld\n", static_cast<long long>(summary.pictures));
  std::printf("gps sentences: %lld\n", static_cast<long long>(summary.withSentence));
  std::printf("valid fixes: %lld\n", static_cast<long long>(summary.validFixes));
  if (summary.withSentence > 0) {
    std::printf("first gps time: %s\n", summary.firstTime.c_str());
    std::printf("last gps time: %s\n", summary.lastTime.c_str());
  }
  if (!summary.damage.empty()) return Fail(path, "truncated or damaged: " + summary.damage);
  return 0;
}

}  // namespace rovena::cli
