#include "viewer/main_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMimeData>
#include <QStorageInfo>
#include <QThread>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "core/ini_config.h"
#include "viewer/core_messages.h"
#include "core/nmea.h"
#include "core/recording_file.h"
#include "core/trip_labels.h"
#include "viewer/local_path.h"
#include "viewer/modBmp.h"

namespace rovena {

namespace {

// The setting that keeps playing and stepping across the recordings of a trip ("0": off).
const char kContinuousTripSetting[] = "ContinuousTrip";

// Longest name lblFile shows whole, and how much of a longer name's end it shows.
constexpr int kFileNameShownWhole = 40;
constexpr int kFileNameTail = 37;
// Reading limit for Rovena.ini: far above a real one, low enough that a wrong file put there
// cannot exhaust memory.
constexpr std::size_t kLargestConfiguration = 1 << 20;

const char kTitle[] = "Rovena  2.0";
const char kOpenFilter[] = "*.M1V (MPEG-1)|*.M1V";

// Environment variable naming the disk-check program to offer after a read fault; without
// it the graphical disk utility is looked for on the search path.
const char kDiskCheckVariable[] = "ROVENA_DISK_CHECK";
const char kDiskUtility[] = "gnome-disks";

MessageIcon ToMessageIcon(IniMessage::Icon icon) {
  return icon == IniMessage::Icon::Critical ? MessageIcon::Critical : MessageIcon::Information;
}

void Yield() { QCoreApplication::processEvents(); }

}  // namespace

Form1::Form1(Platform& platform, QString programFolder, QString commandLine)
    : player(this),
      platform_(platform),
      programFolder_(std::move(programFolder)),
      commandLine_(std::move(commandLine)) {
  setWindowTitle(QString::fromLatin1(kTitle));
  setAcceptDrops(true);
  imglPic = MakePlaybackPictures();
  imglFlag = MakeCutFlagPictures();
  CreateControls();
  companions_ = std::make_unique<CompanionWindows>(CompanionSources{
      &MapPicture, [this] { return Map; }, [this]() -> const QImage& { return Pic1->Image(); },
      [this](int index, std::int64_t position) { ShowTripPicture(static_cast<std::size_t>(index), position); },
      [this](const std::string& path, std::int64_t picture) { OpenAtPicture(PathFromBytes(path), picture); },
      [this] { return PathToBytes(platform_.ReadSetting(QStringLiteral("Archive"))); },
      [this](QWidget* window) { EquipCompanion(window); }});
  CreateShortcuts();
  gapTimer_.setSingleShot(true);
  connect(&gapTimer_, &QTimer::timeout, this, [this] { EndGapLabel(); });
}

Form1::~Form1() = default;

// ---------------------------------------------------------------- start-up and shutdown

void Form1::Form_Load() {
  GpsOff();
  // The decoder's code table is compiled in, so pictures decode even when start-up stops
  // here at an incomplete configuration file.
  if (!ReadConfiguration()) return;
  MpegFile = PathFromBytes(StripCommandLineQuotes(PathToBytes(commandLine_)));
  if (MpegFile.isEmpty()) MpegFile = platform_.ReadSetting(QStringLiteral("MpegFile"));
  BmpFileName = platform_.ReadSetting(QStringLiteral("BmpFile"));
  player.SetContinuousTrip(platform_.ReadSetting(QString::fromLatin1(kContinuousTripSetting)) != QStringLiteral("0"));
  ShowContinuousTripChanged();
  OpenInItsTrip(MpegFile);
  UnActiveDownCmd();
  KeepOpenWhereCrossing(Direction::Down);
  LoadMap();
}

// Reads Rovena.ini beside the program. Returns false when start-up must stop.
bool Form1::ReadConfiguration() {
  const QString path = programFolder_ + QStringLiteral("/Rovena.ini");
  IniSettings settings = DefaultIniSettings();
  std::error_code ec;
  if (std::filesystem::exists(PathToBytes(path), ec)) {
    std::string content, error;
    // Only a regular file is read: a FIFO or device in its place must not block start-up.
    if (!ReadRegularFile(PathToBytes(path), kLargestConfiguration, content, error)) {
      // An unreadable file is reported, then treated as absent.
      platform_.ShowMessage(QStringLiteral("Nie można odczytać pliku %1 : %2").arg(path, PathFromBytes(error)),
                            MessageIcon::Information);
    } else {
      const IniLoadResult result = LoadIniText(content);
      for (const IniMessage& message : result.messages) {
        platform_.ShowMessage(IniMessageText(message), ToMessageIcon(message.icon));
      }
      if (!result.complete) return false;
      settings = result.settings;
    }
  }
  PlayInterval = settings.PlayInterval;
  Map = settings;
  return true;
}

void Form1::Form_QueryUnload(int& Cancel) {
  platform_.WriteSetting(QStringLiteral("MpegFile"), MpegFile);
  // A person's review is not lost to a closing window: unsaved, it is offered for saving.
  if (!EndReview()) {
    Cancel = 1;
    return;
  }
  if (Playing) {
    Cancel = 1;
    Playing = false;
    UnloadPending = true;
  }
}

void Form1::closeEvent(QCloseEvent* event) {
  int cancel = 0;
  Form_QueryUnload(cancel);
  if (cancel != 0) {
    event->ignore();
  } else {
    event->accept();
  }
}

// ---------------------------------------------------------------- opening

void Form1::ShowFileName(const QString& name) {
  lblFile->setText(name.size() <= kFileNameShownWhole ? name
                                                      : QStringLiteral("...") + name.right(kFileNameTail));
}

bool Form1::NewFile(const QString& FileName) {
  if (!FileName.isEmpty()) return player.Open(PathToBytes(FileName)) == OpenStatus::Opened;
  ShowFileName(FileName);
  SetPlayCounter(true);
  ShowAvailability(OpenStatus::NotFound);
  return false;
}

void Form1::RecordingOpened(const OpenEvent& event) {
  if (event.kind != OpenEvent::Kind::Crossing) ShowOpening(event);
  if (event.kind == OpenEvent::Kind::Chosen || event.status != OpenStatus::Opened) return;
  // Another recording of the trip. Entered by a step or a play, it keeps the buttons, the GPS
  // labels and the play as they are.
  if (event.kind == OpenEvent::Kind::InTrip) {
    GpsOff();
  } else {
    SetFormat(player.Decoder().PicFormat);
    // A CIF picture covers only the middle of the area: nothing of a VGA one may stay beside it.
    if (event.newFormat) Pic1->Clear();
    SetPlayCounter(true);
    ShowCutMarks();
  }
  MpegFile = PathFromBytes(event.path);
  ShowTripFileName(MpegFile);
}

// The name, the counter reset, the buttons, and what went wrong, in the words the user reads.
void Form1::ShowOpening(const OpenEvent& event) {
  const QString name = PathFromBytes(event.path);
  ShowFileName(name);
  if (event.status != OpenStatus::NotFound) cmdCut->setEnabled(true);
  SetPlayCounter(true);
  ShowAvailability(event.status);
  switch (event.status) {
    case OpenStatus::Opened:
      SetFormat(player.Decoder().PicFormat);
      Pic1->Clear();
      break;
    case OpenStatus::NotARecording:
      lblFile->setText(QStringLiteral("Bad  file !"));
      break;
    case OpenStatus::NotFound:
      lblFile->setText(QStringLiteral("File not found !"));
      break;
    case OpenStatus::Unreadable:
      if (!event.error.empty()) lblFile->setText(QString::fromStdString(event.error));
      break;
    case OpenStatus::ReadFault:
      lblFile->setText(QString::fromLocal8Bit(std::strerror(EIO)));
      OfferDiskCheck(name);
      break;
  }
  if (event.status != OpenStatus::NotFound && event.status != OpenStatus::Unreadable) ShowCutMarks();
}

// After a read fault: offers to start a disk-check program on the recording's device. The
// program is the one named in ROVENA_DISK_CHECK, or else the desktop's disk utility; it is
// started with an argument vector and not waited for.
void Form1::OfferDiskCheck(const QString& path) {
  const QString question = QStringLiteral(
      "System Windows nie może odczytać wskazanego pliku !\n"
      "Możliwe, że plik jest uszkodzony.\n"
      "Czy uruchomić program pozwalający odzyskać dane ?");
  if (!platform_.AskYesNo(question, MessageIcon::Exclamation)) return;
  const QString device = QStorageInfo(QFileInfo(path).absolutePath()).device();
  QString program = platform_.Environment(QString::fromLatin1(kDiskCheckVariable));
  QStringList arguments{device};
  if (program.isEmpty()) {
    program = platform_.FindProgram(QString::fromLatin1(kDiskUtility));
    arguments = QStringList{QStringLiteral("--block-device"), device};
  }
  if (program.isEmpty()) {
    platform_.ShowMessage(QStringLiteral("Nie znaleziono programu do sprawdzenia dysku."),
                          MessageIcon::Information);
    return;
  }
  if (!platform_.StartDetached(program, arguments)) {
    platform_.ShowMessage(QStringLiteral("Nie można uruchomić programu ") + program, MessageIcon::Information);
  }
}

void Form1::cmdFile_Click() {
  if (Playing) return;
  player.Close();
  // A cancelled dialog hands back the name it was given: the recording is opened again.
  const QString name = platform_.ChooseFileToOpen(MpegFile, QString::fromLatin1(kOpenFilter)).value_or(MpegFile);
  OpenChosenFile(name);
}

void Form1::OpenChosenFile(const QString& name) {
  if (name.isEmpty()) return;
  if (OpenInItsTrip(name)) MpegFile = name;
  GpsOff();
}

void Form1::dragEnterEvent(QDragEnterEvent* event) {
  const QMimeData* data = event->mimeData();
  if (data->hasUrls() && !data->urls().isEmpty() && data->urls().first().isLocalFile()) {
    event->acceptProposedAction();
  }
}

void Form1::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.isEmpty() || !urls.first().isLocalFile() || Playing) return;
  event->acceptProposedAction();
  player.Close();
  const QString first = PathFromUrl(urls.first());
  std::error_code ec;
  const bool isFolder = std::filesystem::is_directory(PathToBytes(first), ec);
  if (urls.size() == 1 && !isFolder) {
    OpenChosenFile(first);
    return;
  }
  // Several recordings, or a folder: the folder's trip from its first recording.
  const Trip dropped = Trip::Scan(isFolder ? PathToBytes(first) : TripFolderOf(PathToBytes(first)));
  OpenChosenFile(dropped.Empty() ? first : PathFromBytes(dropped.Recordings().front().path));
}

// ---------------------------------------------------------------- trips

bool Form1::OpenInItsTrip(const QString& name) {
  if (!NewFile(name)) return false;
  player.ListTrip();
  ShowTripFileName(name);
  ShareTrip();
  return true;
}

void Form1::ShareTrip() {
  const Trip& trip = player.CurrentTrip();
  std::vector<std::string> paths;
  std::vector<bool> followsOn;
  for (std::size_t i = 0; player.TripIndex() && i < trip.Size(); ++i) {
    paths.push_back(trip.Recordings()[i].path);
    followsOn.push_back(trip.FollowsOn(i));
  }
  if (!player.TripIndex()) paths = {PathToBytes(MpegFile)}, followsOn = {false};
  companions_->SetTrip(std::move(paths), std::move(followsOn));
}

void Form1::ShowTripFileName(const QString& name) {
  ShowFileName(name);
  if (const auto index = player.TripIndex())
    lblFile->setText(lblFile->text() + QString::fromStdString(TripPositionText(*index, player.CurrentTrip().Size())));
}

bool Form1::StandBeforePicture(std::int64_t picture) {
  const std::optional<PlayerReport> placed = player.StandBefore(picture);
  if (placed) ShowAvailability(*placed);
  return placed.has_value();
}

void Form1::ShowPictureNumber(std::int64_t picture) {
  if (!player.CurrentRecording().File().IsOpen()) return;  // the opening has said why
  if (StandBeforePicture(picture)) {
    cmdUp_Click();
    return;
  }
  platform_.ShowMessage(QStringLiteral("Nagranie %1 nie ma obrazu %2.").arg(MpegFile).arg(picture),
                        MessageIcon::Information);
  cmdUpE_Click();
}

void Form1::OpenAtPicture(const QString& name, std::int64_t picture) {
  if (Playing) return;
  player.Close();
  OpenChosenFile(name);
  if (MpegFile == name) ShowPictureNumber(picture);
}

void Form1::ShowTripPicture(std::size_t index, std::int64_t position) {
  if (Playing) {
    // The play's next turn shows it, and the play stops there.
    player.AskForPicture(index, position);
    Playing = false;
    return;
  }
  Draw(player.ShowPicture(index, position));
}

void Form1::NextRecording() {
  if (!Playing) Draw(player.OpenNeighbour(Direction::Up));
}

void Form1::PreviousRecording() {
  if (!Playing) Draw(player.OpenNeighbour(Direction::Down));
}

void Form1::ToggleContinuousTrip() {
  player.SetContinuousTrip(!player.ContinuousTrip());
  platform_.WriteSetting(QString::fromLatin1(kContinuousTripSetting),
                         player.ContinuousTrip() ? QStringLiteral("1") : QStringLiteral("0"));
  platform_.Beep();
  ShowContinuousTripChanged();
}

// ---------------------------------------------------------------- drawing what the player did

void Form1::Draw(const PlayerReport& report, bool flatOut) {
  for (const std::string& path : report.skipped) {
    platform_.ShowMessage(QStringLiteral("Pominięto nagranie, którego nie można już otworzyć : ") + PathFromBytes(path),
                          MessageIcon::Information);
  }
  if (report.crossedJoin) ShowJoinLabel(JoinMessage(player.CurrentTrip(), *report.crossedJoin));
  if (report.outcome == PlayerReport::Outcome::Shown) ShowCurrentPicture(flatOut);
  // Placed without a picture: the GPS labels wait for the first one shown.
  if (report.outcome == PlayerReport::Outcome::Placed) GpsOff();
  ShowAvailability(report);
}

void Form1::ShowCurrentPicture(bool flatOut) {
  if (chkGps->isChecked()) {
    ShowPos();
  } else {
    ShowPic();
  }
  const NmeaDisplay sentence = ParseNmea(player.CurrentRecording().NmeaLine);
  companions_->PictureShown(static_cast<int>(player.TripIndex().value_or(0)), player.CurrentRecording().PicPos, flatOut,
                            sentence.isGprmc && !sentence.gpsValid);
  FollowReview();
}

bool Form1::ShowPic() {
  PictureDecoder& decoder = player.Decoder();
  switch (decoder.ShowPic()) {
    case PictureDecoder::PictureResult::Decoded:
      DrawFrame(Pic1->Image(), decoder.Width(), decoder.Height(), decoder.FrameBuf.data(), decoder.DrawX(), 0);
      Pic1->update();
      return true;
    case PictureDecoder::PictureResult::NoLibrary:
      ReportMissingLibraryOnce();
      return true;
    case PictureDecoder::PictureResult::Failed:
      // A damaged picture is passed over: the previous one stays and play goes on.
    case PictureDecoder::PictureResult::NoFormat:
      return true;
  }
  return true;
}

void Form1::ReportMissingLibraryOnce() {
  if (libraryReported_) return;
  libraryReported_ = true;
  platform_.ShowMessage(QString::fromStdString(BlockLibrary::Instance().Error()), MessageIcon::Critical);
}

// ---------------------------------------------------------------- steps and jumps

void Form1::cmdUp_Click() {
  if (!Playing) Draw(player.Step(Direction::Up));
}

void Form1::cmdDown_Click() { Draw(player.Step(Direction::Down)); }
void Form1::cmdUpE_Click() { Draw(player.JumpToEnd(Direction::Up)); }
void Form1::cmdDownE_Click() { Draw(player.JumpToEnd(Direction::Down)); }
void Form1::cmdStop_Click() { Playing = false; }

// ---------------------------------------------------------------- play loops

void Form1::cmdUpF_Click() { PlayLoop(Direction::Up, PlayMode::Normal, cmdUpF, QStringLiteral("UpFA")); }
void Form1::cmdDownF_Click() { PlayLoop(Direction::Down, PlayMode::Normal, cmdDownF, QStringLiteral("DownFA")); }
void Form1::cmdUpFF_Click() { PlayLoop(Direction::Up, PlayMode::Fast, cmdUpFF, QStringLiteral("UpFFA")); }
void Form1::cmdDownFF_Click() { PlayLoop(Direction::Down, PlayMode::Fast, cmdDownFF, QStringLiteral("DownFFA")); }
void Form1::cmdUpFFF_Click() { PlayLoop(Direction::Up, PlayMode::VeryFast, cmdUpFFF, QStringLiteral("UpFFFA")); }
void Form1::cmdDownFFF_Click() {
  PlayLoop(Direction::Down, PlayMode::VeryFast, cmdDownFFF, QStringLiteral("DownFFFA"));
}

// The loop runs inside the click handler, one player turn per picture; other clicks are handled
// in its yields and reach it only through Playing, checked once per turn after its picture is
// shown. A play that meets an end has been stopped by the end rules already.
void Form1::PlayLoop(Direction direction, PlayMode mode, PictureButton* button, const QString& runningKey) {
  if (Playing) {
    Playing = false;
    return;
  }
  Playing = true;
  ShowPlayStarted(button, runningKey);
  const bool flatOut = mode != PlayMode::Normal;
  for (;;) {
    QElapsedTimer cycle;
    cycle.start();
    const PlayerReport turn = player.Advance(mode, direction, Yield);
    Draw(turn, flatOut);
    if (turn.endMet) break;
    if (!Playing) {
      ShowPlayStopped();
      break;
    }
    if (mode == PlayMode::Normal) {
      WaitForPace(cycle);
    } else if (mode == PlayMode::VeryFast) {
      Yield();
    }
  }
  CloseIfAsked();
}

// Yields at least once, then until PlayInterval has passed since the cycle began (monotonic
// clock). Between yields the thread naps for at most 2 ms, so waiting does not spin a core.
void Form1::WaitForPace(const QElapsedTimer& cycle) {
  Yield();
  for (;;) {
    const float elapsed = static_cast<float>(cycle.nsecsElapsed() / 1e9);
    if (!(elapsed < PlayInterval)) return;
    const double remainingMs = (PlayInterval - elapsed) * 1000.0;
    QThread::usleep(static_cast<unsigned long>(std::min(remainingMs, 2.0) * 1000));
    Yield();
  }
}

// A close request during the play closes the window once the play has ended, also when it
// ended at the end of the recording in the same cycle.
void Form1::CloseIfAsked() {
  if (!UnloadPending) return;
  UnloadPending = false;
  close();
}

}  // namespace rovena
