// What `export --redact` covers before encoding: the boxes of a boxes file (as a person left
// them after review), or, given "faces", "plates" or both instead, whatever the detectors
// find in each picture. Covering is solid black over each box grown by 20 %, in the planes the
// encoder takes, before the band is drawn. The export's record lists every box covered, the
// detectors and their settings, the pictures a person reviewed and the boxes file's hash.
#pragma once

#include <string>

#include "export/clip_export.h"

namespace rovena::cli {

// Sets request.beforeEncoding and request.redaction for `value` (BOXES.json or a list of kinds); request.ranges
// must be filled already. Returns why not (a boxes file that cannot be read, or whose boxes
// all lie outside the stretch; a detector that cannot be loaded), empty on success.
std::string AddRedaction(const std::string& value, exporting::ExportRequest& request);

}  // namespace rovena::cli
