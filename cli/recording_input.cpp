#include "cli/recording_input.h"

namespace rovena::cli {

std::string OpenRecording(Recording& recording, const std::string& path, int* format) {
  std::string error;
  if (!recording.Open(path, error)) return error;
  const auto header = recording.File().ViewForward(1, 7);
  if (header.size() < 7 || !HasSequenceHeaderCode(header.data()))
    return "not a recording (it does not begin with an MPEG-1 sequence header)";
  const int announced = FrameFormatFromHeader(header.data());
  if (announced == kFormatNone) return "frame size is neither 640 x 480 nor 320 x 240; the viewer rejects it";
  if (format) *format = announced;
  return {};
}

std::string WalkDamage(Recording& recording, bool stoppedOnPicture) {
  RecordingFile& file = recording.File();
  if (file.HadIoError()) return "read error: the file or disk may be damaged";
  if (stoppedOnPicture)
    return file.AtEnd() ? "truncated: the picture at byte " + std::to_string(recording.PicPos) + " is cut short"
                        : "damaged: the picture at byte " + std::to_string(recording.PicPos) + " is incomplete";
  if (!file.AtEnd())
    return "damaged: no picture in the " + std::to_string(kStartSearchLimit) + " bytes up to byte " +
           std::to_string(file.LastPosition());
  return {};
}

}  // namespace rovena::cli
