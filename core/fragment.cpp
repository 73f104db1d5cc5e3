#include "core/fragment.h"

#include "core/atomic_file.h"
#include "core/output_guard.h"
#include "core/recording_file.h"

namespace rovena {
namespace {

// Each refusal in the window's Polish and, for the command line, in English.
FragmentResult Refusal(FragmentResult::Status status, std::string message, std::string english) {
  FragmentResult r;
  r.status = status;
  r.message = std::move(message);
  r.english = std::move(english);
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

FragmentResult SaveFragment(RecordingFile& recording, const std::string& recordingPath,
                            std::int64_t cutStart, std::int64_t cutEnd,
                            const std::string& outputPath, IfExists ifExists) {
  AtomicFileWriter out;
  FragmentResult result = WriteFragment(recording, recordingPath, cutStart, cutEnd, outputPath, ifExists, out);
  if (!result.ok()) return result;
  if (std::string error = out.Commit(); !error.empty())
    return Refusal(FragmentResult::Status::WriteFailed, "Błąd zapisu pliku " + error, "cannot write " + error);
  return result;
}

FragmentResult WriteFragment(RecordingFile& recording, const std::string& recordingPath,
                             std::int64_t cutStart, std::int64_t cutEnd,
                             const std::string& outputPath, IfExists ifExists, AtomicFileWriter& out) {
  using Status = FragmentResult::Status;
  // Checked by the open descriptor, so a recording renamed since it was opened is still
  // recognised; the writer checks again before it renames its file into place.
  if (const auto input = InputAt(outputPath))
    return Refusal(Status::OutputIsRecording,
                   "Nie można zapisać fragmentu do oglądanego pliku: " + outputPath + " (" + *input + ")",
                   RefusalText(outputPath, *input));
  if (cutEnd <= cutStart)
    return Refusal(Status::EndNotAfterStart, "Koniec fragmentu musi leżeć za jego początkiem !",
                   "the end of the fragment must come after its start");
  if (cutStart - kFragmentLeadIn < 1)
    return Refusal(Status::StartTooEarly,
                   "Początek fragmentu leży zbyt blisko początku pliku - brak nagłówka !",
                   "the fragment starts too close to the start of the file to carry its header");
  if (cutEnd > recording.Length())
    return Refusal(Status::EndPastFile, "Koniec fragmentu leży za końcem pliku !",
                   "the end of the fragment lies past the end of the file");

  if (std::string error = out.Open(outputPath, ifExists); !error.empty())
    return Refusal(Status::WriteFailed, "Błąd zapisu pliku " + error, "cannot write " + error);
  const bool hadIoError = recording.HadIoError();
  const bool hadShortRead = recording.HadShortRead();
  CopyRange(recording, 1, kFragmentHeaderBytes, out);
  CopyRange(recording, cutStart - kFragmentLeadIn, cutEnd, out);
  // Zeros read past a shrunken end are fine for searching, never for a copy.
  const bool shrank = (!hadShortRead && recording.HadShortRead()) || recording.LengthNow() < cutEnd;
  if ((!hadIoError && recording.HadIoError()) || shrank) {
    out.Abandon();
    return Refusal(Status::ReadFailed, "Błąd odczytu pliku " + recordingPath,
                   recordingPath + (shrank ? " shrank while it was copied" : ": read error while copying"));
  }
  FragmentResult saved;
  saved.bytesWritten = FragmentLength(cutStart, cutEnd);
  return saved;
}

}  // namespace rovena
