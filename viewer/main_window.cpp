#include "viewer/main_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScopeGuard>
#include <QShortcut>
#include <QStorageInfo>
#include <QThread>
#include <QWheelEvent>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "core/bmp_writer.h"
#include "viewer/clip_export_dialog.h"
#include "core/fragment.h"
#include "core/ini_config.h"
#include "viewer/local_path.h"
#include "core/map_position.h"
#include "viewer/modBmp.h"
#include "core/nmea.h"
#include "core/output_guard.h"
#include "core/snapshot_name.h"
#include "core/gps_track.h"
#include "core/atomic_file.h"
#include "core/recording_file.h"
#include "core/trip_labels.h"

namespace rovena {

namespace {

// Layout: the picture area is 640 pixels wide plus its border; the command frame sits 6
// pixels (90 twips) below it; the client area is 145 pixels taller than the picture area.
constexpr int kCommandFrameGap = 6;
constexpr int kBelowPictureArea = 145;
constexpr int kClientWidth = 642;
constexpr int kVgaImageHeight = 480;
constexpr int kCifImageHeight = 240;

// Very fast play jumps this many bytes between shown pictures; fast play passes over this
// many picture starts per shown picture.
constexpr std::int64_t kVeryFastJump = 200000;
constexpr int kFastPlayStarts = 5;

// How long the time label shows the gap a step has just crossed.
constexpr int kGapShownMs = 2000;

// The setting that keeps playing and stepping across the recordings of a trip ("0": off).
const char kContinuousTripSetting[] = "ContinuousTrip";

// Longest name lblFile shows whole, and how much of a longer name's end it shows.
constexpr int kFileNameShownWhole = 40;
constexpr int kFileNameTail = 37;
// Reading limits for the files beside the program: far above any real one, low enough that a
// wrong file put there cannot exhaust memory.
constexpr std::size_t kLargestConfiguration = 1 << 20;
constexpr std::size_t kLargestMapFile = 256 << 20;
constexpr int kJpegQuality = 95;  // plates and small text stay readable

const QColor kWindowGrey(128, 128, 128);
const QColor kDarkGrey(64, 64, 64);
const QColor kBarYellow(192, 192, 0);
const QColor kGpsGreen(0, 192, 0);

const char kTitle[] = "Rovena  2.0";
const char kOpenFilter[] = "*.M1V (MPEG-1)|*.M1V";
const char kBmpFilter[] = "*.bmp|*.bmp";
const char kCutFilter[] = "*.MPEG|*.MPEG";

// Environment variable naming the disk-check program to offer after a read fault; without
// it the graphical disk utility is looked for on the search path.
const char kDiskCheckVariable[] = "ROVENA_DISK_CHECK";
const char kDiskUtility[] = "gnome-disks";

QFont CourierNew(double points, bool bold = false) {
  QFont font;
  font.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono")});
  font.setStyleHint(QFont::TypeWriter);
  font.setPointSizeF(points);
  font.setBold(bold);
  return font;
}

QFont BookAntiqua(double points) {
  QFont font;
  font.setFamilies({QStringLiteral("Book Antiqua"), QStringLiteral("Palatino Linotype"),
                    QStringLiteral("P052"), QStringLiteral("URW Palladio L")});
  font.setStyleHint(QFont::Serif);
  font.setPointSizeF(points);
  return font;
}

void SetColours(QWidget* widget, const QColor& text, const QColor* background) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, text);
  palette.setColor(QPalette::Text, text);
  if (background) {
    palette.setColor(QPalette::Window, *background);
    widget->setAutoFillBackground(true);
  }
  widget->setPalette(palette);
}

QLabel* MakeLabel(QWidget* parent, const QRect& pixels, const QString& caption) {
  auto* label = new QLabel(caption, parent);
  label->setGeometry(pixels);
  label->setAttribute(Qt::WA_TransparentForMouseEvents);
  return label;
}

QRect TwipsRect(int left, int top, int width, int height) {
  return QRect(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height));
}

MessageIcon ToMessageIcon(IniMessage::Icon icon) {
  return icon == IniMessage::Icon::Critical ? MessageIcon::Critical : MessageIcon::Information;
}

void Yield() { QCoreApplication::processEvents(); }

// The folder holding `path`, as bytes, for listing its trip.
std::string FolderOf(const std::string& path) {
  std::error_code ec;
  return std::filesystem::absolute(path, ec).parent_path().string();
}

// The playback buttons, left to right: where each sits (twips), what it does, its picture
// while available (the unavailable picture's key adds "U") and the side it belongs to.
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

// Every key of the window, in one table: the shortcuts, the playback buttons' tool tips and
// the F1 help are all made from it.
struct KeyBinding {
  QKeyCombination keys;
  const char* keyName;      // as the tool tip and the help name it
  const char* description;  // Polish, as the user reads it
  void (Form1::*action)();
  PictureButton* Form1::*button = nullptr;  // the playback button doing the same, if any
};

const KeyBinding kKeyBindings[] = {
    {Qt::Key_Right, "Strzałka w prawo", "Następny obraz", &Form1::cmdUp_Click, &Form1::cmdUp},
    {Qt::Key_Left, "Strzałka w lewo", "Poprzedni obraz", &Form1::cmdDown_Click, &Form1::cmdDown},
    {Qt::Key_Up, "Strzałka w górę", "Odtwarzanie", &Form1::cmdUpF_Click, &Form1::cmdUpF},
    {Qt::Key_Down, "Strzałka w dół", "Odtwarzanie wstecz", &Form1::cmdDownF_Click, &Form1::cmdDownF},
    {Qt::SHIFT | Qt::Key_Right, "Shift+Strzałka w prawo", "Szybkie odtwarzanie", &Form1::cmdUpFF_Click, &Form1::cmdUpFF},
    {Qt::SHIFT | Qt::Key_Left, "Shift+Strzałka w lewo", "Szybkie odtwarzanie wstecz", &Form1::cmdDownFF_Click,
     &Form1::cmdDownFF},
    {Qt::CTRL | Qt::Key_Right, "Ctrl+Strzałka w prawo", "Bardzo szybkie odtwarzanie", &Form1::cmdUpFFF_Click,
     &Form1::cmdUpFFF},
    {Qt::CTRL | Qt::Key_Left, "Ctrl+Strzałka w lewo", "Bardzo szybkie odtwarzanie wstecz", &Form1::cmdDownFFF_Click,
     &Form1::cmdDownFFF},
    {Qt::Key_Space, "Spacja", "Odtwarzanie / zatrzymanie", &Form1::PlayOrStop, &Form1::cmdStop},
    {Qt::Key_Home, "Home", "Pierwszy obraz", &Form1::cmdDownE_Click, &Form1::cmdDownE},
    {Qt::Key_End, "End", "Ostatni obraz", &Form1::cmdUpE_Click, &Form1::cmdUpE},
    {Qt::Key_PageDown, "Page Down", "Następne nagranie podróży", &Form1::NextRecording},
    {Qt::Key_PageUp, "Page Up", "Poprzednie nagranie podróży", &Form1::PreviousRecording},
    {Qt::Key_T, "T", "Ciągła podróż: włączenie / wyłączenie", &Form1::ToggleContinuousTrip},
    {Qt::CTRL | Qt::Key_O, "Ctrl+O", "Wczytanie nowego pliku", &Form1::cmdFile_Click},
    {Qt::Key_S, "S", "Zapis obrazka", &Form1::cmdBmp_Click},
    {Qt::Key_G, "G", "Mapa / obraz (pole GPS)", &Form1::ToggleGpsBox},
    {Qt::Key_K, "K", "Zaznaczenie początku / końca fragmentu", &Form1::cmdCut_Click},
    {Qt::CTRL | Qt::Key_S, "Ctrl+S", "Zapis zaznaczonego fragmentu", &Form1::cmdSaveCut_Click},
    {Qt::CTRL | Qt::Key_E, "Ctrl+E", "Eksport zaznaczonego fragmentu do MP4", &Form1::ExportCutToMp4},
    {Qt::Key_M, "M", "Trasa na mapie", &Form1::ToggleRouteWindow},
    {Qt::Key_Z, "Z", "Powiększony obraz", &Form1::TogglePictureWindow},
    {Qt::Key_F1, "F1", "Lista klawiszy", &Form1::ShowKeyHelp},
};

}  // namespace

void PictureButton::SetPicture(const QString& key, const QPixmap& picture) {
  key_ = key;
  setIcon(QIcon(picture));
  setIconSize(picture.size());
}

Form1::Form1(Platform& platform, QString programFolder, QString commandLine)
    : recording(this),
      platform_(platform),
      programFolder_(std::move(programFolder)),
      commandLine_(std::move(commandLine)) {
  setWindowTitle(QString::fromLatin1(kTitle));
  setAutoFillBackground(true);
  QPalette grey = palette();
  grey.setColor(QPalette::Window, kWindowGrey);
  setPalette(grey);
  setAcceptDrops(true);
  imglPic = MakePlaybackPictures();
  imglFlag = MakeCutFlagPictures();
  CreateControls();
  companions_ = std::make_unique<CompanionWindows>(CompanionSources{
      &MapPicture, [this] { return MapCalibration{MapLat1, MapLon1, ScaleLat, ScaleLon}; },
      [this]() -> const QImage& { return Pic1->Image(); },
      [this](int index, std::int64_t position) { ShowTripPicture(static_cast<std::size_t>(index), position); },
      [this](const std::string& path, std::int64_t picture) { OpenAtPicture(PathFromBytes(path), picture); }});
  Pic1->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(Pic1, &QWidget::customContextMenuRequested, this, &Form1::ShowPictureMenu);
  CreateShortcuts();
  gapTimer_.setSingleShot(true);
  connect(&gapTimer_, &QTimer::timeout, this, [this] { EndGapLabel(); });
  setFixedSize(kClientWidth, Pic1->height() + kBelowPictureArea);
}

Form1::~Form1() = default;

// ---------------------------------------------------------------- layout

void Form1::CreateControls() {
  // The three labels lie behind the picture area and show only while it is hidden, so they
  // are created first.
  lblnoMap = MakeLabel(this, TwipsRect(735, 1920, 8175, 255),
                       QStringLiteral("Brak mapy dla niżej wymienionych współrzędnych !"));
  SetColours(lblnoMap, QColor(0, 255, 0), nullptr);
  lblLat = MakeLabel(this, TwipsRect(3120, 2520, 5055, 375), QStringLiteral("Lat: 52°"));
  lblLon = MakeLabel(this, TwipsRect(3120, 3000, 5055, 375), QStringLiteral("Lon: 52.3456°"));
  for (QLabel* label : {lblLat, lblLon}) {
    SetColours(label, QColor(255, 255, 0), nullptr);
    label->setFont(CourierNew(15.75, true));
  }

  Pic1 = new PictureArea(this);
  Pic1->move(0, 0);
  shPoint = Pic1->shPoint;
  Pic1->PlaceMarker(TwipsToPixels(1680), TwipsToPixels(2640));

  fraCmd = new CommandFrame(this);
  fraCmd->setGeometry(0, Pic1->height() + kCommandFrameGap, TwipsToPixels(9615), TwipsToPixels(2055));
  fraCmd->onMouseDown = [this](int b, int s, float x, float y) { fraCmd_MouseDown(b, s, x, y); };
  fraCmd->onMouseMove = [this](int b, int s, float x, float y) { fraCmd_MouseMove(b, s, x, y); };
  fraCmd->onMouseUp = [this](int b, int s, float x, float y) { fraCmd_MouseUp(b, s, x, y); };
  fraCmd->linCut1.colour = QColor(192, 0, 0);
  fraCmd->linCut1.x = 1440;
  fraCmd->linCut2.colour = QColor(0, 0, 192);
  fraCmd->linCut2.x = 2520;
  CreateCommandFrameControls();
  CreatePlaybackButtons();
}

void Form1::CreateCommandFrameControls() {
  const QColor black(0, 0, 0);
  lblSpeed = MakeLabel(fraCmd, TwipsRect(120, 0, 1215, 255), QStringLiteral("123 km/h"));
  lblTime = MakeLabel(fraCmd, TwipsRect(3548, 0, 2535, 255), QStringLiteral("30.03.2006 22:34:16"));
  chkGps = new QCheckBox(QStringLiteral("GPS"), fraCmd);
  chkGps->setGeometry(TwipsRect(8520, 0, 975, 255));
  for (QWidget* widget : std::initializer_list<QWidget*>{lblSpeed, lblTime, chkGps}) {
    SetColours(widget, kGpsGreen, &black);
    widget->setFont(CourierNew(9.75));
  }
  // Styles paint a check box's caption on their own button colour; keep it green on black.
  chkGps->setStyleSheet(QStringLiteral(
      "QCheckBox { color: rgb(0, 192, 0); background-color: black; }"
      "QCheckBox::indicator { width: 9px; height: 9px; border: 1px solid rgb(0, 192, 0); background: black; }"
      "QCheckBox::indicator:checked { background: rgb(0, 192, 0); }"));
  connect(chkGps, &QCheckBox::clicked, this, [this] { chkGps_Click(); });

  lblPlay = MakeLabel(fraCmd, TwipsRect(0, 600, 375, 255), QStringLiteral("0%"));
  lblPlay->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  lblFile = MakeLabel(fraCmd, TwipsRect(1200, 840, 5535, 255), QString());
  for (QLabel* label : {lblPlay, lblFile}) {
    SetColours(label, kBarYellow, &kDarkGrey);
    label->setFont(BookAntiqua(8.25));
  }

  const ImageList tools = MakeToolPictures();
  cmdFile = MakeButton(240, 840, 855, 330, &Form1::cmdFile_Click);
  cmdFile->SetPicture(QStringLiteral("File"), tools.Picture(QStringLiteral("File")));
  cmdFile->setToolTip(QStringLiteral("Wczytanie nowego pliku w formacie MPEG-1"));
  cmdCut = MakeButton(6840, 840, 540, 330, &Form1::cmdCut_Click);
  cmdCut->SetPicture(QStringLiteral("1"), imglFlag.Picture(QStringLiteral("1")));
  cmdCut->setToolTip(QStringLiteral("Zaznaczenie początku i końca sekwecji przeznaczonej do zapisu"));
  cmdCut->setEnabled(false);
  cmdSaveCut = MakeButton(7440, 840, 855, 330, &Form1::cmdSaveCut_Click);
  cmdSaveCut->SetPicture(QStringLiteral("SaveCut"), tools.Picture(QStringLiteral("SaveCut")));
  cmdSaveCut->setToolTip(QStringLiteral("Zapis zaznaczonego fragmentu w formacie MPEG-1"));
  cmdSaveCut->setEnabled(false);
  cmdSaveCut->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(cmdSaveCut, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    QMenu menu;
    menu.addAction(QString::fromUtf8(kExportDialogTitle), this, &Form1::ExportCutToMp4);
    menu.exec(cmdSaveCut->mapToGlobal(at));
  });
  cmdBmp = MakeButton(8520, 840, 855, 330, &Form1::cmdBmp_Click);
  cmdBmp->SetPicture(QStringLiteral("Bmp"), tools.Picture(QStringLiteral("Bmp")));
  cmdBmp->setToolTip(QStringLiteral("Zapis wybranego obrazka w formacie BMP"));
}

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

PictureButton* Form1::MakeButton(int leftTwips, int topTwips, int widthTwips, int heightTwips,
                                 void (Form1::*handler)()) {
  auto* button = new PictureButton(fraCmd);
  button->setGeometry(TwipsRect(leftTwips, topTwips, widthTwips, heightTwips));
  connect(button, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
  return button;
}

void Form1::CreateShortcuts() {
  for (const KeyBinding& binding : kKeyBindings) {
    auto* shortcut = new QShortcut(QKeySequence(binding.keys), this);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, [this, action = binding.action] { (this->*action)(); });
    if (binding.button)
      (this->*binding.button)->setToolTip(QStringLiteral("%1 (%2)").arg(QString::fromUtf8(binding.description),
                                                                         QString::fromUtf8(binding.keyName)));
  }
  Pic1->installEventFilter(this);
}

void Form1::PlayOrStop() { Playing ? cmdStop_Click() : cmdUpF_Click(); }

void Form1::ToggleGpsBox() {
  if (chkGps->isVisible()) chkGps->click();
}

void Form1::ToggleRouteWindow() { companions_->ToggleRoute(); }
void Form1::TogglePictureWindow() { companions_->TogglePicture(); }

void Form1::ShowKeyHelp() {
  QString text = QStringLiteral("Klawisze programu:\n\n");
  for (const KeyBinding& binding : kKeyBindings)
    text += QStringLiteral("%1 – %2\n").arg(QString::fromUtf8(binding.keyName), QString::fromUtf8(binding.description));
  text += QStringLiteral("Kółko myszy nad obrazem – poprzedni / następny obraz\n");
  platform_.ShowMessage(text, MessageIcon::Information);
}

// The mouse wheel over the picture steps: towards the user (down) is the next picture.
bool Form1::eventFilter(QObject* watched, QEvent* event) {
  if (watched != Pic1 || event->type() != QEvent::Wheel) return QWidget::eventFilter(watched, event);
  const int delta = static_cast<QWheelEvent*>(event)->angleDelta().y();
  if (delta < 0) cmdUp_Click();
  if (delta > 0) cmdDown_Click();
  return true;
}

void Form1::ShowPictureMenu(const QPoint& at) {
  QMenu menu(this);
  menu.addAction(QStringLiteral("Trasa na mapie\tM"), [this] { companions_->ToggleRoute(); });
  menu.addAction(QStringLiteral("Powiększony obraz\tZ"), [this] { companions_->TogglePicture(); });
  menu.exec(Pic1->mapToGlobal(at));
}

void Form1::SetButtonPicture(PictureButton* button, const QString& key) {
  button->SetPicture(key, imglPic.Picture(key));
}

void Form1::SetMousePointer(int shape) {
  mousePointer_ = shape;
  if (shape == 9) {
    setCursor(Qt::SizeHorCursor);
  } else {
    unsetCursor();
  }
}

// ---------------------------------------------------------------- start-up and shutdown

void Form1::Form_Load() {
  GpsOff();
  // The decoder's code table is compiled in, so pictures decode even when start-up stops
  // here at an incomplete configuration file.
  if (!ReadConfiguration()) return;
  MpegFile = PathFromBytes(StripCommandLineQuotes(PathToBytes(commandLine_)));
  if (MpegFile.isEmpty()) MpegFile = platform_.ReadSetting(QStringLiteral("MpegFile"));
  BmpFileName = platform_.ReadSetting(QStringLiteral("BmpFile"));
  ContinuousTrip = platform_.ReadSetting(QString::fromLatin1(kContinuousTripSetting)) != QStringLiteral("0");
  OpenInItsTrip(MpegFile);
  UnActiveDownCmd();
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
        platform_.ShowMessage(QString::fromStdString(message.text), ToMessageIcon(message.icon));
      }
      if (!result.complete) return false;
      settings = result.settings;
    }
  }
  PlayInterval = settings.PlayInterval;
  MapLat1 = settings.MapLat1;
  MapLat2 = settings.MapLat2;
  MapLon1 = settings.MapLon1;
  MapLon2 = settings.MapLon2;
  ScaleLat = settings.ScaleLat;
  ScaleLon = settings.ScaleLon;
  return true;
}

// Loads map.gif once, kept 8-bit indexed (16 MiB for 4096 x 4096). A map of another size
// or one that cannot be read is reported and treated as absent.
void Form1::LoadMap() {
  const QString path = programFolder_ + QStringLiteral("/map.gif");
  std::error_code ec;
  if (!std::filesystem::exists(PathToBytes(path), ec)) return;
  std::string bytes, error;
  if (!ReadRegularFile(PathToBytes(path), kLargestMapFile, bytes, error)) {
    platform_.ShowMessage(QStringLiteral("Nie można odczytać mapy %1 : %2").arg(path, PathFromBytes(error)),
                          MessageIcon::Information);
    return;
  }
  QByteArray content = QByteArray::fromStdString(bytes);
  QBuffer buffer(&content);
  QImageReader reader(&buffer, "gif");
  const QSize size = reader.size();
  QImage map;
  if (size == QSize(kMapSize, kMapSize)) map = reader.read();
  if (map.isNull() || map.size() != QSize(kMapSize, kMapSize)) {
    platform_.ShowMessage(
        QStringLiteral("Nie można użyć mapy %1 : wymagany obraz GIF %2 x %2 pikseli.").arg(path).arg(kMapSize),
        MessageIcon::Information);
    return;
  }
  if (map.format() != QImage::Format_Indexed8) map = map.convertToFormat(QImage::Format_Indexed8);
  MapPicture = map;
}

void Form1::Form_QueryUnload(int& Cancel) {
  platform_.WriteSetting(QStringLiteral("MpegFile"), MpegFile);
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
  ShowFileName(FileName);
  QString errorText;
  bool diskFault = false;
  if (!FileName.isEmpty()) {
    const std::string path = PathToBytes(FileName);
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
      lblFile->setText(QStringLiteral("File not found !"));
    } else {
      cmdCut->setEnabled(true);
      SetPlayCounter(true);
      ActiveUpCmd();
      std::string openError;
      if (recording.Open(path, openError)) {
        NoteOpenedRecording(path);
        const bool accepted = decoder.CheckSize(recording.File());
        if (recording.File().HadIoError()) {
          errorText = QString::fromLocal8Bit(std::strerror(EIO));
          diskFault = true;
        } else {
          if (accepted) {
            SetFormat(decoder.PicFormat);
            Pic1->Clear();
          } else {
            lblFile->setText(QStringLiteral("Bad  file !"));
          }
          return accepted;
        }
      } else {
        errorText = QString::fromStdString(openError);
      }
    }
  }
  if (!errorText.isEmpty()) lblFile->setText(errorText);
  SetPlayCounter(true);
  UnActiveCmd();
  if (diskFault) OfferDiskCheck(FileName);
  return false;
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
  recording.Close();
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
  recording.Close();
  const QString first = PathFromUrl(urls.first());
  std::error_code ec;
  const bool isFolder = std::filesystem::is_directory(PathToBytes(first), ec);
  if (urls.size() == 1 && !isFolder) {
    OpenChosenFile(first);
    return;
  }
  // Several recordings, or a folder: the folder's trip from its first recording.
  const Trip dropped = Trip::Scan(isFolder ? PathToBytes(first) : FolderOf(PathToBytes(first)));
  OpenChosenFile(dropped.Empty() ? first : PathFromBytes(dropped.Recordings().front().path));
}

// ---------------------------------------------------------------- trips

void Form1::NoteOpenedRecording(const std::string& path) {
  std::error_code ec;
  const QString canonical = PathFromBytes(std::filesystem::weakly_canonical(path, ec).string());
  if (canonical != openedPath_) ClearCutMarks();
  openedPath_ = canonical;
}

bool Form1::OpenInItsTrip(const QString& name) {
  trip = Trip();
  tripIndex.reset();
  if (!NewFile(name)) return false;
  trip = Trip::Scan(FolderOf(PathToBytes(name)));
  tripIndex = trip.IndexOf(PathToBytes(name));
  ShowTripFileName(name);
  ShareTrip();
  return true;
}

void Form1::ShareTrip() {
  std::vector<std::string> paths;
  std::vector<bool> followsOn;
  for (std::size_t i = 0; tripIndex && i < trip.Size(); ++i) {
    paths.push_back(trip.Recordings()[i].path);
    followsOn.push_back(trip.FollowsOn(i));
  }
  if (!tripIndex) paths = {PathToBytes(MpegFile)}, followsOn = {false};
  companions_->SetTrip(std::move(paths), std::move(followsOn));
}

bool Form1::StandBeforePicture(std::int64_t picture) {
  for (std::int64_t passed = 1; passed < picture; ++passed)
    if (!recording.StepUp(decoder.PicBuf())) return false;
  if (picture > 1) ActiveBothWays();
  return true;
}

void Form1::OpenAtPicture(const QString& name, std::int64_t picture) {
  if (Playing) return;
  recording.Close();
  OpenChosenFile(name);
  if (MpegFile == name && StandBeforePicture(picture)) cmdUp_Click();
}

void Form1::ShowTripPicture(std::size_t index, std::int64_t position) {
  if (playLoopRunning_) {
    // The loop steps once more before it sees the stop; the picture waits for it to return.
    Playing = false;
    QTimer::singleShot(10, this, [this, index, position] { ShowTripPicture(index, position); });
    return;
  }
  if (tripIndex != index && index < trip.Size()) OpenTripRecording(index, false);
  if (tripIndex.value_or(0) != index) return;
  // The picture's start code ends at `position`: searching from four bytes before finds it.
  if (recording.SeekTo(position - 4) && recording.PicPos == position && recording.ReadFrame(decoder.PicBuf()) &&
      ShowCurrentPicture())
    ActiveBothWays();
}

void Form1::ShowTripFileName(const QString& name) {
  ShowFileName(name);
  if (tripIndex) lblFile->setText(lblFile->text() + QString::fromStdString(TripPositionText(*tripIndex, trip.Size())));
}

std::optional<std::size_t> Form1::NeighbourToOpen(bool up) {
  if (!tripIndex) return std::nullopt;
  for (auto index = up ? trip.Next(*tripIndex) : trip.Previous(*tripIndex); index;
       index = up ? trip.Next(*index) : trip.Previous(*index)) {
    const std::string& path = trip.Recordings()[*index].path;
    if (ProbeFrameFormat(path) != kFormatNone) return index;
    platform_.ShowMessage(QStringLiteral("Pominięto nagranie, którego nie można już otworzyć : ") + PathFromBytes(path),
                          MessageIcon::Information);
  }
  return std::nullopt;
}

void Form1::NextRecording() {
  if (Playing) return;
  if (const auto next = NeighbourToOpen(true)) OpenTripRecording(*next, false);
}

// The previous recording opens at its end, so that the first step back shows its last picture.
void Form1::PreviousRecording() {
  if (Playing) return;
  if (const auto previous = NeighbourToOpen(false)) OpenTripRecording(*previous, true);
}

void Form1::OpenTripRecording(std::size_t index, bool atEnd) {
  const QString path = PathFromBytes(trip.Recordings()[index].path);
  recording.Close();
  if (!NewFile(path)) return;
  MpegFile = path;
  tripIndex = index;
  ShowTripFileName(path);
  if (atEnd && recording.PlaceAfterLastPicture(decoder.PicBuf())) UpEnd();
  GpsOff();
}

void Form1::ToggleContinuousTrip() {
  ContinuousTrip = !ContinuousTrip;
  platform_.WriteSetting(QString::fromLatin1(kContinuousTripSetting), ContinuousTrip ? QStringLiteral("1") : QStringLiteral("0"));
  platform_.Beep();
}

bool Form1::CrossInto(bool up) {
  if (!ContinuousTrip) return false;
  const std::optional<std::size_t> from = tripIndex;
  const auto to = NeighbourToOpen(up);
  if (!to || !EnterTripRecording(*to)) return false;
  ShowJoinLabel(JoinText(trip, up ? *from : *from - 1));
  return (up ? recording.StepUp(decoder.PicBuf()) : recording.JumpToEnd(decoder.PicBuf())) && ShowCurrentPicture();
}

// Opening without the start of a fresh open: buttons, GPS labels and play stay as they are.
bool Form1::EnterTripRecording(std::size_t index) {
  const std::string& path = trip.Recordings()[index].path;
  const int shownFormat = decoder.PicFormat;
  std::string error;
  if (!recording.Open(path, error) || !decoder.CheckSize(recording.File())) return false;
  NoteOpenedRecording(path);
  MpegFile = PathFromBytes(path);
  tripIndex = index;
  SetFormat(decoder.PicFormat);
  // A CIF picture covers only the middle of the area: nothing of a VGA one may stay beside it.
  if (decoder.PicFormat != shownFormat) Pic1->Clear();
  SetPlayCounter(true);
  ShowTripFileName(MpegFile);
  return true;
}

void Form1::ShowJoinLabel(const std::string& text) {
  if (text.empty()) return;
  lblTime->setText(QString::fromStdString(text));
  lblTime->setVisible(true);
  gapTimer_.start(kGapShownMs);
}

void Form1::EndGapLabel() {
  lblTime->setText(timeText_);
  lblTime->setVisible(lblSpeed->isVisible());
}

// ---------------------------------------------------------------- pictures

void Form1::SetFormat(int Format) {
  if (Format != kFormatVga && Format != kFormatCif) return;
  const int bottom = frameGeometry().y() + frameGeometry().height();
  const int decoration = frameGeometry().height() - height();
  Pic1->SetImageHeight(Format == kFormatVga ? kVgaImageHeight : kCifImageHeight);
  fraCmd->move(0, Pic1->height() + kCommandFrameGap);
  setFixedSize(kClientWidth, Pic1->height() + kBelowPictureArea);
  int top = bottom - (height() + decoration);
  if (Format == kFormatVga && top < 1) top = 0;
  move(x(), top);
}

bool Form1::ShowPic() {
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

bool Form1::ShowCurrentPicture() {
  const bool shown = chkGps->isChecked() ? (ShowPos(), true) : ShowPic();
  companions_->PictureShown(tripIndex ? static_cast<int>(*tripIndex) : 0, recording.PicPos, flatOutPlay_);
  return shown;
}

bool Form1::StepUp() { return recording.StepUp(decoder.PicBuf()) && ShowCurrentPicture(); }

bool Form1::StepDown() { return recording.StepDown(decoder.PicBuf()) && ShowCurrentPicture(); }

// ---------------------------------------------------------------- single steps and jumps

void Form1::cmdUp_Click() {
  if (Playing) return;
  if (StepUp()) {
    ActiveDownCmd();
  } else if (CrossInto(true)) {
    ActiveBothWays();
  } else {
    UpEnd();
  }
}

void Form1::cmdDown_Click() {
  if (StepDown()) {
    ActiveUpCmd();
  } else if (CrossInto(false)) {
    ActiveBothWays();
  } else {
    DownEnd();
  }
}

// After a step into a neighbouring recording both ways are open again, whatever the end
// rules of the one left behind had made unavailable.
void Form1::ActiveBothWays() {
  ActiveUpCmd();
  ActiveDownCmd();
}

void Form1::cmdUpE_Click() {
  UpEnd();
  if (!(recording.JumpToEnd(decoder.PicBuf()) && ShowCurrentPicture())) DownEnd();
}

void Form1::cmdDownE_Click() {
  DownEnd();
  if (!(recording.JumpToStart(decoder.PicBuf()) && ShowCurrentPicture())) UpEnd();
}

void Form1::cmdStop_Click() { Playing = false; }

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

// ---------------------------------------------------------------- play loops

void Form1::cmdUpF_Click() { PlayLoop(true, PlayMode::Normal, cmdUpF, QStringLiteral("UpFA")); }
void Form1::cmdDownF_Click() { PlayLoop(false, PlayMode::Normal, cmdDownF, QStringLiteral("DownFA")); }
void Form1::cmdUpFF_Click() { PlayLoop(true, PlayMode::Fast, cmdUpFF, QStringLiteral("UpFFA")); }
void Form1::cmdDownFF_Click() { PlayLoop(false, PlayMode::Fast, cmdDownFF, QStringLiteral("DownFFA")); }
void Form1::cmdUpFFF_Click() { PlayLoop(true, PlayMode::VeryFast, cmdUpFFF, QStringLiteral("UpFFFA")); }
void Form1::cmdDownFFF_Click() {
  PlayLoop(false, PlayMode::VeryFast, cmdDownFFF, QStringLiteral("DownFFFA"));
}

// The loop runs inside the click handler; other clicks are handled in its yields and reach
// it only through Playing (checked once per cycle, after the cycle's picture is shown) and
// UnloadPending.
void Form1::PlayLoop(bool up, PlayMode mode, PictureButton* button, const QString& runningKey) {
  if (Playing) {
    Playing = false;
    return;
  }
  Playing = true;
  playLoopRunning_ = true;
  flatOutPlay_ = mode != PlayMode::Normal;
  const auto loopEnds = qScopeGuard([this] { playLoopRunning_ = flatOutPlay_ = false; });
  UnActiveCmd();
  SetButtonPicture(button, runningKey);
  SetButtonPicture(cmdStop, QStringLiteral("Stop"));
  cmdStop->setFocus();
  for (;;) {
    QElapsedTimer cycle;
    cycle.start();
    if (!PlayCycle(up, mode) && !CrossInto(up)) {
      EndAtRecordingEnd(up);
      return;
    }
    if (!Playing) {
      EndAfterStop();
      return;
    }
    if (mode == PlayMode::Normal) {
      WaitForPace(cycle);
    } else if (mode == PlayMode::VeryFast) {
      Yield();
    }
  }
}

bool Form1::PlayCycle(bool up, PlayMode mode) {
  if (mode == PlayMode::VeryFast) {
    up ? recording.JumpForward(kVeryFastJump) : recording.JumpBack(kVeryFastJump);
  }
  const int searches = mode == PlayMode::Fast ? kFastPlayStarts : 1;
  for (int i = 0; i < searches; ++i) {
    if (!(up ? recording.FindStartUp() : recording.FindStartDown())) return false;
    if (mode == PlayMode::Fast) Yield();
  }
  return recording.ReadPicture(decoder.PicBuf()) && ShowCurrentPicture();
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

void Form1::EndAfterStop() {
  ActiveCmd();
  SetButtonPicture(cmdStop, QStringLiteral("StopU"));
  if (UnloadPending) {
    UnloadPending = false;
    close();
  }
}

// A close request that came in the cycle that met the end of the recording still closes.
void Form1::EndAtRecordingEnd(bool up) {
  if (up) {
    UpEnd();
  } else {
    DownEnd();
  }
  if (UnloadPending) {
    UnloadPending = false;
    close();
  }
}

// ---------------------------------------------------------------- button states

void Form1::ShowPlaybackButtons(unsigned sides, bool available) {
  for (const PlaybackButton& row : kPlaybackButtons) {
    if ((row.side & sides) == 0) continue;
    const QString key = QString::fromLatin1(row.key);
    SetButtonPicture(this->*row.button, available ? key : key + QLatin1Char('U'));
  }
}

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

// ---------------------------------------------------------------- position bar

void Form1::SetPlayCounter(bool Init) {
  if (Init) {
    fraCmd->shPlayWidth = 0;
    lblPlay->setText(QStringLiteral("0%"));
  } else {
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
  if (!recording.SeekTo(SeekTarget(fraCmd->shPlayWidth, fraCmd->shFile.trackWidth, recording.FileLen))) {
    UpEnd();
    return;
  }
  // A picture cut short by the end of the recording leaves the window as it was.
  if (!recording.ReadFrame(decoder.PicBuf())) return;
  if (!ShowCurrentPicture()) UpEnd();
}

// ---------------------------------------------------------------- GPS and map

void Form1::ShowNmea() {
  const NmeaDisplay display = ParseNmea(recording.NmeaLine);
  GpsValid = display.gpsValid;
  if (display.isGprmc) GpsOn();
  if (display.timeText) {
    timeText_ = QString::fromStdString(*display.timeText);
    if (!gapTimer_.isActive()) lblTime->setText(timeText_);
  }
  if (display.speedText) lblSpeed->setText(QString::fromStdString(*display.speedText));
  if (display.latText) LatText = *display.latText;
  if (display.lonText) LonText = *display.lonText;
}

void Form1::GpsOn() {
  lblSpeed->setVisible(true);
  lblTime->setVisible(true);
  chkGps->setVisible(true);
}

void Form1::GpsOff() {
  lblSpeed->setVisible(false);
  lblTime->setVisible(false);
  chkGps->setVisible(false);
}

void Form1::chkGps_Click() {
  if (chkGps->isChecked()) {
    SetFormat(kFormatVga);
    if (!MapPicture.isNull()) DrawMapRegion();
    ShowPos();
    shPoint->setVisible(true);
    return;
  }
  Pic1->Clear();
  Pic1->setVisible(true);
  shPoint->setVisible(false);
  SetFormat(decoder.PicFormat);
  if (!Playing && recording.ReReadCurrent(decoder.PicBuf())) ShowPic();
}

void Form1::DrawMapRegion() {
  // Copy only the region first: painting straight from the indexed map would convert all
  // 4096 x 4096 pixels on every redraw.
  const QImage region = MapPicture.copy(QRect(MapX, MapY, kMapViewWidth, kMapViewHeight));
  QPainter painter(&Pic1->Image());
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.drawImage(0, 0, region);
  painter.end();
  Pic1->update();
}

void Form1::ShowPos() {
  MapPositionInput input;
  input.LatText = LatText;
  input.LonText = LonText;
  input.GpsValid = GpsValid;
  input.mapLoaded = !MapPicture.isNull();
  input.MapX = MapX;
  input.MapY = MapY;
  input.calibration = MapCalibration{MapLat1, MapLon1, ScaleLat, ScaleLon};
  const std::string separator = QLocale().decimalPoint().toStdString();
  input.decimalSeparator = separator;
  const MapPositionResult result = ComputeShowPos(input);
  if (!result.onMap) {
    Pic1->setVisible(false);
    lblLat->setText(QString::fromStdString(result.latLabel));
    lblLon->setText(QString::fromStdString(result.lonLabel));
    return;
  }
  Pic1->setVisible(true);
  if (result.redraw) {
    MapX = result.MapX;
    MapY = result.MapY;
    DrawMapRegion();
  }
  Pic1->PlaceMarker(result.markerLeft, result.markerTop);
  shPoint->SetFillColour(result.markerRed ? QColor(255, 0, 0) : QColor(0, 0, 255));
}

// ---------------------------------------------------------------- exports

void Form1::cmdBmp_Click() {
  if (Playing) return;
  const std::optional<QString> chosen = platform_.ChooseFileToSave(SnapshotPreset(), QString::fromLatin1(kBmpFilter));
  if (!chosen || chosen->isEmpty()) return;
  BmpFileName = *chosen;
  const std::string target = PathToBytes(BmpFileName);
  const std::string error = WriteSnapshot(target);
  if (!error.empty()) {
    // The guard refused to write over the recording on screen: say so in the window's words.
    const std::optional<std::string> input = OpenInputAt(target);
    platform_.ShowMessage(input ? QStringLiteral("Nie można zapisać obrazu do oglądanego pliku: %1 (%2)")
                                      .arg(BmpFileName, PathFromBytes(*input))
                                : PathFromBytes(error),
                          MessageIcon::Critical);
    return;
  }
  platform_.WriteSetting(QStringLiteral("BmpFile"), BmpFileName);
}

// Before any snapshot was saved: the recording's name with the picture's GPS time.
QString Form1::SnapshotPreset() const {
  if (!BmpFileName.isEmpty() || MpegFile.isEmpty()) return BmpFileName;
  const std::optional<GpsFix> fix = ParseGprmc(recording.NmeaLine);
  return PathFromBytes(SuggestedSnapshotName(PathToBytes(MpegFile), fix ? fix->utc : std::string()));
}

// A 24-bit BMP, unless the name ends in .png or .jpg; every format goes through the guard.
std::string Form1::WriteSnapshot(const std::string& target) const {
  const std::string format = SnapshotFormat(target);
  if (format == "bmp") {
    const QImage bgr = Pic1->Image().convertToFormat(QImage::Format_BGR888);
    return WriteBmp24File(target, BgrImageView{bgr.width(), bgr.height(), bgr.constBits(), bgr.bytesPerLine(), false});
  }
  QByteArray encoded;
  QBuffer buffer(&encoded);
  buffer.open(QIODevice::WriteOnly);
  if (!Pic1->Image().save(&buffer, format.c_str(), kJpegQuality)) return target + ": cannot encode " + format;
  return WriteFileAtomically(target, {reinterpret_cast<const std::uint8_t*>(encoded.constData()),
                                      static_cast<std::size_t>(encoded.size())});
}

void Form1::PlaceCutLine(CutLine& line, std::int64_t position) {
  line.visible = true;
  line.x = CutLineX(fraCmd->shFile, position, recording.FileLen);
  fraCmd->update();
}

void Form1::ClearCutMarks() {
  CutStart = -1;
  CutEnd = -1;
  fraCmd->linCut1.visible = false;
  fraCmd->linCut2.visible = false;
  fraCmd->update();
  cmdSaveCut->setEnabled(false);
  cmdCut->SetPicture(QStringLiteral("1"), imglFlag.Picture(QStringLiteral("1")));
}

void Form1::cmdCut_Click() {
  const std::int64_t last = recording.File().LastPosition();
  if (CutStart == -1) {
    PlaceCutLine(fraCmd->linCut1, last);
    CutStart = recording.PicPos;
    cmdSaveCut->setEnabled(false);
    cmdCut->SetPicture(QStringLiteral("2"), imglFlag.Picture(QStringLiteral("2")));
  } else if (CutEnd == -1) {
    if (last <= CutStart) {
      platform_.Beep();
      return;
    }
    PlaceCutLine(fraCmd->linCut2, last);
    CutEnd = last;
    cmdSaveCut->setEnabled(true);
    cmdCut->SetPicture(QStringLiteral("3"), imglFlag.Picture(QStringLiteral("3")));
  } else {
    ClearCutMarks();
  }
}

void Form1::cmdSaveCut_Click() {
  if (Playing) return;
  const std::optional<QString> chosen = platform_.ChooseFileToSave(CutFileName, QString::fromLatin1(kCutFilter));
  if (!chosen || chosen->isEmpty()) return;
  CutFileName = *chosen;
  platform_.WriteSetting(QStringLiteral("Cut"), CutFileName);
  const FragmentResult result = SaveFragment(recording.File(), PathToBytes(openedPath_), CutStart, CutEnd,
                                             PathToBytes(CutFileName));
  if (!result.ok()) platform_.ShowMessage(PathFromBytes(result.message), MessageIcon::Exclamation);
}

void Form1::ExportCutToMp4() {
  if (Playing || CutEnd == -1) return;
  ExportMarkedStretch(this, platform_, {openedPath_, CutStart, CutEnd, PlayInterval});
}

}  // namespace rovena
