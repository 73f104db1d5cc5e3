// What the window writes: a snapshot of the picture area, the cut marks on the bar, the marked
// fragment, and its export to MP4.
#include <filesystem>

#include "core/bmp_writer.h"
#include "core/gps_track.h"
#include "core/atomic_file.h"
#include "core/snapshot_name.h"
#include "core/text_encoding.h"
#include "redact/cover.h"
#include "viewer/clip_export_dialog.h"
#include "viewer/core_messages.h"
#include "viewer/local_path.h"
#include "viewer/main_window.h"
#include "viewer/save_refusal.h"
#include "viewer/snapshot_metadata.h"

namespace rovena {

namespace {

const char kBmpFilter[] = "*.bmp|*.bmp";
const char kCutFilter[] = "*.MPEG|*.MPEG";

}  // namespace

void Form1::cmdBmp_Click() {
  if (Playing) return;
  const std::optional<QString> chosen = platform_.ChooseFileToSave(SnapshotPreset(), QString::fromLatin1(kBmpFilter));
  if (!chosen || chosen->isEmpty()) return;
  BmpFileName = *chosen;
  const std::string target = PathToBytes(BmpFileName);
  const std::string error = WriteSnapshot(target);
  if (!error.empty()) {
    // The guard refused to write over a recording of the trip: say so in the window's words.
    const std::optional<QString> refusal = InputRefusal(QStringLiteral("obrazu"), {target}, MpegFile);
    platform_.ShowMessage(refusal.value_or(PathFromBytes(error)), MessageIcon::Critical);
    return;
  }
  platform_.WriteSetting(QStringLiteral("BmpFile"), BmpFileName);
}

// Before any snapshot was saved: the recording's name with the picture's GPS time.
QString Form1::SnapshotPreset() const {
  if (!BmpFileName.isEmpty() || MpegFile.isEmpty()) return BmpFileName;
  const std::optional<GpsFix> fix = ParseGprmc(player.CurrentRecording().NmeaLine);
  return PathFromBytes(SuggestedSnapshotName(PathToBytes(MpegFile), fix ? fix->utc : std::string()));
}

// A 24-bit BMP, unless the name ends in .png or .jpg, which carry the picture's time, place and
// source; every format goes through the guard. The save dialog has asked before an existing
// file is replaced.
std::string Form1::WriteSnapshot(const std::string& target) const {
  const std::string format = SnapshotFormat(target);
  if (format == "bmp") {
    const QImage bgr = SnapshotImage().convertToFormat(QImage::Format_BGR888);
    return WriteBmp24File(target, BgrImageView{bgr.width(), bgr.height(), bgr.constBits(), bgr.bytesPerLine(), false},
                          IfExists::Replace);
  }
  const Recording& recording = player.CurrentRecording();
  const SnapshotFacts facts{ParseGprmc(recording.NmeaLine),
                            NameText(std::filesystem::path(player.Path()).filename().string()) +
                                ", picture at byte " + std::to_string(recording.PicPos)};
  const QByteArray encoded = EncodeSnapshot(SnapshotImage(), format, facts);
  if (encoded.isEmpty()) return target + ": cannot encode " + format;
  return WriteFileAtomically(target,
                             {reinterpret_cast<const std::uint8_t*>(encoded.constData()),
                              static_cast<std::size_t>(encoded.size())},
                             IfExists::Replace);
}

// Covered as the export covers: solid black over each box grown by a fifth, for good.
QImage Form1::SnapshotImage() const {
  const redact::ReviewSession* review = Review();
  if (!review || !review->Current()) return Pic1->Image();
  std::vector<redact::Rect> boxes;
  for (const std::size_t i : review->CurrentBoxes()) boxes.push_back(review->File().boxes[i].rect);
  QImage image = Pic1->Image().convertToFormat(QImage::Format_RGB32);
  const PictureDecoder& decoder = player.Decoder();
  const int width = decoder.Width(), height = decoder.Height();
  std::uint8_t* picture = image.bits() + 4 * static_cast<std::ptrdiff_t>(decoder.DrawX());
  redact::CoverPicture(redact::PackedColourPlanes(picture, image.bytesPerLine(), 4, width, height), width, height,
                       boxes, redact::CoverStyle::Solid);
  return image;
}

void Form1::cmdCut_Click() {
  if (player.Mark() == TripPlayer::MarkResult::Refused) {
    platform_.Beep();
    return;
  }
  ShowCutMarks();
}

// The marks' lines stand where the marked pictures end; the flag shows how far marking got.
void Form1::ShowCutMarks() {
  const CutMarks& marks = player.Marks();
  PlaceCutLine(fraCmd->linCut1, marks.start);
  PlaceCutLine(fraCmd->linCut2, marks.end);
  fraCmd->update();
  cmdSaveCut->setEnabled(marks.end.has_value());
  const QString flag = marks.end ? QStringLiteral("3") : marks.start ? QStringLiteral("2") : QStringLiteral("1");
  cmdCut->SetPicture(flag, imglFlag.Picture(flag));
}

void Form1::PlaceCutLine(CutLine& line, const std::optional<PictureRef>& mark) {
  line.visible = mark.has_value();
  if (mark) line.x = CutLineX(fraCmd->shFile, mark->end, player.CurrentRecording().FileLen);
}

void Form1::cmdSaveCut_Click() {
  if (Playing) return;
  const std::optional<QString> chosen = platform_.ChooseFileToSave(CutFileName, QString::fromLatin1(kCutFilter));
  if (!chosen || chosen->isEmpty()) return;
  CutFileName = *chosen;
  platform_.WriteSetting(QStringLiteral("Cut"), CutFileName);
  const std::string target = PathToBytes(CutFileName);
  const FragmentResult result = player.SaveMarked(target, IfExists::Replace);
  if (result.ok()) return;
  const std::optional<QString> refusal = InputRefusal(QStringLiteral("fragmentu"), {target}, MpegFile);
  platform_.ShowMessage(refusal.value_or(FragmentMessage(result, target, player.CanonicalPath())), MessageIcon::Exclamation);
}

void Form1::ExportCutToMp4() {
  const CutMarks& marks = player.Marks();
  if (Playing || !marks.end) return;
  ExportMarkedStretch(this, platform_,
                      {PathFromBytes(marks.end->recording), marks.CutStart(), marks.CutEnd(), PlayInterval});
}

}  // namespace rovena
