#pragma once
// Form1, the viewer's one window: its controls under their own names, the viewer state, and
// the command handlers. It is a view of the TripPlayer: each handler calls one player operation
// and draws what it reports; the rules about recordings, trips, steps and marks are the player's.
//
// The class is written in several files, one for each concern: main_window.cpp (start-up,
// opening, moves and play), form_layout.cpp (controls), form_keys.cpp (the key table),
// form_buttons.cpp (which playback buttons are available), form_bar.cpp (the position bar),
// form_gps.cpp (GPS labels and the map), form_exports.cpp (snapshot, cut, save, export) and
// form_review.cpp (reviewing the boxes to cover, in the picture window).

#include <QImage>
#include <QLabel>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/map_position.h"
#include "core/trip_player.h"
#include "redact/review.h"
#include "viewer/button_art.h"
#include "viewer/command_frame.h"
#include "viewer/companion_windows.h"
#include "viewer/picture_area.h"
#include "viewer/picture_button.h"
#include "viewer/platform.h"

class QCheckBox;
class QElapsedTimer;

namespace rovena {

enum class KeyScope;  // form_keys.cpp

class Form1 : public QWidget, public PlayerListener {
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
  void RecordingOpened(const OpenEvent& event) override;

  // --- Trips: the recordings of the open recording's folder, in driving order
  // PgDown / PgUp: the next recording, ready for its first picture, or the previous one,
  // placed behind its last picture.
  void NextRecording();
  void PreviousRecording();
  // T: continuous trip on or off (stored, with a beep).
  void ToggleContinuousTrip();
  // Shows picture `position` (its PicPos) of trip recording `index`, as if stepped to: the
  // route window's click. During play, the play stops on that picture.
  void ShowTripPicture(std::size_t index, std::int64_t position);
  // Steps over the open recording's first `picture` - 1 pictures without showing them, so the
  // next step shows picture number `picture`. False when the recording has fewer pictures.
  bool StandBeforePicture(std::int64_t picture);
  // Shows the open recording's picture number `picture` with its labels, and the next step
  // goes on from it (Rovena --at FILE:PICTURE). A recording with fewer pictures says so and
  // shows its last one.
  void ShowPictureNumber(std::int64_t picture);
  // Opens `name` in its trip and shows its picture number `picture` (a pass from the archive).
  void OpenAtPicture(const QString& name, std::int64_t picture);

  // --- Keys (one table in form_keys.cpp for all three windows; F1 lists them)
  void PlayOrStop();
  void ToggleGpsBox();
  void ToggleRouteWindow();
  void TogglePictureWindow();
  void TogglePictureFullScreen();
  void FollowVehicle();
  void ShowWholeRoute();
  void NextEvent();
  void PreviousEvent();
  void CloseRouteWindow();
  void LeavePictureWindow();
  void ShowKeyHelp();

  // --- Review of the boxes to cover, in the picture window (form_review.cpp)
  // R: review on, with a boxes file chosen to open, or off; Shift+R: on with no boxes yet.
  void ToggleReview();
  void StartEmptyReview();
  // Enter: the picture shown is reviewed; the next picture of the stretch follows.
  void ReviewedAndNext();
  void RemoveSelectedBox();      // Delete
  void CopyPreviousBoxes();      // P
  void BoxKindFace();            // 1, 2, 3: the selected box's kind, and the next one drawn
  void BoxKindPlate();
  void BoxKindOther();
  // Shift+S: the boxes file written through the output guard.
  void SaveReview() { WriteReview(); }
  const redact::ReviewSession* Review() const { return review_ ? &*review_ : nullptr; }

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
  QLabel* lblContinuous;  // beside lblFile while continuous trip is on
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

  // --- Viewer state (the recording, the trip and the cut marks are the player's)
  TripPlayer player;
  bool Playing = false;
  bool UnloadPending = false;
  QString MpegFile;
  QString BmpFileName;
  QString CutFileName;
  bool BarDragging = false;
  bool BarEnabled = false;
  std::string LatText;
  std::string LonText;
  bool GpsValid = false;
  QImage MapPicture;  // 8-bit indexed, or null when there is no usable map
  int MapX = 0;
  int MapY = 0;
  MapCalibration Map;
  float PlayInterval = 0;

  // The mouse pointer shape the bar rules asked for last: 9 resize, 0 default arrow.
  int MousePointer() const { return mousePointer_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Layout and keys.
  void CreateControls();
  void CreateCommandFrameControls();
  void CreatePlaybackButtons();
  void CreateShortcuts();
  void AddShortcuts(QWidget* window, KeyScope ownScope);
  // Gives a companion window, when it is made, the keys and the wheel of the main window.
  void EquipCompanion(QWidget* window);
  PictureButton* MakeButton(int leftTwips, int topTwips, int widthTwips, int heightTwips,
                            void (Form1::*handler)());
  void ShowPictureMenu(const QPoint& at);
  void SetMousePointer(int shape);

  // Start-up.
  bool ReadConfiguration();
  void LoadMap();

  // Opening and trips.
  void ShowOpening(const OpenEvent& event);
  void ShowFileName(const QString& name);
  void ShowTripFileName(const QString& name);
  bool OpenInItsTrip(const QString& name);
  // Tells the companion windows which recordings the trip holds.
  void ShareTrip();

  // Drawing what the player reports.
  void Draw(const PlayerReport& report, bool flatOut = false);
  void ShowCurrentPicture(bool flatOut);
  // Shows a gap or overlap just crossed (JoinMessage) in the time label for a moment.
  void ShowJoinLabel(const QString& text);
  void EndGapLabel();
  void DrawMapRegion();
  void ReportMissingLibraryOnce();

  // Which playback buttons are available (form_buttons.cpp).
  void ShowAvailability(const PlayerReport& report);
  void ShowAvailability(OpenStatus opened);
  void ShowEndMet(Direction end);
  void KeepOpenWhereCrossing(Direction direction);
  // The marker beside the file name, and the buttons at an end.
  void ShowContinuousTripChanged();
  void ShowPlaybackButtons(unsigned sides, bool available);
  void SetButtonPicture(PictureButton* button, const QString& key);
  void ActiveBothWays();
  void ShowPlayStarted(PictureButton* button, const QString& runningKey);
  void ShowPlayStopped();

  // Play loops.
  void PlayLoop(Direction direction, PlayMode mode, PictureButton* button, const QString& runningKey);
  void WaitForPace(const QElapsedTimer& cycle);
  void CloseIfAsked();

  void PlaceCounter();
  void ShowCutMarks();
  void PlaceCutLine(CutLine& line, const std::optional<PictureRef>& mark);
  QString SnapshotPreset() const;
  // Writes the picture area to `target` in the format its name asks for; an error text or "".
  std::string WriteSnapshot(const std::string& target) const;
  // The picture area as a snapshot saves it: in review mode with the shown picture's boxes
  // covered.
  QImage SnapshotImage() const;

  // Review (form_review.cpp).
  void StartReview(redact::BoxFile boxes, const QString& path);
  // The pictures under review: the marked stretch when it is the open recording's, else all.
  std::vector<redact::ReviewPicture> ReviewStretch();
  // Tells the review which picture is on screen.
  void FollowReview();
  void RepaintReview();
  void SetDrawKind(redact::BoxKind kind);
  // Leaves review mode, offering to save what is unsaved; false when the user's save failed.
  bool EndReview();
  // Writes the boxes file; false (the user told why) when it was not written.
  bool WriteReview();
  QRect ShownPictureRect();

  std::unique_ptr<CompanionWindows> companions_;
  Platform& platform_;
  QString programFolder_;
  QString commandLine_;
  bool libraryReported_ = false;
  QTimer gapTimer_;   // runs while the time label shows a gap
  QString timeText_;  // the time of the picture shown last
  int mousePointer_ = 0;
  std::optional<Direction> endShown_;  // the end whose rules the buttons show now
  std::optional<redact::ReviewSession> review_;
  QString reviewPath_;  // the boxes file under review; empty until the first save of a new one
};

}  // namespace rovena
