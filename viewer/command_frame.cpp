#include "viewer/command_frame.h"

#include <QMouseEvent>
#include <QPainter>

namespace rovena {

namespace {

const QColor kBandColour(64, 64, 64);
const QColor kBarColour(192, 192, 0);

int ButtonCode(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton: return 1;
    case Qt::RightButton: return 2;
    case Qt::MiddleButton: return 4;
    default: return 0;
  }
}

int ButtonsCode(Qt::MouseButtons buttons) {
  return (buttons & Qt::LeftButton ? 1 : 0) | (buttons & Qt::RightButton ? 2 : 0) |
         (buttons & Qt::MiddleButton ? 4 : 0);
}

int ShiftCode(Qt::KeyboardModifiers modifiers) {
  return (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0) |
         (modifiers & Qt::AltModifier ? 4 : 0);
}

}  // namespace

CommandFrame::CommandFrame(QWidget* parent) : QWidget(parent) {
  setAutoFillBackground(true);
  QPalette grey = palette();
  grey.setColor(QPalette::Window, QColor(128, 128, 128));
  setPalette(grey);
  setMouseTracking(true);
}

QRect CommandFrame::TrackRect() const {
  return QRect(TwipsToPixels(shFile.trackLeft), TwipsToPixels(shFile.trackTop), TwipsToPixels(shFile.trackWidth),
               TwipsToPixels(shFile.trackHeight));
}

void CommandFrame::paintEvent(QPaintEvent*) {
  QPainter p(this);
  // Shape3 (upper band) and Shape4 (behind the playback buttons).
  p.fillRect(QRect(0, 0, TwipsToPixels(9615), TwipsToPixels(1335)), kBandColour);
  p.fillRect(QRect(0, TwipsToPixels(1440), TwipsToPixels(9615), TwipsToPixels(615)), kBandColour);

  const QRect track = TrackRect();
  const int filled = TwipsToPixels(shFile.trackLeft + shPlayWidth) - track.left();
  if (filled > 0) p.fillRect(QRect(track.left(), track.top(), filled, track.height()), kBarColour);
  // The track's outline in light grey, so it reads on the dark band.
  p.setPen(QColor(192, 192, 192));
  p.setBrush(Qt::NoBrush);
  p.drawRect(track.adjusted(0, 0, -1, -1));

  for (const CutLine* line : {&linCut1, &linCut2}) {
    if (!line->visible) continue;
    const int x = TwipsToPixels(line->x);
    p.fillRect(QRect(x - 1, TwipsToPixels(360), 2, TwipsToPixels(240)), line->colour);
  }
}

void CommandFrame::Forward(const MouseHandler& handler, QMouseEvent* event, int buttons) {
  if (!handler) return;
  const QPointF pos = event->position();
  handler(buttons, ShiftCode(event->modifiers()), static_cast<float>(pos.x()) * kTwipsPerPixel,
          static_cast<float>(pos.y()) * kTwipsPerPixel);
}

void CommandFrame::mousePressEvent(QMouseEvent* event) {
  Forward(onMouseDown, event, ButtonCode(event->button()));
}

void CommandFrame::mouseMoveEvent(QMouseEvent* event) {
  Forward(onMouseMove, event, ButtonsCode(event->buttons()));
}

void CommandFrame::mouseReleaseEvent(QMouseEvent* event) {
  Forward(onMouseUp, event, ButtonCode(event->button()));
}

}  // namespace rovena
