// The window's keys, in one table from which the shortcuts, the playback buttons' tool tips
// and the F1 help are all made; the mouse wheel over the picture and its context menu.
#include <QCheckBox>
#include <QMenu>
#include <QShortcut>
#include <QWheelEvent>

#include "viewer/main_window.h"

namespace rovena {

namespace {

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
  Pic1->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(Pic1, &QWidget::customContextMenuRequested, this, &Form1::ShowPictureMenu);
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

}  // namespace rovena
