// Which playback buttons are available, all decided here: the picture each button shows
// (its key, "U" added while unavailable, "A" while its play runs) and whether the position bar
// takes the mouse. The six group operations are the window's rules; ShowAvailability says which
// of them follows what the player reports, so that no handler picks them itself.
#include "viewer/main_window.h"

namespace rovena {

namespace {

// The playback buttons, left to right: where each sits (twips), what it does, its picture
// while available and the side it belongs to.
enum PlaybackSide : unsigned { kDownSide = 1, kUpSide = 2, kStopSide = 4, kAllSides = 7 };
struct PlaybackButton {
  PictureButton* Form1::*button;
  int left;
  int width;
  void (Form1::*handler)();
  const char* key;
  unsigned side;
};
constexpr PlaybackButton kPlaybackButtons[] = {
    {&Form1::cmdDownE, 240, 495, &Form1::cmdDownE_Click, "DownE", kDownSide},
    {&Form1::cmdDownFFF, 840, 495, &Form1::cmdDownFFF_Click, "DownFFF", kDownSide},
    {&Form1::cmdDownFF, 1440, 495, &Form1::cmdDownFF_Click, "DownFF", kDownSide},
    {&Form1::cmdDownF, 2280, 855, &Form1::cmdDownF_Click, "DownF", kDownSide},
    {&Form1::cmdDown, 3360, 615, &Form1::cmdDown_Click, "Down", kDownSide},
    {&Form1::cmdStop, 4208, 1215, &Form1::cmdStop_Click, "Stop", kStopSide},
    {&Form1::cmdUp, 5640, 615, &Form1::cmdUp_Click, "Up", kUpSide},
    {&Form1::cmdUpF, 6480, 855, &Form1::cmdUpF_Click, "UpF", kUpSide},
    {&Form1::cmdUpFF, 7680, 495, &Form1::cmdUpFF_Click, "UpFF", kUpSide},
    {&Form1::cmdUpFFF, 8280, 495, &Form1::cmdUpFFF_Click, "UpFFF", kUpSide},
    {&Form1::cmdUpE, 8880, 495, &Form1::cmdUpE_Click, "UpE", kUpSide},
};

}  // namespace

void Form1::CreatePlaybackButtons() {
  QPalette lightGrey = palette();
  lightGrey.setColor(QPalette::Button, QColor(192, 192, 192));
  for (const PlaybackButton& row : kPlaybackButtons) {
    PictureButton*& button = this->*row.button;
    button = MakeButton(row.left, 1560, row.width, 330, row.handler);
    button->setPalette(lightGrey);
  }
  // Nothing plays yet, so only Stop starts unavailable.
  ShowPlaybackButtons(kDownSide | kUpSide, true);
  ShowPlaybackButtons(kStopSide, false);
}

void Form1::SetButtonPicture(PictureButton* button, const QString& key) {
  button->SetPicture(key, imglPic.Picture(key));
}

void Form1::ShowPlaybackButtons(unsigned sides, bool available) {
  for (const PlaybackButton& row : kPlaybackButtons) {
    if ((row.side & sides) == 0) continue;
    const QString key = QString::fromLatin1(row.key);
    SetButtonPicture(this->*row.button, available ? key : key + QLatin1Char('U'));
  }
}

// ---------------------------------------------------------------- what follows a move

// An end met closes that way (and stops play); a step opens the way back, or both ways when it
// entered another recording, whatever the end rules of the one left behind had closed; a
// picture chosen elsewhere opens both. Play turns, jumps and seeks leave the rest as it is.
void Form1::ShowAvailability(const PlayerReport& report) {
  using Move = PlayerReport::Move;
  if (report.endMet) {
    ShowEndMet(*report.endMet);
    return;
  }
  if (report.outcome == PlayerReport::Outcome::Nothing) return;
  endShown_.reset();
  if (report.move == Move::Place || (report.move == Move::Step && report.crossedJoin)) {
    ActiveBothWays();
  } else if (report.move == Move::Step) {
    report.direction == Direction::Up ? ActiveDownCmd() : ActiveUpCmd();
  }
}

// A file that opened stands at its start: the way forward is open. Otherwise nothing can move.
void Form1::ShowAvailability(OpenStatus opened) {
  endShown_.reset();
  if (opened == OpenStatus::Opened || opened == OpenStatus::NotARecording) {
    ActiveUpCmd();
  } else {
    UnActiveCmd();
  }
}

// The end rules close the way an end was met, except where continuous trip would go on into
// the neighbouring recording: there the buttons do what the keys do.
void Form1::ShowEndMet(Direction end) {
  end == Direction::Up ? UpEnd() : DownEnd();
  endShown_ = end;
  KeepOpenWhereCrossing(end);
}

void Form1::KeepOpenWhereCrossing(Direction direction) {
  if (player.WillCross(direction)) direction == Direction::Up ? ActiveUpCmd() : ActiveDownCmd();
}

// T at an end shows at once whether the way on is open now.
void Form1::ShowContinuousTripChanged() {
  lblContinuous->setVisible(player.ContinuousTrip());
  if (endShown_ && !Playing) ShowEndMet(*endShown_);
}

void Form1::ActiveBothWays() {
  ActiveUpCmd();
  ActiveDownCmd();
}

void Form1::ShowPlayStarted(PictureButton* button, const QString& runningKey) {
  UnActiveCmd();
  SetButtonPicture(button, runningKey);
  SetButtonPicture(cmdStop, QStringLiteral("Stop"));
  cmdStop->setFocus();
}

void Form1::ShowPlayStopped() {
  ActiveCmd();
  SetButtonPicture(cmdStop, QStringLiteral("StopU"));
}

void Form1::UpEnd() {
  UnActiveUpCmd();
  ActiveDownCmd();
  Playing = false;
}

void Form1::DownEnd() {
  UnActiveDownCmd();
  ActiveUpCmd();
  Playing = false;
}

// ---------------------------------------------------------------- the group operations

// Making a direction available also makes the bar usable; losing one direction leaves the bar
// as it is but always takes Stop with it.
void Form1::ActiveCmd() {
  ShowPlaybackButtons(kAllSides, true);
  BarEnabled = true;
}

void Form1::UnActiveCmd() {
  ShowPlaybackButtons(kAllSides, false);
  BarEnabled = false;
}

void Form1::ActiveUpCmd() {
  ShowPlaybackButtons(kUpSide, true);
  BarEnabled = true;
}

void Form1::UnActiveUpCmd() { ShowPlaybackButtons(kUpSide | kStopSide, false); }

void Form1::ActiveDownCmd() {
  ShowPlaybackButtons(kDownSide, true);
  BarEnabled = true;
}

void Form1::UnActiveDownCmd() { ShowPlaybackButtons(kDownSide | kStopSide, false); }

}  // namespace rovena
