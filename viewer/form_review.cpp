// Reviewing what is to be covered before a clip is shared: the picture window shows the boxes
// of a boxes file (a detector's proposals, say) over the enlarged picture, and a person adds,
// removes and accepts them picture by picture. The rules are the session's
// (redact/review.h); here are the keys, the files and the window's words.
#include "core/atomic_file.h"
#include "export/picture_source.h"
#include "viewer/local_path.h"
#include "viewer/main_window.h"
#include "viewer/picture_window.h"
#include "viewer/save_refusal.h"

namespace rovena {
namespace {

const char kBoxesFilter[] = "*.json|*.json";

}  // namespace

void Form1::ToggleReview() {
  if (review_) {
    EndReview();
    return;
  }
  if (Playing || MpegFile.isEmpty()) return;
  const std::optional<QString> chosen =
      platform_.ChooseFileToOpen(platform_.ReadSetting(QStringLiteral("BoxesFile")), QString::fromLatin1(kBoxesFilter));
  if (!chosen || chosen->isEmpty()) return;
  redact::BoxFile boxes;
  if (const std::string error = redact::ReadBoxesFile(PathToBytes(*chosen), boxes); !error.empty()) {
    platform_.ShowMessage(PathFromBytes(error), MessageIcon::Critical);
    return;
  }
  StartReview(std::move(boxes), *chosen);
}

void Form1::StartEmptyReview() {
  if (review_ || Playing || MpegFile.isEmpty()) return;
  StartReview({}, QString());
}

void Form1::StartReview(redact::BoxFile boxes, const QString& path) {
  std::vector<redact::ReviewPicture> stretch = ReviewStretch();
  if (stretch.empty()) {
    platform_.ShowMessage(QStringLiteral("Brak obrazów do przeglądu w nagraniu %1").arg(MpegFile), MessageIcon::Exclamation);
    return;
  }
  review_.emplace(std::move(boxes), std::move(stretch));
  reviewPath_ = path;
  if (!path.isEmpty()) platform_.WriteSetting(QStringLiteral("BoxesFile"), path);
  if (PictureWindow* window = companions_->Picture()) window->SetReview({&*review_, ShownPictureRect()});
  FollowReview();
}

std::vector<redact::ReviewPicture> Form1::ReviewStretch() {
  const std::string& path = player.Path();
  std::int64_t from = 1, to = 0;
  const CutMarks& marks = player.Marks();
  if (marks.end && marks.end->recording == player.CanonicalPath())
    exporting::PicturesBetweenMarks(path, marks.CutStart(), marks.CutEnd(), from, to);
  exporting::Stretch stretch;
  if (!exporting::FindStretch({{path, from, to}}, stretch).empty()) return {};
  std::vector<redact::ReviewPicture> pictures;
  const std::string name = redact::BoxRecordingName(path);
  for (const exporting::StretchPicture& picture : stretch.pictures)
    pictures.push_back({{name, picture.number}, picture.position});
  return pictures;
}

// Where the decoded picture lies in the picture area's image.
QRect Form1::ShownPictureRect() {
  PictureDecoder& decoder = player.Decoder();
  return QRect(decoder.DrawX(), 0, decoder.Width(), decoder.Height());
}

void Form1::FollowReview() {
  if (!review_) return;
  review_->Show(redact::BoxRecordingName(player.Path()), player.CurrentRecording().PicPos);
  // The window repaints at its next refresh, as for any picture shown; only the picture's place
  // changes with the recording's picture size.
  PictureWindow* window = companions_->Picture();
  if (!window || window->Review().picture == ShownPictureRect()) return;
  ReviewView view = window->Review();
  view.picture = ShownPictureRect();
  window->SetReview(view);
}

void Form1::RepaintReview() {
  if (PictureWindow* window = companions_->Picture()) window->update();
}

void Form1::ReviewedAndNext() {
  if (!review_ || Playing) return;
  if (!review_->MarkReviewed()) {
    platform_.Beep();  // the picture shown is not one of the stretch
    return;
  }
  if (review_->AtLastPicture())
    RepaintReview();
  else
    cmdUp_Click();
}

void Form1::RemoveSelectedBox() {
  if (review_ && review_->RemoveSelected()) RepaintReview();
}

void Form1::CopyPreviousBoxes() {
  if (!review_) return;
  if (review_->CopyPrevious() == 0) platform_.Beep();
  RepaintReview();
}

void Form1::SetDrawKind(redact::BoxKind kind) {
  PictureWindow* window = companions_->Picture();
  if (!review_ || !window) return;
  review_->SetSelectedKind(kind);
  ReviewView view = window->Review();
  view.drawKind = kind;
  window->SetReview(view);
}

void Form1::BoxKindFace() { SetDrawKind(redact::BoxKind::Face); }
void Form1::BoxKindPlate() { SetDrawKind(redact::BoxKind::Plate); }
void Form1::BoxKindOther() { SetDrawKind(redact::BoxKind::Other); }

// The file opened for review is saved over, as an editor saves the file it opened; a new one
// gets its name from the save dialog, which asks before it replaces a file. The output guard
// refuses a recording of the open trip whatever the name.
bool Form1::WriteReview() {
  if (!review_) return false;
  QString target = reviewPath_;
  if (target.isEmpty()) {
    const QString preset = PathFromBytes(player.Path() + ".boxes.json");
    const std::optional<QString> chosen = platform_.ChooseFileToSave(preset, QString::fromLatin1(kBoxesFilter));
    if (!chosen || chosen->isEmpty()) return false;
    target = *chosen;
  }
  const std::string bytes = PathToBytes(target);
  if (const std::string error = redact::WriteBoxesFile(bytes, review_->File(), IfExists::Replace); !error.empty()) {
    const std::optional<QString> refusal = InputRefusal(QStringLiteral("ramek"), {bytes}, MpegFile);
    platform_.ShowMessage(refusal.value_or(PathFromBytes(error)), MessageIcon::Critical);
    return false;
  }
  reviewPath_ = target;
  review_->Saved();
  platform_.WriteSetting(QStringLiteral("BoxesFile"), target);
  return true;
}

bool Form1::EndReview() {
  if (!review_) return true;
  if (review_->Unsaved() &&
      platform_.AskYesNo(QStringLiteral("Przegląd ramek ma niezapisane zmiany. Zapisać je? (Nie: zmiany przepadną)"),
                         MessageIcon::Exclamation) &&
      !WriteReview())
    return false;
  if (PictureWindow* window = companions_->Picture()) window->SetReview({});
  review_.reset();
  reviewPath_.clear();
  return true;
}

}  // namespace rovena
