#include "cli/fragment_text.h"

#include "core/output_guard.h"
#include "core/text_encoding.h"

namespace rovena::cli {

std::string FragmentText(const FragmentResult& result, const std::string& outputPath, const std::string& recordingPath) {
  using Status = FragmentResult::Status;
  switch (result.status) {
    case Status::Saved: return {};
    case Status::OutputIsRecording: return RefusalText(outputPath, result.detail);
    case Status::EndNotAfterStart: return "the end of the fragment must come after its start";
    case Status::StartTooEarly: return "the fragment starts too close to the start of the file to carry its header";
    case Status::EndPastFile: return "the end of the fragment lies past the end of the file";
    case Status::ReadFailed: return NameText(recordingPath) + ": read error while copying";
    case Status::RecordingShrank: return NameText(recordingPath) + " shrank while it was copied";
    case Status::WriteFailed: return "cannot write " + result.detail;
  }
  return {};
}

}  // namespace rovena::cli
