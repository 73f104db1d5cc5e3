// An evidence export as one call: a stretch of a recording (or of a trip's recordings) becomes NAME.mp4 (H.264 with the
// overlay and a subtitle stream), NAME.srt, NAME.gpx and the integrity record NAME.json.
// Every file goes through an atomic write and all of them are committed only once the video
// is complete, so a failure or a cancel leaves none of them behind.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "export/clip_text.h"
#include "export/integrity_record.h"
#include "export/picture_source.h"

namespace rovena::exporting {

struct ExportRequest {
  // Picture numbers as cut takes them; several ranges run across consecutive recordings.
  std::vector<SourceRange> ranges;
  std::string output;     // the MP4; the sidecars take its name with their own extension
  OverlayFields overlay;
  int scale = 1;          // 1 or 2
  int crf = 18;
  std::optional<double> pace;  // seconds per picture instead of the GPS times
  double playInterval = 0.1;   // for pictures without a usable time
  int jobs = 1;
  bool sidecars = true;
  std::vector<std::string> arguments;  // the command line, kept in the record
  // Called with each decoded picture before the overlay is drawn and it is encoded, to
  // change it in place (covering faces and plates): display colours, 3 bytes per pixel
  // (blue, green, red), line 0 the lowest. A damaged picture is not passed; the picture held
  // in its place was passed already.
  std::function<void(const StretchPicture& picture, const std::string& recording, std::uint8_t* bgr, int width,
                     int height)>
      beforeEncoding;
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

// The GPX and the integrity record for a lossless cut of pictures from..to, written next to
// the fragment already saved at `fragmentPath`. Returns an error text, empty on success.
std::string WriteCutSidecars(const std::string& recording, std::int64_t from, std::int64_t to,
                             const std::string& fragmentPath, const std::vector<std::string>& arguments);

}  // namespace rovena::exporting
