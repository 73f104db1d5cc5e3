// The GPS labels, the time label's gap or overlap, the check box that switches to the map, and the map
// itself: loaded at start-up, the view scrolled to follow the vehicle.
#include <QBuffer>
#include <QCheckBox>
#include <QImageReader>
#include <QLocale>
#include <QPainter>
#include <filesystem>

#include "core/nmea.h"
#include "core/recording_file.h"
#include "viewer/local_path.h"
#include "viewer/main_window.h"

namespace rovena {

namespace {

// How long the time label shows the gap or overlap a step has just crossed.
constexpr int kGapShownMs = 2000;
// Reading limit for map.gif: far above a real one, low enough that a wrong file put there
// cannot exhaust memory.
constexpr std::size_t kLargestMapFile = 256 << 20;

}  // namespace

void Form1::ShowNmea() {
  const NmeaDisplay display = ParseNmea(player.CurrentRecording().NmeaLine);
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
  SetFormat(player.Decoder().PicFormat);
  if (!Playing && player.RereadCurrent()) ShowPic();
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
  input.calibration = Map;
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

void Form1::ShowJoinLabel(const QString& text) {
  if (text.isEmpty()) return;
  lblTime->setText(text);
  lblTime->setVisible(true);
  gapTimer_.start(kGapShownMs);
}

void Form1::EndGapLabel() {
  lblTime->setText(timeText_);
  lblTime->setVisible(lblSpeed->isVisible());
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

}  // namespace rovena
