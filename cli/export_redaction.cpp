#include "cli/export_redaction.h"

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <utility>

#include "core/block_library.h"
#include "core/output_guard.h"
#include "core/text_encoding.h"
#include "digest/sha256.h"
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

// How every box is covered, as the record says it.
constexpr char kCovering[] = "solid black over each box grown by 20 % (a tenth of its size on each side)";
// Said on every picture of a clip whose boxes only a detector chose.
constexpr char kUnreviewedBandNote[] = "zakryto automatycznie, bez przeglądu";

exporting::CoveredBox Covered(const redact::Box& box) {
  return {box.where.recording, box.where.picture, box.rect.x, box.rect.y, box.rect.w, box.rect.h,
          redact::KindName(box.kind), redact::OriginName(box.origin), box.confirmed};
}

// Covers `boxes` in a picture and notes them in the record.
void CoverAndNote(const std::vector<redact::Box>& boxes, exporting::Yuv420& planes, exporting::RedactionRecord& record) {
  std::vector<redact::Rect> rects;
  for (const redact::Box& box : boxes) {
    rects.push_back(box.rect);
    record.covered.push_back(Covered(box));
  }
  Cover(planes, rects);
}

// The boxes of each picture, the pictures a person reviewed, and the boxes file an input for
// as long as the export runs, so that no output (the record CLIP.json, say) can be written
// over it.
struct BoxesInput {
  std::map<PictureKey, std::vector<redact::Box>> boxes;
  std::set<PictureKey> reviewed;
  InputFiles file;
};

std::string FromBoxesFile(const std::string& path, exporting::ExportRequest& request) {
  auto input = std::make_shared<BoxesInput>();
  input->file = InputFiles({path});
  redact::BoxFile file;
  if (std::string error = redact::ReadBoxesFile(path, file); !error.empty()) return error;
  for (const redact::Box& box : file.boxes)
    if (InRanges(box.where, request.ranges)) input->boxes[{box.where.recording, box.where.picture}].push_back(box);
  // Boxes that all miss the stretch mean a boxes file made for another one.
  if (input->boxes.empty() && !file.boxes.empty()) return NameText(path) + ": none of its boxes lies in the stretch";
  for (const redact::PictureRef& where : file.reviewed) input->reviewed.insert({where.recording, where.picture});
  std::string error;
  const std::optional<std::string> sha = Sha256OfFile(path, &error);
  if (!sha) return NameText(path) + ": " + error;
  auto record = std::make_shared<exporting::RedactionRecord>();
  record->covering = kCovering;
  std::error_code sizeError;
  const auto size = std::filesystem::file_size(path, sizeError);
  record->boxesFile = exporting::RecordedFile{std::filesystem::absolute(path).lexically_normal().string(),
                                              static_cast<std::int64_t>(size), *sha};
  for (const redact::DetectorNote& detector : file.detectors) record->detectors.push_back({detector.name, detector.parameters});
  request.redaction = record;
  request.beforeEncoding = [input, record](const exporting::StretchPicture& picture, const std::string& recording,
                                           exporting::DecodedPicture& decoded) {
    const PictureKey key{redact::BoxRecordingName(recording), picture.number};
    ++record->pictures;
    if (input->reviewed.count(key)) record->reviewed.push_back(key);
    const auto found = input->boxes.find(key);
    if (found != input->boxes.end()) CoverAndNote(found->second, decoded.planes, *record);
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
  auto record = std::make_shared<exporting::RedactionRecord>();
  record->covering = kCovering;
  for (const auto& detector : *detectors) record->detectors.push_back({detector->Name(), detector->Parameters()});
  request.redaction = record;
  request.bandNote = kUnreviewedBandNote;
  // The detectors look at the picture in the window's colours, as the redact command does.
  request.beforeEncoding = [detectors, record](const exporting::StretchPicture& picture, const std::string& recording,
                                               exporting::DecodedPicture& decoded) {
    ++record->pictures;
    const int width = decoded.planes.width, height = decoded.planes.height;
    std::vector<std::uint8_t> bgr = decoded.frame;
    BlockLibrary::Instance().YUVtoRGB(bgr.data(), width * height);
    const std::ptrdiff_t row = 3 * static_cast<std::ptrdiff_t>(width);
    std::vector<redact::Box> boxes;
    for (const redact::Proposal& found : redact::FindAll(*detectors, {bgr.data() + (height - 1) * row, width, height, -row}))
      boxes.push_back({{redact::BoxRecordingName(recording), picture.number}, found.rect, found.kind,
                       redact::BoxOrigin::Detected, false});
    CoverAndNote(boxes, decoded.planes, *record);
  };
  return {};
}

}  // namespace rovena::cli
