#include "fragment.h"

#include "atomic_file.h"
#include "output_guard.h"
#include "recording_file.h"

namespace rovena {
namespace {

FragmentResult Refusal(FragmentResult::Status status, std::string message) {
  FragmentResult r;
  r.status = status;
  r.message = std::move(message);
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
                            const std::string& outputPath) {
  using Status = FragmentResult::Status;
  // Checked by the open descriptor, so a recording renamed since it was opened is still
  // recognised; the writer checks again before it renames its file into place.
  if (const auto input = OpenInputAt(outputPath))
    return Refusal(Status::OutputIsRecording,
                   "Nie można zapisać fragmentu do oglądanego pliku: " + outputPath + " (" + *input + ")");
  if (cutEnd <= cutStart)
    return Refusal(Status::EndNotAfterStart, "Koniec fragmentu musi leżeć za jego początkiem !");
  if (cutStart - kFragmentLeadIn < 1)
    return Refusal(Status::StartTooEarly,
                   "Początek fragmentu leży zbyt blisko początku pliku - brak nagłówka !");
  if (cutEnd > recording.Length())
    return Refusal(Status::EndPastFile, "Koniec fragmentu leży za końcem pliku !");

  AtomicFileWriter out;
  if (std::string error = out.Open(outputPath); !error.empty())
    return Refusal(Status::WriteFailed, "Błąd zapisu pliku " + error);
  const bool hadIoError = recording.HadIoError();
  const bool hadShortRead = recording.HadShortRead();
  CopyRange(recording, 1, kFragmentHeaderBytes, out);
  CopyRange(recording, cutStart - kFragmentLeadIn, cutEnd, out);
  // Zeros read past a shrunken end are fine for searching, never for a copy.
  const bool shrank = (!hadShortRead && recording.HadShortRead()) || recording.LengthNow() < cutEnd;
  if ((!hadIoError && recording.HadIoError()) || shrank) {
    out.Abandon();
    return Refusal(Status::ReadFailed, "Błąd odczytu pliku " + recordingPath);
  }
  if (std::string error = out.Commit(); !error.empty())
    return Refusal(Status::WriteFailed, "Błąd zapisu pliku " + error);
  FragmentResult saved;
  saved.bytesWritten = FragmentLength(cutStart, cutEnd);
  return saved;
}

}  // namespace rovena
