#pragma once
// Form1, the viewer's one window: its controls under their own names, the viewer state, and
// the command handlers. The handlers read like the steps they perform; every rule about
// bytes, positions, numbers and texts is left to the core.

#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "viewer/button_art.h"
#include "viewer/command_frame.h"
#include "viewer/picture_area.h"
#include "core/picture_decoder.h"
#include "viewer/platform.h"
#include "core/recording.h"
#include "core/trip.h"
#include "viewer/companion_windows.h"

class QCheckBox;
class QElapsedTimer;

namespace rovena {

// A button that shows a picture and remembers the key it was given, so that what the user
// sees can be read back.
class PictureButton : public QPushButton {
 public:
  explicit PictureButton(QWidget* parent) : QPushButton(parent) {}
  void SetPicture(const QString& key, const QPixmap& picture);
  const QString& PictureKey() const { return key_; }

 private:
  QString key_;
};

class Form1 : public QWidget, public SearchListener {
 public:
  // `programFolder` holds Rovena.ini, map.gif and the block library; `commandLine` is the
  // program's whole argument text.
  Form1(Platform& platform, QString programFolder, QString commandLine);
  ~Form1() override;

  // --- Start-up and shutdown
  void Form_Load();
  void Form_QueryUnload(int& Cancel);

  // --- Opening
  bool NewFile(const QString& FileName);
  void cmdFile_Click();
  // Opens a recording chosen outside the dialog (dropped on the window) as if chosen in it.
  void OpenChosenFile(const QString& name);
  // After a read fault: offers to start a disk-check program on the recording's device.
  void OfferDiskCheck(const QString& path);

  // --- Trips: the recordings of the open recording's folder, in driving order
  // PgDown / PgUp: the next recording, ready for its first picture, or the previous one,
  // placed behind its last picture.
  void NextRecording();
  void PreviousRecording();
  // T: continuous trip on or off (stored, with a beep).
  void ToggleContinuousTrip();
  // Shows picture `position` (its PicPos) of trip recording `index`, as if stepped to: the
  // route window's click. During play, play stops first and the picture follows.
  void ShowTripPicture(std::size_t index, std::int64_t position);

  // Steps over the open recording's first `picture` - 1 pictures without showing them, so the
  // next step shows picture number `picture` (Rovena --at FILE:PICTURE). False when the
  // recording has fewer pictures.
  bool StandBeforePicture(std::int64_t picture);
  // Opens `name` in its trip and shows its picture number `picture` (a pass from the archive).
  void OpenAtPicture(const QString& name, std::int64_t picture);

  // --- Keys (one table in main_window.cpp; F1 lists them)
  void PlayOrStop();
  void ToggleGpsBox();
  void ToggleRouteWindow();
  void TogglePictureWindow();
  void ShowKeyHelp();

  // --- Companion windows: the route (M) and the enlarged picture (Z)
  CompanionWindows& Companions() { return *companions_; }

  // --- Playback
  void cmdUp_Click();
  void cmdDown_Click();
  void cmdUpF_Click();
  void cmdDownF_Click();
  void cmdUpFF_Click();
  void cmdDownFF_Click();
  void cmdUpFFF_Click();
  void cmdDownFFF_Click();
  void cmdUpE_Click();
  void cmdDownE_Click();
  void cmdStop_Click();
  void UpEnd();
  void DownEnd();

  // --- Button states
  void ActiveCmd();
  void UnActiveCmd();
  void ActiveUpCmd();
  void UnActiveUpCmd();
  void ActiveDownCmd();
  void UnActiveDownCmd();

  // --- Position bar
  void SetPlayCounter(bool Init) override;
  void fraCmd_MouseDown(int Button, int Shift, float X, float Y);
  void fraCmd_MouseMove(int Button, int Shift, float X, float Y);
  void fraCmd_MouseUp(int Button, int Shift, float X, float Y);

  // --- Pictures, GPS and map
  void SetFormat(int Format);
  bool ShowPic();
  void ShowNmea() override;
  void GpsOn();
  void GpsOff();
  void chkGps_Click();
  void ShowPos();

  // --- Exports
  void cmdBmp_Click();
  void cmdCut_Click();
  void cmdSaveCut_Click();
  void ExportCutToMp4();  // Ctrl+E and the save button's context menu

  // --- Controls
  PictureArea* Pic1;
  MarkerShape* shPoint;
  QLabel* lblnoMap;
  QLabel* lblLat;
  QLabel* lblLon;
  CommandFrame* fraCmd;
  QLabel* lblSpeed;
  QLabel* lblTime;
  QCheckBox* chkGps;
  QLabel* lblPlay;
  QLabel* lblFile;
  PictureButton* cmdFile;
  PictureButton* cmdCut;
  PictureButton* cmdSaveCut;
  PictureButton* cmdBmp;
  PictureButton* cmdDownE;
  PictureButton* cmdDownFFF;
  PictureButton* cmdDownFF;
  PictureButton* cmdDownF;
  PictureButton* cmdDown;
  PictureButton* cmdStop;
  PictureButton* cmdUp;
  PictureButton* cmdUpF;
  PictureButton* cmdUpFF;
  PictureButton* cmdUpFFF;
  PictureButton* cmdUpE;
  ImageList imglPic;
  ImageList imglFlag;

  // --- Viewer state (the recording's own positions live in `recording`)
  Recording recording;
  PictureDecoder decoder;
  bool Playing = false;
  bool ContinuousTrip = true;  // steps and play go on into the neighbouring recordings
  Trip trip;
  std::optional<std::size_t> tripIndex;  // the open recording's place in `trip`
  bool UnloadPending = false;
  QString MpegFile;
  QString BmpFileName;
  QString CutFileName;
  std::int64_t CutStart = -1;
  std::int64_t CutEnd = -1;
  bool BarDragging = false;
  bool BarEnabled = false;
  std::string LatText;
  std::string LonText;
  bool GpsValid = false;
  QImage MapPicture;  // 8-bit indexed, or null when there is no usable map
  int MapX = 0;
  int MapY = 0;
  float MapLat1 = 0;
  float MapLat2 = 0;
  float MapLon1 = 0;
  float MapLon2 = 0;
  float PlayInterval = 0;
  float ScaleLon = 0;
  float ScaleLat = 0;

  // The mouse pointer shape the bar rules asked for last: 9 resize, 0 default arrow.
  int MousePointer() const { return mousePointer_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Layout and artwork.
  void CreateControls();
  void CreateCommandFrameControls();
  void CreatePlaybackButtons();
  void CreateShortcuts();
  PictureButton* MakeButton(int leftTwips, int topTwips, int widthTwips, int heightTwips,
                            void (Form1::*handler)());
  void SetButtonPicture(PictureButton* button, const QString& key);
  // Shows the playback buttons of the given sides (see kPlaybackButtons) as available or not.
  void ShowPlaybackButtons(unsigned sides, bool available);
  void SetMousePointer(int shape);

  // Start-up pieces.
  bool ReadConfiguration();
  void LoadMap();

  // Opening pieces.
  void ShowFileName(const QString& name);
  void ClearCutMarks();
  // Clears the cut marks when `path` is another recording than the one open before.
  void NoteOpenedRecording(const std::string& path);

  // Trip pieces.
  // Opens `name` (as NewFile) and lists its folder's trip; false when it cannot be opened.
  bool OpenInItsTrip(const QString& name);
  void ShowTripFileName(const QString& name);
  // The nearest recording towards the end (up) or the start of the trip that can still be
  // opened; those that cannot are passed over with a message.
  std::optional<std::size_t> NeighbourToOpen(bool up);
  void OpenTripRecording(std::size_t index, bool atEnd);
  // At the end of the open recording: goes on with the neighbouring recording's first (up)
  // or last picture when continuous trip is on. False where the trip ends.
  bool CrossInto(bool up);
  void ActiveBothWays();
  bool EnterTripRecording(std::size_t index);
  // Tells the companion windows which recordings the trip holds.
  void ShareTrip();
  void ShowPictureMenu(const QPoint& at);
  QString SnapshotPreset() const;
  // Writes the picture area to `target` in the format its name asks for; an error text or "".
  std::string WriteSnapshot(const std::string& target) const;
  // Shows a gap or overlap just crossed (JoinText) in the time label for a moment.
  void ShowJoinLabel(const std::string& text);
  void EndGapLabel();

  // One picture step: the searches, the read and the display. Returns false at an end.
  bool StepUp();
  bool StepDown();
  bool ShowCurrentPicture();
  void DrawMapRegion();
  void ReportMissingLibraryOnce();

  // Play loops.
  enum class PlayMode { Normal, Fast, VeryFast };
  void PlayLoop(bool up, PlayMode mode, PictureButton* button, const QString& runningKey);
  bool PlayCycle(bool up, PlayMode mode);
  void WaitForPace(const QElapsedTimer& cycle);
  void EndAfterStop();
  void EndAtRecordingEnd(bool up);
  bool playLoopRunning_ = false;  // until the loop has returned, not just been asked to stop
  bool flatOutPlay_ = false;      // fast or very fast play: pictures come as fast as they decode
  std::unique_ptr<CompanionWindows> companions_;

  void PlaceCounter();
  void PlaceCutLine(CutLine& line, std::int64_t position);

  Platform& platform_;
  QString programFolder_;
  QString commandLine_;
  QString openedPath_;        // the recording that is open, for telling a re-open apart
  bool libraryReported_ = false;
  QTimer gapTimer_;   // runs while the time label shows a gap
  QString timeText_;  // the time of the picture shown last
  int mousePointer_ = 0;
};

}  // namespace rovena
