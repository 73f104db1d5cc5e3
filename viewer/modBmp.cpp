#include "modBmp.h"

#include <QPainter>

namespace rovena {

void DrawFrame(QImage& target, int W, int H, const std::uint8_t* frame, int x, int y) {
  // The frame's rows run bottom-up, like a bitmap with positive height: wrap the bytes
  // without copying, then flip while transferring.
  const QImage bottomUp(frame, W, H, 3 * W, QImage::Format_BGR888);
  QPainter painter(&target);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.drawImage(QPoint(x, y), bottomUp.mirrored(false, true));
}

}  // namespace rovena
