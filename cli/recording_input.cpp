#include "cli/recording_input.h"

namespace rovena::cli {

std::string OpenRecording(Recording& recording, const std::string& path, int* format) {
  std::string error;
  if (!recording.Open(path, error)) return error;
  FrameFormat announced = kFormatNone;
  if (const RecordingCheck check = CheckRecording(recording, &announced); check != RecordingCheck::kRecording)
    return RecordingCheckText(check);
  if (format) *format = announced;
  return {};
}

std::string WalkDamage(const WalkOutcome& outcome) {
  const std::string at = std::to_string(outcome.at);
  switch (outcome.end) {
    case WalkEnd::kNotYet:
    case WalkEnd::kEndOfFile: return {};
    case WalkEnd::kReadError: return RecordingCheckText(RecordingCheck::kReadError);
    case WalkEnd::kCutShort: return "truncated: the picture at byte " + at + " is cut short";
    case WalkEnd::kIncompletePicture: return "damaged: the picture at byte " + at + " is incomplete";
    case WalkEnd::kNoPictureStart:
      return "damaged: no picture in the " + std::to_string(kStartSearchLimit) + " bytes up to byte " + at;
  }
  return {};
}

}  // namespace rovena::cli
