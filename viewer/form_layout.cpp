// Form1's controls: where each sits, its colours and fonts, and the window's size for each
// picture format.
#include <QCheckBox>
#include <QMenu>

#include "viewer/clip_export_dialog.h"
#include "viewer/main_window.h"

namespace rovena {

namespace {

// The picture area is 640 pixels wide plus its border; the command frame sits 6 pixels (90
// twips) below it; the client area is 145 pixels taller than the picture area.
constexpr int kCommandFrameGap = 6;
constexpr int kBelowPictureArea = 145;
constexpr int kClientWidth = 642;
constexpr int kVgaImageHeight = 480;
constexpr int kCifImageHeight = 240;

const QColor kWindowGrey(128, 128, 128);
const QColor kDarkGrey(64, 64, 64);
const QColor kBarYellow(192, 192, 0);
const QColor kGpsGreen(0, 192, 0);

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

QRect TwipsRect(int left, int top, int width, int height) {
  return QRect(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height));
}

QLabel* MakeLabel(QWidget* parent, const QRect& pixels, const QString& caption) {
  auto* label = new QLabel(caption, parent);
  label->setGeometry(pixels);
  label->setAttribute(Qt::WA_TransparentForMouseEvents);
  return label;
}

}  // namespace

void Form1::CreateControls() {
  setAutoFillBackground(true);
  QPalette grey = palette();
  grey.setColor(QPalette::Window, kWindowGrey);
  setPalette(grey);
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
  setFixedSize(kClientWidth, Pic1->height() + kBelowPictureArea);
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
  // Continuous trip's marker takes the right end of the file label's band, which a name cut
  // to its last 37 characters and the trip place never reach.
  lblContinuous = MakeLabel(fraCmd, TwipsRect(5835, 840, 900, 255), QStringLiteral("⇉ ciągła"));
  lblContinuous->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  for (QLabel* label : {lblPlay, lblFile, lblContinuous}) {
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

PictureButton* Form1::MakeButton(int leftTwips, int topTwips, int widthTwips, int heightTwips,
                                 void (Form1::*handler)()) {
  auto* button = new PictureButton(fraCmd);
  button->setGeometry(TwipsRect(leftTwips, topTwips, widthTwips, heightTwips));
  connect(button, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
  return button;
}

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

}  // namespace rovena
