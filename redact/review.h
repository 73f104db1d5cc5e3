// A person's review of a stretch's boxes, picture by picture: the boxes of the picture on
// screen, the one selected, what a person adds, removes and accepts, and how many of the
// stretch's pictures have been looked at. The window draws it and passes the user's keys and
// mouse on; the rules live here, where they can be tried without a window.
//
// What a person's word means in the boxes file:
//  - a box drawn (or copied from the picture before) is "drawn" and confirmed at once;
//  - marking a picture reviewed confirms every box left on it: a proposal the person saw and
//    did not delete is accepted;
//  - removing a box removes it from the file: nothing is covered there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "redact/boxes.h"

namespace rovena::redact {

// One picture under review, and where its data starts in its recording (its PicPos), which is
// how the window tells which picture it shows.
struct ReviewPicture {
  PictureRef where;
  std::int64_t position = 0;
};

class ReviewSession {
 public:
  // `stretch`: the pictures to review, in order.
  ReviewSession(BoxFile file, std::vector<ReviewPicture> stretch);

  // The window shows the picture at `position` of the recording named `recording` (its
  // BoxRecordingName). False, with no picture current, when it is not one of the stretch.
  bool Show(const std::string& recording, std::int64_t position);
  // The stretch's picture on screen; nothing when the screen shows another.
  const PictureRef* Current() const;
  // The current picture's boxes, as indices into File().boxes.
  std::vector<std::size_t> CurrentBoxes() const;
  std::optional<std::size_t> Selected() const { return selected_; }
  // The current picture is the stretch's last.
  bool AtLastPicture() const;

  // Each does nothing (and says false) without a current picture. Draw clips the rectangle
  // to the `width` x `height` picture and leaves out what is left smaller than 2 x 2.
  bool Draw(Rect rect, BoxKind kind, int width, int height);
  // Selects the smallest box under the point (the innermost of nested ones); none: clears.
  bool SelectAt(int x, int y);
  bool RemoveSelected();
  bool SetSelectedKind(BoxKind kind);
  // The boxes of the stretch's picture before the current one, copied onto it (a plate seen a
  // second ago is most likely still there); those it has already are not copied twice.
  // Returns how many were copied.
  int CopyPrevious();
  // The current picture is reviewed and its boxes confirmed.
  bool MarkReviewed();
  bool IsReviewed(const PictureRef& where) const;

  // Progress: pictures of the stretch reviewed, of how many.
  int ReviewedCount() const;
  int PictureCount() const { return static_cast<int>(stretch_.size()); }

  const BoxFile& File() const { return file_; }
  // Whether anything changed since the session began or was last saved.
  bool Unsaved() const { return unsaved_; }
  void Saved() { unsaved_ = false; }

 private:
  std::vector<std::size_t> BoxesOn(const PictureRef& where) const;

  BoxFile file_;
  std::vector<ReviewPicture> stretch_;
  std::optional<std::size_t> current_;  // index into stretch_
  std::optional<std::size_t> selected_;  // index into file_.boxes
  bool unsaved_ = false;
};

}  // namespace rovena::redact
