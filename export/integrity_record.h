// The integrity record NAME.json written beside an export or a cut: where the clip came from
// (each source recording's path, size and SHA-256, and which of its pictures and bytes the
// stretch took),
// what was written (each output's SHA-256), by which program and with which options, when
// (UTC). VerifyRecord re-computes every hash and says which still match.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace rovena::exporting {

// SHA-256 as 64 lower-case hex digits; nothing when the file cannot be read, or when
// `keepGoing` (asked after each mebibyte) says stop.

// "2026-12-07T12:31:46Z"
std::string UtcNow();

struct RecordedFile {
  std::string path;
  std::int64_t size = 0;
  std::string sha256;
};

struct DamagedPicture {
  std::string recording;
  std::int64_t number = 0;
  std::int64_t position = 0;
};

// Pictures first..last of source `source`, with their byte positions (1-based).
struct StretchPart {
  std::size_t source = 0;
  std::int64_t firstPicture = 0, lastPicture = 0;
  std::int64_t firstPosition = 0, lastPosition = 0;
};

// What an export covered, box by box, and on whose word: the boxes file a person reviewed, or a
// detector's finds covered unseen.
struct CoveredBox {
  std::string recording;  // the file name, as the boxes file names it
  std::int64_t picture = 0;
  int x = 0, y = 0, w = 0, h = 0;  // the box as given; the covering grows it by a fifth
  std::string kind, origin;
  bool confirmed = false;
  bool operator==(const CoveredBox&) const = default;
};

struct DetectorUse {
  std::string name;
  std::map<std::string, std::string> parameters;
};

struct RedactionRecord {
  std::string covering;                   // how each box was covered
  std::optional<RecordedFile> boxesFile;  // none when detection ran during the export
  std::vector<DetectorUse> detectors;     // what proposed the boxes, when anything did
  std::vector<CoveredBox> covered;
  // The clip's pictures that passed through the covering, and those of them a person reviewed.
  std::int64_t pictures = 0;
  std::vector<std::pair<std::string, std::int64_t>> reviewed;
};

struct IntegrityRecord {
  std::string kind;  // "export" or "cut"
  std::string program;  // "Rovena" (the window) or "rovena-cli"
  std::string startedUtc;
  std::string finishedUtc;
  std::vector<std::string> arguments;      // the command line as given
  std::vector<std::pair<std::string, std::string>> options;  // as understood, in order
  std::vector<RecordedFile> sources;
  std::vector<StretchPart> stretch;  // one part per source, in order
  std::vector<DamagedPicture> damaged;
  // Outputs are named relative to the record's folder, so that the set can be moved together.
  std::vector<RecordedFile> outputs;
  std::optional<RedactionRecord> redaction;
};

std::string RecordJson(const IntegrityRecord& record);

struct FileCheck {
  std::string role;  // "source", "output" or "boxes" (the boxes file covered from)
  std::string path;  // as resolved for reading
  enum class Outcome { Match, Mismatch, Missing } outcome = Outcome::Missing;
};

// True for the names of the files written beside a clip: NAME.srt, NAME.gpx, NAME.json.
bool IsSidecarName(const std::string& path);

// Reads the record at `jsonPath` and re-hashes every file it names. An error text (unreadable
// or malformed record, or one that names no source or not its own clip, NAME.EXT beside
// NAME.json) leaves `checks` empty: a record with entries taken out does not pass.
// `outputsOnly` leaves the sources and the boxes file unread.
std::string VerifyRecord(const std::string& jsonPath, std::vector<FileCheck>& checks, bool outputsOnly = false);

}  // namespace rovena::exporting
