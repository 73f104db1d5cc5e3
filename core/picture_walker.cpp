#include "core/picture_walker.h"

namespace rovena {

RecordingCheck CheckRecording(Recording& recording, FrameFormat* format) {
  const auto header = recording.File().ViewForward(1, 7);
  if (header.size() < 7 || !HasSequenceHeaderCode(header.data()))
    return recording.File().HadIoError() ? RecordingCheck::kReadError : RecordingCheck::kNoSequenceHeader;
  const FrameFormat announced = FrameFormatFromHeader(header.data());
  if (announced == kFormatNone) return RecordingCheck::kOtherFrameSize;
  PictureWalker walker(recording);
  const bool found = walker.Next();
  recording.File().SetCurrentPosition(1);
  recording.PicPos = 0;
  if (!found) return walker.Outcome().end == WalkEnd::kReadError ? RecordingCheck::kReadError : RecordingCheck::kNoWholePicture;
  if (format) *format = announced;
  return RecordingCheck::kRecording;
}

const char* RecordingCheckText(RecordingCheck check) {
  switch (check) {
    case RecordingCheck::kRecording: return "a recording";
    case RecordingCheck::kNoSequenceHeader: return "not a recording (it does not begin with an MPEG-1 sequence header)";
    case RecordingCheck::kOtherFrameSize: return "frame size is neither 640 x 480 nor 320 x 240; the viewer rejects it";
    case RecordingCheck::kNoWholePicture: return "no picture in it can be read whole";
    case RecordingCheck::kReadError: return "read error: the file or disk may be damaged";
  }
  return "";
}

}  // namespace rovena
