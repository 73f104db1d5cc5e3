// The program's keys and mouse actions, in one table from which the shortcuts of all three
// windows, the playback buttons' tool tips and the F1 help are made; the mouse wheel over the
// picture and the picture's context menu.
#include <QCheckBox>
#include <QMenu>
#include <QShortcut>
#include <QWheelEvent>

#include "viewer/main_window.h"
#include "viewer/picture_window.h"
#include "viewer/route_window.h"

namespace rovena {

// The windows a row works in: the main window's keys work in its companions too, so the
// user can step and play from a full-screen picture or from the route.
enum class KeyScope { EveryWindow, RouteWindow, PictureWindow };

namespace {

struct KeyBinding {
  QKeyCombination keys;      // none for a mouse action, which its widget handles itself
  const char* keyName;       // as the tool tip and the help name it
  const char* description;   // Polish, as the user reads it
  void (Form1::*action)() = nullptr;
  PictureButton* Form1::*button = nullptr;  // the playback button doing the same, if any
  KeyScope scope = KeyScope::EveryWindow;
};

constexpr QKeyCombination kMouse{};

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
    {kMouse, "Kółko myszy nad obrazem", "Poprzedni / następny obraz"},
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
    {Qt::Key_F11, "F11", "Powiększony obraz na pełnym ekranie", &Form1::TogglePictureFullScreen},
    {kMouse, "Prawy przycisk nad obrazem", "Menu: trasa, powiększony obraz, ciągła podróż"},
    {Qt::Key_F1, "F1", "Lista klawiszy", &Form1::ShowKeyHelp},

    {Qt::Key_F, "F", "Śledzenie pojazdu (mapa idzie za znacznikiem)", &Form1::FollowVehicle, nullptr,
     KeyScope::RouteWindow},
    {Qt::Key_C, "C", "Cała trasa w oknie", &Form1::ShowWholeRoute, nullptr, KeyScope::RouteWindow},
    {Qt::Key_N, "N", "Następne zdarzenie", &Form1::NextEvent, nullptr, KeyScope::RouteWindow},
    {Qt::SHIFT | Qt::Key_N, "Shift+N", "Poprzednie zdarzenie", &Form1::PreviousEvent, nullptr, KeyScope::RouteWindow},
    {Qt::Key_Escape, "Esc", "Zamknięcie okna trasy", &Form1::CloseRouteWindow, nullptr, KeyScope::RouteWindow},
    {kMouse, "Kółko myszy nad mapą", "Powiększenie / pomniejszenie wokół wskaźnika", nullptr, nullptr,
     KeyScope::RouteWindow},
    {kMouse, "Przeciąganie mapy", "Przesunięcie mapy (wyłącza śledzenie)", nullptr, nullptr, KeyScope::RouteWindow},
    {kMouse, "Kliknięcie trasy lub paska prędkości", "Pokazanie tego obrazu", nullptr, nullptr,
     KeyScope::RouteWindow},
    {kMouse, "Wskaźnik nad trasą lub paskiem prędkości", "Czas, prędkość i nagranie", nullptr, nullptr,
     KeyScope::RouteWindow},
    {kMouse, "Prawy przycisk nad mapą", "Zdarzenia trasy; przejazdy w tym miejscu (z archiwum)", nullptr, nullptr,
     KeyScope::RouteWindow},

    {Qt::Key_Escape, "Esc", "Wyjście z pełnego ekranu, potem zamknięcie okna", &Form1::LeavePictureWindow, nullptr,
     KeyScope::PictureWindow},
    {kMouse, "Podwójne kliknięcie", "Pełny ekran / okno", nullptr, nullptr, KeyScope::PictureWindow},
    {kMouse, "Lewy przycisk przytrzymany", "Lupa (powiększenie 3×) wokół wskaźnika", nullptr, nullptr,
     KeyScope::PictureWindow},
    {Qt::Key_R, "R", "Przegląd ramek do zasłonięcia: otwarcie pliku ramek / zakończenie", &Form1::ToggleReview, nullptr,
     KeyScope::PictureWindow},
    {Qt::SHIFT | Qt::Key_R, "Shift+R", "Przegląd ramek bez pliku (nowy plik ramek)", &Form1::StartEmptyReview, nullptr,
     KeyScope::PictureWindow},
    {kMouse, "Przeciąganie (przegląd)", "Nowa ramka", nullptr, nullptr, KeyScope::PictureWindow},
    {kMouse, "Kliknięcie ramki (przegląd)", "Zaznaczenie ramki", nullptr, nullptr, KeyScope::PictureWindow},
    {kMouse, "Prawy przycisk przytrzymany (przegląd)", "Lupa", nullptr, nullptr, KeyScope::PictureWindow},
    {Qt::Key_Delete, "Delete", "Usunięcie zaznaczonej ramki (przegląd)", &Form1::RemoveSelectedBox, nullptr,
     KeyScope::PictureWindow},
    {Qt::Key_1, "1", "Twarz: rodzaj zaznaczonej i następnej ramki (przegląd)", &Form1::BoxKindFace, nullptr,
     KeyScope::PictureWindow},
    {Qt::Key_2, "2", "Tablica rejestracyjna: rodzaj zaznaczonej i następnej ramki (przegląd)", &Form1::BoxKindPlate,
     nullptr, KeyScope::PictureWindow},
    {Qt::Key_3, "3", "Inne: rodzaj zaznaczonej i następnej ramki (przegląd)", &Form1::BoxKindOther, nullptr,
     KeyScope::PictureWindow},
    {Qt::Key_P, "P", "Ramki poprzedniego obrazu na ten obraz (przegląd)", &Form1::CopyPreviousBoxes, nullptr,
     KeyScope::PictureWindow},
    {Qt::Key_Return, "Enter", "Obraz przejrzany, następny obraz (przegląd)", &Form1::ReviewedAndNext, nullptr,
     KeyScope::PictureWindow},
    {Qt::SHIFT | Qt::Key_S, "Shift+S", "Zapis pliku ramek (przegląd)", &Form1::SaveReview, nullptr,
     KeyScope::PictureWindow},
};

const char* ScopeHeading(KeyScope scope) {
  switch (scope) {
    case KeyScope::EveryWindow: return "W każdym oknie programu:";
    case KeyScope::RouteWindow: return "W oknie trasy (M):";
    case KeyScope::PictureWindow: return "W oknie powiększonego obrazu (Z):";
  }
  return "";
}

}  // namespace

// The window's own keys. The companions get theirs when they are first made (EquipCompanion).
void Form1::CreateShortcuts() {
  AddShortcuts(this, KeyScope::EveryWindow);
  for (const KeyBinding& binding : kKeyBindings)
    if (binding.button)
      (this->*binding.button)->setToolTip(QStringLiteral("%1 (%2)").arg(QString::fromUtf8(binding.description),
                                                                         QString::fromUtf8(binding.keyName)));
  Pic1->installEventFilter(this);
  Pic1->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(Pic1, &QWidget::customContextMenuRequested, this, &Form1::ShowPictureMenu);
}

// The rows of every window and those of `ownScope` become shortcuts of `window`.
void Form1::AddShortcuts(QWidget* window, KeyScope ownScope) {
  for (const KeyBinding& binding : kKeyBindings) {
    const bool ownRow = binding.scope == KeyScope::EveryWindow || binding.scope == ownScope;
    if (!binding.action || !ownRow) continue;
    auto* shortcut = new QShortcut(QKeySequence(binding.keys), window);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, [this, action = binding.action] { (this->*action)(); });
  }
}

// A companion window answers the same keys, and the wheel over the enlarged picture steps as
// it does over the picture area.
void Form1::EquipCompanion(QWidget* window) {
  const bool route = window == companions_->Route();
  AddShortcuts(window, route ? KeyScope::RouteWindow : KeyScope::PictureWindow);
  if (!route) window->installEventFilter(this);
}

void Form1::PlayOrStop() { Playing ? cmdStop_Click() : cmdUpF_Click(); }

void Form1::ToggleGpsBox() {
  if (chkGps->isVisible()) chkGps->click();
}

void Form1::ToggleRouteWindow() { companions_->ToggleRoute(); }
void Form1::TogglePictureWindow() { companions_->TogglePicture(); }
void Form1::TogglePictureFullScreen() { companions_->TogglePictureFullScreen(); }

void Form1::FollowVehicle() {
  if (RouteWindow* route = companions_->Route()) route->FollowVehicle();
}

void Form1::ShowWholeRoute() {
  if (RouteWindow* route = companions_->Route()) route->ShowWholeRoute();
}

void Form1::NextEvent() {
  if (RouteWindow* route = companions_->Route()) route->GoToEvent(true);
}

void Form1::PreviousEvent() {
  if (RouteWindow* route = companions_->Route()) route->GoToEvent(false);
}

void Form1::CloseRouteWindow() {
  if (RouteWindow* route = companions_->Route()) route->hide();
}

void Form1::LeavePictureWindow() {
  if (PictureWindow* picture = companions_->Picture()) picture->LeaveFullScreenOrClose();
}

void Form1::ShowKeyHelp() {
  QString text = QStringLiteral("Klawisze i mysz:\n");
  for (const KeyScope scope : {KeyScope::EveryWindow, KeyScope::RouteWindow, KeyScope::PictureWindow}) {
    text += QStringLiteral("\n%1\n").arg(QString::fromUtf8(ScopeHeading(scope)));
    for (const KeyBinding& binding : kKeyBindings)
      if (binding.scope == scope)
        text += QStringLiteral("%1 – %2\n").arg(QString::fromUtf8(binding.keyName), QString::fromUtf8(binding.description));
  }
  platform_.ShowMessage(text, MessageIcon::Information);
}

// The mouse wheel over the picture (here or enlarged) steps: towards the user (down) is the
// next picture.
bool Form1::eventFilter(QObject* watched, QEvent* event) {
  const bool picture = watched == Pic1 || watched == companions_->Picture();
  if (!picture || event->type() != QEvent::Wheel) return QWidget::eventFilter(watched, event);
  const int delta = static_cast<QWheelEvent*>(event)->angleDelta().y();
  if (delta < 0) cmdUp_Click();
  if (delta > 0) cmdDown_Click();
  return true;
}

void Form1::ShowPictureMenu(const QPoint& at) {
  QMenu menu(this);
  menu.addAction(QStringLiteral("Trasa na mapie\tM"), [this] { companions_->ToggleRoute(); });
  menu.addAction(QStringLiteral("Powiększony obraz\tZ"), [this] { companions_->TogglePicture(); });
  QAction* continuous = menu.addAction(QStringLiteral("Ciągła podróż\tT"), this, &Form1::ToggleContinuousTrip);
  continuous->setCheckable(true);
  continuous->setChecked(player.ContinuousTrip());
  menu.exec(Pic1->mapToGlobal(at));
}

}  // namespace rovena
