// The position bar and the play counter: where the file stands, a click on the track to step,
// and dragging the end of the bar to seek.
#include <cmath>

#include "viewer/main_window.h"

namespace rovena {

void Form1::SetPlayCounter(bool Init) {
  if (Init) {
    fraCmd->shPlayWidth = 0;
    lblPlay->setText(QStringLiteral("0%"));
  } else {
    Recording& recording = player.CurrentRecording();
    const std::int64_t position = recording.File().LastPosition();
    fraCmd->shPlayWidth = PlayBarWidth(position, recording.FileLen, fraCmd->shFile.trackWidth);
    lblPlay->setText(QString::fromStdString(PlayCounterText(position, recording.FileLen)));
  }
  PlaceCounter();
}

void Form1::PlaceCounter() {
  const float left = PlayCounterLeft(fraCmd->shFile, fraCmd->shPlayWidth);
  lblPlay->move(static_cast<int>(std::floor(left / kTwipsPerPixel + 0.5f)), lblPlay->y());
  fraCmd->UpdateTrack();
}

void Form1::SetMousePointer(int shape) {
  mousePointer_ = shape;
  if (shape == 9) {
    setCursor(Qt::SizeHorCursor);
  } else {
    unsetCursor();
  }
}

void Form1::fraCmd_MouseDown(int Button, int /*Shift*/, float X, float Y) {
  switch (ClassifyBarPress(fraCmd->shFile, fraCmd->shPlayWidth, BarEnabled, Button, X, Y)) {
    case BarPress::Ignore:
      return;
    case BarPress::StartDrag:
      SetMousePointer(9);
      BarDragging = true;
      return;
    case BarPress::StepForward:
      cmdUp_Click();
      return;
    case BarPress::StepBack:
      cmdDown_Click();
      return;
    case BarPress::DefaultPointer:
      SetMousePointer(0);
      return;
  }
}

void Form1::fraCmd_MouseMove(int /*Button*/, int /*Shift*/, float X, float Y) {
  if (!BarEnabled) return;
  const BarGeometry& track = fraCmd->shFile;
  if (!BarDragging) {
    SetMousePointer(OnBarEnd(track, fraCmd->shPlayWidth, X, Y) ? 9 : 0);
    return;
  }
  if (!OnTrack(track, X, Y)) {
    SetMousePointer(0);
    return;
  }
  fraCmd->shPlayWidth = X - track.trackLeft;
  lblPlay->setText(QString::fromStdString(DragCounterText(fraCmd->shPlayWidth, track.trackWidth)));
  PlaceCounter();
  SetMousePointer(9);
}

void Form1::fraCmd_MouseUp(int /*Button*/, int /*Shift*/, float /*X*/, float /*Y*/) {
  if (!BarDragging) return;
  SetMousePointer(0);
  BarDragging = false;
  Draw(player.SeekTo(SeekTarget(fraCmd->shPlayWidth, fraCmd->shFile.trackWidth, player.CurrentRecording().FileLen)));
}

}  // namespace rovena
