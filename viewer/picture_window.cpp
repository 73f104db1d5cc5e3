#include "viewer/picture_window.h"

#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <cmath>

namespace rovena {
namespace {

constexpr int kSettleMs = 150;  // a picture shown this long is drawn smoothly
constexpr int kClickSlop = 4;   // window pixels a click may move and stay a click

QColor KindColour(redact::BoxKind kind) {
  switch (kind) {
    case redact::BoxKind::Face: return {255, 220, 0};
    case redact::BoxKind::Plate: return {0, 200, 255};
    case redact::BoxKind::Other: return {255, 80, 200};
  }
  return Qt::white;
}

QString KindLabel(redact::BoxKind kind) {
  switch (kind) {
    case redact::BoxKind::Face: return QStringLiteral("twarz");
    case redact::BoxKind::Plate: return QStringLiteral("tablica");
    case redact::BoxKind::Other: return QStringLiteral("inne");
  }
  return {};
}

// A text on a dark backing with its top-left corner at `at`.
void PaintBadge(QPainter& painter, const QPoint& at, const QString& text, const QColor& colour) {
  const QRect box = painter.fontMetrics().boundingRect(text).adjusted(-6, -3, 6, 3);
  const QRect placed(at, box.size());
  painter.fillRect(placed, QColor(0, 0, 0, 180));
  painter.setPen(colour);
  painter.drawText(placed, Qt::AlignCenter, text);
}

}  // namespace

PictureWindow::PictureWindow(std::function<const QImage&()> source, QWidget* parent)
    : QWidget(parent, Qt::Window), source_(std::move(source)) {
  setWindowTitle(QStringLiteral("Rovena – obraz"));
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(960, 720);
  settled_.setSingleShot(true);
  settled_.setInterval(kSettleMs);
  connect(&settled_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
}

void PictureWindow::PictureChanged(bool fixInvalid) {
  fixInvalid_ = fixInvalid;
  settled_.start();
  update();
}

QRect PictureWindow::PictureRect() const {
  const QSize image = source_().size();
  if (image.isEmpty()) return {};
  const QSize fitted = image.scaled(size(), Qt::KeepAspectRatio);
  return QRect(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
}

void PictureWindow::paintEvent(QPaintEvent*) {
  QElapsedTimer clock;
  clock.start();
  const bool quick = settled_.isActive();
  QPainter painter(this);
  const QImage& image = source_();
  const QRect shown = PictureRect();
  // Only the bars beside the picture are filled: filling under it too would double the
  // pixels written per paint, which during play is most of what this window costs.
  for (const QRect& bar : QRegion(rect()).subtracted(shown)) painter.fillRect(bar, Qt::black);
  if (shown.isEmpty()) return;
  painter.setRenderHint(QPainter::SmoothPixmapTransform, !quick);
  painter.drawImage(shown, image);
  if (fixInvalid_) PaintInvalidFixMark(painter, shown);
  if (review_.session) PaintReview(painter, shown);
  if (lensAt_) PaintLens(painter, image, shown);
  if (quick) quickPaintMs_ = static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

// A round lens centred on the pointer showing the source pixels under it 3x larger than the
// source itself (not than the scaled picture), drawn smoothly so plate letters stay legible.
void PictureWindow::PaintLens(QPainter& painter, const QImage& image, const QRect& shown) const {
  const double toSource = static_cast<double>(image.width()) / shown.width();
  const QPointF centre = QPointF(*lensAt_ - shown.topLeft()) * toSource;
  const double half = kLensSize / 2.0 / kMagnification;
  const QRectF from(centre.x() - half, centre.y() - half, 2 * half, 2 * half);
  const QRectF lens(*lensAt_ - QPointF(kLensSize / 2.0, kLensSize / 2.0), QSizeF(kLensSize, kLensSize));
  QPainterPath circle;
  circle.addEllipse(lens);
  painter.save();
  painter.setClipPath(circle);
  painter.fillRect(lens, Qt::black);
  painter.drawImage(lens, image, from);
  painter.restore();
  painter.setPen(QPen(Qt::white, 2));
  painter.drawEllipse(lens);
}

// A badge in the picture's top-left corner: the speed and place shown for this picture come
// from a sentence whose fix is not valid.
void PictureWindow::PaintInvalidFixMark(QPainter& painter, const QRect& shown) const {
  PaintBadge(painter, shown.topLeft() + QPoint(8, 8), QStringLiteral("GPS: pozycja nieważna"), QColor(255, 170, 0));
}

void PictureWindow::SetReview(const ReviewView& review) {
  if (review.session != review_.session) dragFrom_.reset();
  review_ = review;
  update();
}

QRect PictureWindow::OnScreen(const redact::Rect& box, const QRect& shown) const {
  const double scale = static_cast<double>(shown.width()) / source_().width();
  const QPointF topLeft = QPointF(review_.picture.x() + box.x, review_.picture.y() + box.y) * scale;
  return QRectF(shown.topLeft() + topLeft, QSizeF(box.w, box.h) * scale).toAlignedRect();
}

QPoint PictureWindow::InPicture(const QPoint& at) const {
  const QRect shown = PictureRect();
  const double toSource = static_cast<double>(source_().width()) / shown.width();
  const QPointF inSource = QPointF(at - shown.topLeft()) * toSource;
  return QPoint(static_cast<int>(std::floor(inSource.x())), static_cast<int>(std::floor(inSource.y()))) -
         review_.picture.topLeft();
}

// The picture's boxes, the one being drawn, and the progress in the bottom-left corner.
void PictureWindow::PaintReview(QPainter& painter, const QRect& shown) const {
  const redact::ReviewSession& session = *review_.session;
  painter.save();
  painter.setClipRect(shown);
  for (const std::size_t i : session.CurrentBoxes())
    PaintBox(painter, session.File().boxes[i], OnScreen(session.File().boxes[i].rect, shown), session.Selected() == i);
  if (dragFrom_) {
    painter.setPen(QPen(KindColour(review_.drawKind), 2, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(*dragFrom_, *dragTo_).normalized());
  }
  painter.restore();
  QString progress = QStringLiteral("Przegląd ramek: przejrzane %1/%2").arg(session.ReviewedCount()).arg(session.PictureCount());
  if (!session.Current())
    progress += QStringLiteral(" · obraz spoza przeglądanego odcinka");
  else if (session.IsReviewed(*session.Current()))
    progress += QStringLiteral(" · ten obraz przejrzany");
  const int height = painter.fontMetrics().height() + 6;
  PaintBadge(painter, QPoint(shown.left() + 8, shown.bottom() - height - 8), progress, Qt::white);
}

void PictureWindow::PaintBox(QPainter& painter, const redact::Box& box, const QRect& onScreen, bool selected) const {
  const QColor colour = selected ? QColor(Qt::white) : KindColour(box.kind);
  const Qt::PenStyle line = box.origin == redact::BoxOrigin::Drawn ? Qt::SolidLine : Qt::DashLine;
  painter.setPen(QPen(colour, box.confirmed ? 3 : 1, line));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(onScreen);
  QString label = KindLabel(box.kind);
  if (!box.confirmed) label += QStringLiteral(" (propozycja)");
  const int above = painter.fontMetrics().height() + 6;
  PaintBadge(painter, onScreen.topLeft() - QPoint(0, onScreen.top() - above >= 0 ? above : 0), label, colour);
}

// A short drag is a click: it selects the box under it; a longer one draws a box.
void PictureWindow::FinishDrag(const QPoint& at) {
  const QPoint from = *dragFrom_;
  dragFrom_.reset();
  const QPoint a = InPicture(from), b = InPicture(at);
  if ((at - from).manhattanLength() < kClickSlop)
    review_.session->SelectAt(a.x(), a.y());
  else
    review_.session->Draw({std::min(a.x(), b.x()), std::min(a.y(), b.y()), std::abs(b.x() - a.x()), std::abs(b.y() - a.y())},
                          review_.drawKind, review_.picture.width(), review_.picture.height());
  update();
}

void PictureWindow::ToggleFullScreen() { isFullScreen() ? showNormal() : showFullScreen(); }

void PictureWindow::LeaveFullScreenOrClose() { isFullScreen() ? showNormal() : hide(); }

void PictureWindow::mouseDoubleClickEvent(QMouseEvent*) { ToggleFullScreen(); }

// In review mode the left button draws and selects boxes, so the lens takes the right one.
Qt::MouseButton PictureWindow::LensButton() const { return review_.session ? Qt::RightButton : Qt::LeftButton; }

void PictureWindow::mousePressEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (event->button() == LensButton())
    lensAt_ = at;
  else if (review_.session && event->button() == Qt::LeftButton && review_.session->Current())
    dragFrom_ = dragTo_ = at;
  update();
}

void PictureWindow::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (lensAt_) lensAt_ = at;
  if (dragFrom_) dragTo_ = at;
  if (lensAt_ || dragFrom_) update();
}

void PictureWindow::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == LensButton()) lensAt_.reset();
  if (event->button() == Qt::LeftButton && dragFrom_) FinishDrag(event->position().toPoint());
  update();
}

}  // namespace rovena
