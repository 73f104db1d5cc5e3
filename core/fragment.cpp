#include "core/fragment.h"

#include "core/atomic_file.h"
#include "core/output_guard.h"
#include "core/recording_file.h"

namespace rovena {
namespace {

FragmentResult Refusal(FragmentResult::Status status, std::string detail = {}) {
  FragmentResult r;
  r.status = status;
  r.detail = std::move(detail);
  return r;
}

// Reads positions first..last through the recording's primitives, so that it ends standing
// exactly where a byte-by-byte copy leaves it.
void CopyRange(RecordingFile& recording, std::int64_t first, std::int64_t last,
               AtomicFileWriter& out) {
  out.Put(recording.ReadAt(first));
  for (std::int64_t p = first + 1; p <= last; ++p) out.Put(recording.ReadNext());
}

}  // namespace

std::int64_t FragmentLength(std::int64_t cutStart, std::int64_t cutEnd) {
  return kFragmentHeaderBytes + cutEnd - cutStart + kFragmentLeadIn + 1;
}

FragmentResult SaveFragment(RecordingFile& recording, std::int64_t cutStart, std::int64_t cutEnd,
                            const std::string& outputPath, IfExists ifExists) {
  AtomicFileWriter out;
  FragmentResult result = WriteFragment(recording, cutStart, cutEnd, outputPath, ifExists, out);
  if (!result.ok()) return result;
  if (std::string error = out.Commit(); !error.empty()) return Refusal(FragmentResult::Status::WriteFailed, error);
  return result;
}

namespace {

// Why marks cannot be cut from `recording`; a result that is ok() when they can.
FragmentResult CheckMarks(RecordingFile& recording, std::int64_t cutStart, std::int64_t cutEnd) {
  using Status = FragmentResult::Status;
  if (cutEnd <= cutStart) return Refusal(Status::EndNotAfterStart);
  if (cutStart - kFragmentLeadIn < 1) return Refusal(Status::StartTooEarly);
  if (cutEnd > recording.Length()) return Refusal(Status::EndPastFile);
  return {};
}

// Appends the fragment of checked marks to `out`: the recording's headers, then the marked
// bytes; abandons `out` when the recording could not be read whole.
FragmentResult AppendFragment(RecordingFile& recording, std::int64_t cutStart, std::int64_t cutEnd,
                              AtomicFileWriter& out) {
  using Status = FragmentResult::Status;
  const bool hadIoError = recording.HadIoError();
  const bool hadShortRead = recording.HadShortRead();
  CopyRange(recording, 1, kFragmentHeaderBytes, out);
  CopyRange(recording, cutStart - kFragmentLeadIn, cutEnd, out);
  // Zeros read past a shrunken end are fine for searching, never for a copy.
  const bool shrank = (!hadShortRead && recording.HadShortRead()) || recording.LengthNow() < cutEnd;
  if ((!hadIoError && recording.HadIoError()) || shrank) {
    out.Abandon();
    return Refusal(shrank ? Status::RecordingShrank : Status::ReadFailed);
  }
  FragmentResult saved;
  saved.bytesWritten = FragmentLength(cutStart, cutEnd);
  return saved;
}

}  // namespace

FragmentResult WriteFragment(RecordingFile& recording, std::int64_t cutStart, std::int64_t cutEnd,
                             const std::string& outputPath, IfExists ifExists, AtomicFileWriter& out) {
  using Status = FragmentResult::Status;
  // Checked by the open descriptor, so a recording renamed since it was opened is still
  // recognised; the writer checks again before it renames its file into place.
  if (const auto input = InputAt(outputPath)) return Refusal(Status::OutputIsRecording, *input);
  if (FragmentResult refused = CheckMarks(recording, cutStart, cutEnd); !refused.ok()) return refused;
  if (std::string error = out.Open(outputPath, ifExists); !error.empty()) return Refusal(Status::WriteFailed, error);
  return AppendFragment(recording, cutStart, cutEnd, out);
}

FragmentResult WriteJoinedFragments(const std::vector<FragmentPiece>& pieces, const std::string& outputPath,
                                    IfExists ifExists, AtomicFileWriter& out) {
  using Status = FragmentResult::Status;
  if (const auto input = InputAt(outputPath)) return Refusal(Status::OutputIsRecording, *input);
  FragmentResult joined;
  for (const FragmentPiece& piece : pieces) {
    RecordingFile recording;
    std::string error;
    if (!recording.Open(piece.recordingPath, error)) return Refusal(Status::ReadFailed, piece.recordingPath);
    if (FragmentResult refused = CheckMarks(recording, piece.cutStart, piece.cutEnd); !refused.ok()) return refused;
    if (&piece == &pieces.front())
      if (error = out.Open(outputPath, ifExists); !error.empty()) return Refusal(Status::WriteFailed, error);
    FragmentResult appended = AppendFragment(recording, piece.cutStart, piece.cutEnd, out);
    if (!appended.ok()) {
      appended.detail = piece.recordingPath;
      return appended;
    }
    joined.bytesWritten += appended.bytesWritten;
  }
  return joined;
}

}  // namespace rovena
