#include "viewer/button_art.h"

#include <QPainter>
#include <QPainterPath>

namespace rovena {

namespace {

// Playback pictures share one size so that the row of buttons reads evenly.
constexpr int kPictureHeight = 16;
constexpr int kTriangleWidth = 8;

enum class Look { Available, Unavailable, Running };

struct Glyph {
  int triangles;      // how many arrow heads: 1 play, 2 fast, 3 very fast
  bool barBefore;     // a bar in front of the heads: a single step
  bool barAfter;      // a bar behind the heads: the jump to an end
  bool stop;          // the square of Stop
};

QColor InkFor(Look look) {
  switch (look) {
    case Look::Available: return QColor(0, 0, 0);
    case Look::Unavailable: return QColor(150, 150, 150);
    case Look::Running: return QColor(0, 140, 0);
  }
  return Qt::black;
}

int GlyphWidth(const Glyph& g) {
  if (g.stop) return 12;
  return g.triangles * kTriangleWidth + (g.barBefore ? 4 : 0) + (g.barAfter ? 4 : 0);
}

void DrawRightwardGlyph(QPainter& p, const Glyph& g, int left, int top) {
  if (g.stop) {
    p.drawRect(left, top + 2, 12, 12);
    return;
  }
  int x = left;
  if (g.barBefore) {
    p.drawRect(x, top + 2, 2, 12);
    x += 4;
  }
  for (int i = 0; i < g.triangles; ++i) {
    QPainterPath arrow;
    arrow.moveTo(x, top + 2);
    arrow.lineTo(x + kTriangleWidth, top + 8);
    arrow.lineTo(x, top + 14);
    arrow.closeSubpath();
    p.drawPath(arrow);
    x += kTriangleWidth;
  }
  if (g.barAfter) p.drawRect(x + 1, top + 2, 2, 12);
}

// Draws the glyph pointing right (towards the end of the recording); Down pictures are the
// mirror image. A running play gets a light green lamp behind its glyph.
QPixmap DrawPlaybackPicture(const Glyph& g, bool pointsDown, Look look) {
  const int width = GlyphWidth(g) + 4;
  QPixmap picture(width, kPictureHeight);
  picture.fill(Qt::transparent);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  if (look == Look::Running) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(170, 255, 170));
    p.drawRoundedRect(QRectF(0, 0, width, kPictureHeight), 3, 3);
  }
  if (pointsDown) {
    p.translate(width, 0);
    p.scale(-1, 1);
  }
  p.setPen(Qt::NoPen);
  p.setBrush(InkFor(look));
  DrawRightwardGlyph(p, g, 2, 0);
  return picture;
}

void AddButtonPictures(ImageList& list, const QString& name, const Glyph& glyph, bool pointsDown,
                       bool hasRunningPicture) {
  list.Add(name, DrawPlaybackPicture(glyph, pointsDown, Look::Available));
  list.Add(name + u'U', DrawPlaybackPicture(glyph, pointsDown, Look::Unavailable));
  if (hasRunningPicture) list.Add(name + u'A', DrawPlaybackPicture(glyph, pointsDown, Look::Running));
}

void DrawFlag(const QColor& colour, int left, QPainter& p) {
  p.setPen(QPen(QColor(40, 40, 40), 1.5));
  p.drawLine(QPointF(left + 1, 1), QPointF(left + 1, 15));
  p.setBrush(colour);
  QPainterPath cloth;
  cloth.moveTo(left + 1.5, 1.5);
  cloth.lineTo(left + 9, 4.5);
  cloth.lineTo(left + 1.5, 8);
  cloth.closeSubpath();
  p.drawPath(cloth);
}

QPixmap DrawCutState(int marks) {
  QPixmap picture(22, 16);
  picture.fill(Qt::transparent);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  // Two flag poles: the start mark in the cut start line's dark red, the end mark in the
  // end line's dark blue; an unset mark is an empty white flag.
  DrawFlag(marks >= 1 ? QColor(192, 0, 0) : Qt::white, 1, p);
  DrawFlag(marks >= 2 ? QColor(0, 0, 192) : Qt::white, 11, p);
  return picture;
}

QPixmap DrawFolder() {
  QPixmap picture(20, 16);
  picture.fill(Qt::transparent);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(90, 70, 0), 1));
  p.setBrush(QColor(230, 190, 60));
  QPainterPath folder;
  folder.moveTo(1.5, 3.5);
  folder.lineTo(7.5, 3.5);
  folder.lineTo(9.5, 5.5);
  folder.lineTo(18.5, 5.5);
  folder.lineTo(18.5, 14.5);
  folder.lineTo(1.5, 14.5);
  folder.closeSubpath();
  p.drawPath(folder);
  return picture;
}

// A floppy disk with a small film strip: the marked fragment saved as a file.
QPixmap DrawSaveFragment() {
  QPixmap picture(20, 16);
  picture.fill(Qt::transparent);
  QPainter p(&picture);
  p.setPen(QPen(QColor(20, 20, 60), 1));
  p.setBrush(QColor(60, 80, 160));
  p.drawRect(1, 1, 13, 13);
  p.setBrush(Qt::white);
  p.drawRect(4, 1, 7, 5);
  p.setBrush(QColor(40, 40, 40));
  p.drawRect(12, 7, 7, 8);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  for (int y = 8; y < 15; y += 3) p.drawRect(13, y, 1, 1);
  for (int y = 8; y < 15; y += 3) p.drawRect(17, y, 1, 1);
  return picture;
}

// A small framed landscape: the shown picture saved as an image.
QPixmap DrawPictureSnapshot() {
  QPixmap picture(20, 16);
  picture.fill(Qt::transparent);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(40, 40, 40), 1));
  p.setBrush(QColor(150, 200, 255));
  p.drawRect(QRectF(1.5, 2.5, 17, 11));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(40, 150, 40));
  QPainterPath hills;
  hills.moveTo(2, 13);
  hills.lineTo(7, 7);
  hills.lineTo(11, 11);
  hills.lineTo(14, 8);
  hills.lineTo(18, 13);
  hills.closeSubpath();
  p.drawPath(hills);
  p.setBrush(QColor(255, 210, 0));
  p.drawEllipse(QPointF(14.5, 5.5), 1.8, 1.8);
  return picture;
}

}  // namespace

ImageList MakePlaybackPictures() {
  ImageList list;
  const Glyph step{1, true, false, false};
  const Glyph play{1, false, false, false};
  const Glyph fast{2, false, false, false};
  const Glyph veryFast{3, false, false, false};
  const Glyph toEnd{1, false, true, false};
  for (bool down : {false, true}) {
    const QString side = down ? QStringLiteral("Down") : QStringLiteral("Up");
    AddButtonPictures(list, side, step, down, false);
    AddButtonPictures(list, side + u'F', play, down, true);
    AddButtonPictures(list, side + QStringLiteral("FF"), fast, down, true);
    AddButtonPictures(list, side + QStringLiteral("FFF"), veryFast, down, true);
    AddButtonPictures(list, side + u'E', toEnd, down, false);
  }
  AddButtonPictures(list, QStringLiteral("Stop"), Glyph{0, false, false, true}, false, false);
  return list;
}

ImageList MakeCutFlagPictures() {
  ImageList list;
  for (int marks = 0; marks < 3; ++marks) list.Add(QString::number(marks + 1), DrawCutState(marks));
  return list;
}

ImageList MakeToolPictures() {
  ImageList list;
  list.Add(QStringLiteral("File"), DrawFolder());
  list.Add(QStringLiteral("SaveCut"), DrawSaveFragment());
  list.Add(QStringLiteral("Bmp"), DrawPictureSnapshot());
  return list;
}

}  // namespace rovena
