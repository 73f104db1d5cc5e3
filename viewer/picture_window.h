// The enlarged picture: whatever the main window's picture area shows, scaled to fit a
// resizable window with its aspect ratio kept. F11 or a double-click toggles full screen, Esc
// leaves it (and closes the window when it is not full screen), and holding the left button shows a 3x magnifier around the pointer for reading
// number plates. The main window tells it when its picture changed; painting waits for the
// next screen refresh, so a play loop never waits for it.
//
// In review mode (redact/review.h) the boxes of the picture shown are drawn over it: a colour
// for each kind, a solid line for a box a person drew and a dashed one for a detector's, a
// thick line once confirmed and a thin one while only proposed; the selected box in white.
// There a left-button drag draws a box, a click selects one, and the lens moves to the right
// button.
#pragma once

#include <QImage>
#include <QPoint>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>

#include "redact/review.h"

namespace rovena {

// What review mode draws on: the session, where the decoded picture lies in the image shown
// (its left edge moves for the smaller picture size), and the kind a drawn box gets.
struct ReviewView {
  redact::ReviewSession* session = nullptr;
  QRect picture;
  redact::BoxKind drawKind = redact::BoxKind::Plate;
};

class PictureWindow : public QWidget {
 public:
  static constexpr int kMagnification = 3;
  static constexpr int kLensSize = 240;  // screen pixels across

  // `source` gives the image to show (the main window's picture area).
  explicit PictureWindow(std::function<const QImage&()> source, QWidget* parent = nullptr);

  // A new picture to show, marked when its fix is not valid. While pictures keep coming
  // (play) they are scaled quickly; the picture that stays gets the smooth scaling a moment
  // later.
  void PictureChanged(bool fixInvalid = false);
  // Where the picture lands inside the window now.
  QRect PictureRect() const;
  // How long the latest quick (play-time) paint took, in milliseconds.
  double QuickPaintMs() const { return quickPaintMs_; }
  // Full screen and back; showing the window first when it is hidden.
  void ToggleFullScreen();
  // Esc: out of full screen first, as every video player does; from a plain window, closed.
  void LeaveFullScreenOrClose();
  // Review mode on (a session) or off (none); the window repaints.
  void SetReview(const ReviewView& review);
  const ReviewView& Review() const { return review_; }

 protected:
  void paintEvent(QPaintEvent*) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void PaintLens(QPainter& painter, const QImage& image, const QRect& shown) const;
  void PaintInvalidFixMark(QPainter& painter, const QRect& shown) const;
  void PaintReview(QPainter& painter, const QRect& shown) const;
  void PaintBox(QPainter& painter, const redact::Box& box, const QRect& onScreen, bool selected) const;
  // Between window and picture pixels in review mode.
  QRect OnScreen(const redact::Rect& box, const QRect& shown) const;
  QPoint InPicture(const QPoint& at) const;
  void FinishDrag(const QPoint& at);
  Qt::MouseButton LensButton() const;

  std::function<const QImage&()> source_;
  std::optional<QPoint> lensAt_;  // while the lens button is held
  ReviewView review_;
  std::optional<QPoint> dragFrom_, dragTo_;  // a box being drawn, in window pixels
  bool fixInvalid_ = false;
  QTimer settled_;                // runs while pictures keep changing
  double quickPaintMs_ = 0;
};

}  // namespace rovena
