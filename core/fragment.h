// Saving a cut: the recording's first 20 bytes (its sequence and group-of-pictures headers)
// followed by positions CutStart - 11 to CutEnd, copied byte for byte through the open
// recording's own read primitives and written atomically.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/atomic_file.h"

namespace rovena {

class RecordingFile;

// Bytes of the recording's leading headers copied in front of every fragment.
constexpr std::int64_t kFragmentHeaderBytes = 20;
// The copy begins this many bytes before the start mark (CutStart is the last byte of the
// picture start code; the 8 header bytes in front of the code come along).
constexpr std::int64_t kFragmentLeadIn = 11;

// What became of a save; the window and the command line word it each in their own language.
struct FragmentResult {
  enum class Status { Saved, OutputIsRecording, EndNotAfterStart, StartTooEarly, EndPastFile,
                      ReadFailed, RecordingShrank, WriteFailed };
  Status status = Status::Saved;
  // OutputIsRecording: the input that the output names; WriteFailed: the writer's description
  // of the failure. Empty otherwise.
  std::string detail;
  std::int64_t bytesWritten = 0;
  bool ok() const { return status == Status::Saved; }
};

// The length of the fragment for the two marks: 20 + cutEnd - cutStart + 12.
std::int64_t FragmentLength(std::int64_t cutStart, std::int64_t cutEnd);

// Writes the fragment of the open `recording` to `outputPath`.
// Refuses, without touching any file, when the output is the recording itself (also through
// a link or another spelling), when cutEnd <= cutStart, when cutStart - 11 < 1, or when
// cutEnd lies past the recording's end. After a successful copy the recording's current
// position is cutEnd + 1 and its last position cutEnd.
FragmentResult SaveFragment(RecordingFile& recording, std::int64_t cutStart, std::int64_t cutEnd,
                            const std::string& outputPath, IfExists ifExists);
// The same, left in `out` uncommitted, so that it can be committed together with files
// made from it (its sidecars).
FragmentResult WriteFragment(RecordingFile& recording, std::int64_t cutStart, std::int64_t cutEnd,
                             const std::string& outputPath, IfExists ifExists, AtomicFileWriter& out);

// One recording's share of a joined fragment: the marks a cut of that recording takes.
struct FragmentPiece {
  std::string recordingPath;
  std::int64_t cutStart = 0, cutEnd = 0;
};

// The pieces' fragments one after another, each byte for byte what WriteFragment writes for
// it (its recording's own headers, then its marked bytes), left in `out` uncommitted. Every
// picture of a recording is a sequence of its own, so the joined file is a recording too.
// ReadFailed and RecordingShrank name the recording in `detail`.
FragmentResult WriteJoinedFragments(const std::vector<FragmentPiece>& pieces, const std::string& outputPath,
                                    IfExists ifExists, AtomicFileWriter& out);

}  // namespace rovena
