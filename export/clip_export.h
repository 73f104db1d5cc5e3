// An evidence export as one call: a stretch of a recording (or of a trip's recordings) becomes NAME.mp4 (H.264 with the
// overlay and a subtitle stream), NAME.srt, NAME.gpx and the integrity record NAME.json.
// Every file goes to a temporary file first and the set is committed together only once all
// of them are complete, so a failure or a cancel leaves none of the new set behind and an
// older set of the same name as it was.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/atomic_file.h"
#include "export/clip_text.h"
#include "export/integrity_record.h"
#include "export/picture_source.h"

namespace rovena::exporting {

struct ExportRequest {
  // Picture numbers as cut takes them; several ranges run across consecutive recordings.
  std::vector<SourceRange> ranges;
  std::string output;     // the MP4; the sidecars take its name with their own extension
  OverlayFields overlay;
  BandPlace band = BandPlace::kBelow;
  TimeZone zone = TimeZone::Utc();  // of the band's and the subtitles' times
  int scale = 1;          // 1 or 2
  int crf = 18;
  std::optional<double> pace;  // seconds per picture instead of the GPS times
  double playInterval = 0.1;   // for pictures without a usable time
  int jobs = 1;
  bool sidecars = true;
  IfExists ifExists = IfExists::Refuse;  // whether an existing set of the same name is replaced
  std::string program = "rovena-cli";    // named in the record as the program that wrote it
  std::vector<std::string> arguments;    // the command line, kept in the record
  // Called with each decoded picture before the overlay is drawn and it is encoded, to
  // change its planes in place (covering faces and plates). A damaged picture is not passed;
  // the picture held in its place was passed already.
  std::function<void(const StretchPicture& picture, const std::string& recording, DecodedPicture& decoded)>
      beforeEncoding;
  // What beforeEncoding covered, filled in as it goes; the record keeps it.
  std::shared_ptr<const RedactionRecord> redaction;
  // A line the band and the subtitles add to every picture ("" for none): what whoever watches
  // the clip must know of all of it, such as boxes covered without a person's review.
  std::string bandNote;
};

struct ExportResult {
  std::string error;  // empty when every file was written
  bool cancelled = false;
  std::int64_t pictures = 0;
  double seconds = 0;  // the clip's duration
  std::vector<DamagedPicture> damaged;  // passed over, the picture before them held
  std::vector<std::string> written;     // in the order they were committed
};

// Called after each picture with the pictures done and the total, and with (0, 0) while the
// stretch is being found and the recording hashed; false cancels the export.
using ExportProgress = std::function<bool(std::int64_t done, std::int64_t total)>;

ExportResult ExportClip(const ExportRequest& request, const ExportProgress& progress = {});

// NAME.EXTENSION beside `output`, NAME being output's name without its extension.
std::string SidecarPath(const std::string& output, const std::string& extension);

// Every file an export to `output` writes: the clip, then (with sidecars) its subtitles, GPX
// track and integrity record, in the order they are committed.
std::vector<std::string> ExportFiles(const std::string& output, bool sidecars);

// Why sidecars cannot go beside `output`, "" when they can: one of them would replace it, or
// it is a device or FIFO, which has no folder of its own to share.
std::string SidecarProblem(const std::string& output);

// Commits the fragment of a lossless cut of the ranges' pictures (one recording's, or a
// trip's joined), still uncommitted in `fragment` (opened for `fragmentPath`), together with
// its GPX track and integrity record. Returns an error text, empty on success; on failure none
// of the three is in place.
std::string CommitCutWithSidecars(const std::vector<SourceRange>& ranges, AtomicFileWriter& fragment,
                                  const std::string& fragmentPath, const std::vector<std::string>& arguments,
                                  IfExists ifExists);

}  // namespace rovena::exporting
