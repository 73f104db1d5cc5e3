#include "cli/export_redaction.h"

#include <map>
#include <memory>
#include <utility>

#include "core/block_library.h"
#include "core/output_guard.h"
#include "core/text_encoding.h"
#include "redact/boxes.h"
#include "redact/cover.h"
#include "redact/detector.h"

namespace rovena::cli {
namespace {

using PictureKey = std::pair<std::string, std::int64_t>;

bool InRanges(const redact::PictureRef& where, const std::vector<exporting::SourceRange>& ranges) {
  for (const exporting::SourceRange& range : ranges)
    if (redact::BoxRecordingName(range.path) == where.recording && where.picture >= range.from &&
        (range.to == 0 || where.picture <= range.to))
      return true;
  return false;
}

// Covered in the planes the encoder takes, before the band is drawn.
void Cover(exporting::Yuv420& planes, const std::vector<redact::Rect>& boxes) {
  const int w = planes.width, h = planes.height;
  redact::CoverPicture(redact::Yuv420Planes(planes.y.data(), w, planes.cb.data(), planes.cr.data(), w / 2, w, h), w, h,
                       boxes, redact::CoverStyle::Solid);
}

// The boxes of each picture, and the boxes file an input for as long as the export runs, so
// that no output (the record CLIP.json, say) can be written over it.
struct BoxesInput {
  std::map<PictureKey, std::vector<redact::Rect>> boxes;
  InputFiles file;
};

std::string FromBoxesFile(const std::string& path, exporting::ExportRequest& request) {
  auto input = std::make_shared<BoxesInput>();
  input->file = InputFiles({path});
  redact::BoxFile file;
  if (std::string error = redact::ReadBoxesFile(path, file); !error.empty()) return error;
  for (const redact::Box& box : file.boxes)
    if (InRanges(box.where, request.ranges)) input->boxes[{box.where.recording, box.where.picture}].push_back(box.rect);
  // Boxes that all miss the stretch mean a boxes file made for another one.
  if (input->boxes.empty() && !file.boxes.empty()) return NameText(path) + ": none of its boxes lies in the stretch";
  request.beforeEncoding = [input](const exporting::StretchPicture& picture, const std::string& recording,
                                   exporting::DecodedPicture& decoded) {
    const auto found = input->boxes.find({redact::BoxRecordingName(recording), picture.number});
    if (found != input->boxes.end()) Cover(decoded.planes, found->second);
  };
  return {};
}

}  // namespace

std::string AddRedaction(const std::string& value, exporting::ExportRequest& request) {
  const auto kinds = redact::ParseDetectKinds(value);
  if (!kinds) return FromBoxesFile(value, request);
  std::string error;
  auto detectors = std::make_shared<std::vector<std::unique_ptr<redact::Detector>>>(redact::MakeDetectors(*kinds, error));
  if (!error.empty()) return error;
  // The detectors look at the picture in the window's colours, as the redact command does.
  request.beforeEncoding = [detectors](const exporting::StretchPicture&, const std::string&,
                                       exporting::DecodedPicture& decoded) {
    const int width = decoded.planes.width, height = decoded.planes.height;
    std::vector<std::uint8_t> bgr = decoded.frame;
    BlockLibrary::Instance().YUVtoRGB(bgr.data(), width * height);
    const std::ptrdiff_t row = 3 * static_cast<std::ptrdiff_t>(width);
    std::vector<redact::Rect> boxes;
    for (const redact::Proposal& found : redact::FindAll(*detectors, {bgr.data() + (height - 1) * row, width, height, -row}))
      boxes.push_back(found.rect);
    Cover(decoded.planes, boxes);
  };
  return {};
}

}  // namespace rovena::cli
