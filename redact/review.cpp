#include "redact/review.h"

#include <algorithm>

namespace rovena::redact {
namespace {

// A drag shorter than this is a slip of the hand, not a box.
constexpr int kLeastSide = 2;

bool Contains(const Rect& r, int x, int y) { return x >= r.x && y >= r.y && x < r.x + r.w && y < r.y + r.h; }

}  // namespace

ReviewSession::ReviewSession(BoxFile file, std::vector<ReviewPicture> stretch)
    : file_(std::move(file)), stretch_(std::move(stretch)) {}

bool ReviewSession::Show(const std::string& recording, std::int64_t position) {
  const auto found = std::find_if(stretch_.begin(), stretch_.end(), [&](const ReviewPicture& picture) {
    return picture.position == position && picture.where.recording == recording;
  });
  std::optional<std::size_t> now;
  if (found != stretch_.end()) now = static_cast<std::size_t>(found - stretch_.begin());
  if (now != current_) selected_.reset();
  current_ = now;
  return current_.has_value();
}

const PictureRef* ReviewSession::Current() const { return current_ ? &stretch_[*current_].where : nullptr; }

bool ReviewSession::AtLastPicture() const { return current_ && *current_ + 1 == stretch_.size(); }

std::vector<std::size_t> ReviewSession::BoxesOn(const PictureRef& where) const {
  std::vector<std::size_t> found;
  for (std::size_t i = 0; i < file_.boxes.size(); ++i)
    if (file_.boxes[i].where == where) found.push_back(i);
  return found;
}

std::vector<std::size_t> ReviewSession::CurrentBoxes() const {
  return current_ ? BoxesOn(*Current()) : std::vector<std::size_t>{};
}

bool ReviewSession::Draw(Rect rect, BoxKind kind, int width, int height) {
  if (!current_) return false;
  const int left = std::max(rect.x, 0), top = std::max(rect.y, 0);
  const int right = std::min(rect.x + rect.w, width), bottom = std::min(rect.y + rect.h, height);
  if (right - left < kLeastSide || bottom - top < kLeastSide) return false;
  file_.boxes.push_back({*Current(), {left, top, right - left, bottom - top}, kind, BoxOrigin::Drawn, true});
  selected_ = file_.boxes.size() - 1;
  unsaved_ = true;
  return true;
}

bool ReviewSession::SelectAt(int x, int y) {
  selected_.reset();
  for (const std::size_t i : CurrentBoxes()) {
    const Rect& r = file_.boxes[i].rect;
    if (Contains(r, x, y) && (!selected_ || r.w * r.h < file_.boxes[*selected_].rect.w * file_.boxes[*selected_].rect.h))
      selected_ = i;
  }
  return selected_.has_value();
}

bool ReviewSession::RemoveSelected() {
  if (!selected_) return false;
  file_.boxes.erase(file_.boxes.begin() + static_cast<std::ptrdiff_t>(*selected_));
  selected_.reset();
  unsaved_ = true;
  return true;
}

bool ReviewSession::SetSelectedKind(BoxKind kind) {
  if (!selected_ || file_.boxes[*selected_].kind == kind) return false;
  file_.boxes[*selected_].kind = kind;
  unsaved_ = true;
  return true;
}

int ReviewSession::CopyPrevious() {
  if (!current_ || *current_ == 0) return 0;
  const PictureRef here = *Current();
  int copied = 0;
  for (const std::size_t i : BoxesOn(stretch_[*current_ - 1].where)) {
    Box copy = file_.boxes[i];
    copy.where = here;
    copy.origin = BoxOrigin::Drawn;
    copy.confirmed = true;
    const auto same = [&](const Box& box) { return box.where == here && box.rect == copy.rect; };
    if (std::any_of(file_.boxes.begin(), file_.boxes.end(), same)) continue;
    file_.boxes.push_back(copy);
    ++copied;
  }
  unsaved_ = unsaved_ || copied > 0;
  return copied;
}

bool ReviewSession::MarkReviewed() {
  if (!current_) return false;
  bool changed = !IsReviewed(*Current());
  if (changed) file_.reviewed.push_back(*Current());
  for (const std::size_t i : CurrentBoxes()) {
    changed = changed || !file_.boxes[i].confirmed;
    file_.boxes[i].confirmed = true;
  }
  unsaved_ = unsaved_ || changed;
  return true;
}

bool ReviewSession::IsReviewed(const PictureRef& where) const {
  return std::find(file_.reviewed.begin(), file_.reviewed.end(), where) != file_.reviewed.end();
}

int ReviewSession::ReviewedCount() const {
  return static_cast<int>(std::count_if(stretch_.begin(), stretch_.end(),
                                        [&](const ReviewPicture& picture) { return IsReviewed(picture.where); }));
}

}  // namespace rovena::redact
