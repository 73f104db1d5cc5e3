// A monkey at the window: thousands of random clicks, bar drags, key presses, file choices
// and close requests against a Form1 that plays a real recording, offscreen. Every action is
// started from a zero-time timer, so actions also land inside the yields of running play
// loops, nested as deep as the random sequence takes them. After each action the window's
// state is checked; when no action is running any more (and so no play loop either), the
// idle state must be whole again.
//
// The run is seeded and bounded: ROVENA_MONKEY_SEED (default 20061230) picks the sequence,
// ROVENA_MONKEY_SECONDS (default 20) and ROVENA_MONKEY_EVENTS (default 20000) bound it. The
// play interval is so short that every wait yields exactly once, so a seed and an event
// count replay the very same run; a failure prints both.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <random>
#include <thread>

#include "gui_test_support.h"
#include "recording_fixture.h"

namespace rovena::test {
namespace {

long EnvironmentNumber(const char* name, long fallback) {
  const char* text = std::getenv(name);
  return text && *text ? std::strtol(text, nullptr, 10) : fallback;
}

// Aborts the run with the recent actions when the window's thread stops turning.
class Watchdog {
 public:
  explicit Watchdog(const std::deque<std::string>& recent) : recent_(recent), thread_([this] { Watch(); }) {}
  ~Watchdog() {
    stop_ = true;
    thread_.join();
  }
  void Beat() { lastBeat_ = Now(); }

 private:
  static int64_t Now() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
  }
  void Watch() {
    while (!stop_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      if (Now() - lastBeat_ > 30000) {
        std::fprintf(stderr, "The event loop stopped turning. Last actions:\n");
        for (const std::string& action : recent_) std::fprintf(stderr, "  %s\n", action.c_str());
        std::abort();
      }
    }
  }
  const std::deque<std::string>& recent_;
  std::atomic<int64_t> lastBeat_{Now()};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class Monkey {
 public:
  Monkey(Viewer& viewer, std::vector<QString> files, uint32_t seed)
      : viewer_(viewer), form_(*viewer.form), files_(std::move(files)), random_(seed), watchdog_(recent_) {}

  // Runs until the budget is spent and every play loop has unwound. Returns the number of
  // actions made.
  long Run(double seconds, long maxEvents) {
    seconds_ = seconds;
    maxEvents_ = maxEvents;
    clock_.start();
    QTimer::singleShot(0, &form_, [this] { Tick(); });
    while (!finished_ && !::testing::Test::HasFatalFailure()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(depth_, 0);
    return events_;
  }

  int deepest = 0;

 private:
  void Tick() {
    watchdog_.Beat();
    if (::testing::Test::HasFatalFailure()) {
      form_.Playing = false;
      finished_ = true;
      return;
    }
    if (events_ >= maxEvents_ || clock_.elapsed() > seconds_ * 1000) {
      // Out of budget: stop whatever plays; the loops unwind once they see it.
      if (!form_.Playing) {
        finished_ = true;
        return;
      }
      Remember("Stop (end of the run)");
      QTimer::singleShot(0, &form_, [this] { Tick(); });
      form_.cmdStop->click();
      return;
    }
    ++events_;
    // The next action is due at the next yield, which may come inside this one.
    QTimer::singleShot(0, &form_, [this] { Tick(); });
    deepest = std::max(deepest, ++depth_);
    Act();
    --depth_;
    CheckInvariants();
  }

  void Act() {
    const int choice = Pick(100);
    if (!form_.isVisible()) {
      Remember("show the window again");
      ShowWindow();
    } else if (choice < 45) {
      ClickPlaybackButton();
    } else if (choice < 58) {
      PressKey();
    } else if (choice < 72) {
      UseBar();
    } else if (choice < 77) {
      Remember("chkGps");
      form_.chkGps->click();
    } else if (choice < 83) {
      Remember("cmdCut");
      form_.cmdCut->click();
    } else if (choice < 86) {
      SaveSomething();
    } else if (choice < 89) {
      ChooseFile();
    } else if (choice < 91) {
      Remember("close request");
      form_.close();
    } else {
      Remember("yield");
      QCoreApplication::processEvents();
    }
  }

  void ClickPlaybackButton() {
    PictureButton* const buttons[] = {form_.cmdDownE, form_.cmdDownFFF, form_.cmdDownFF, form_.cmdDownF,
                                      form_.cmdDown,  form_.cmdStop,    form_.cmdUp,     form_.cmdUpF,
                                      form_.cmdUpFF,  form_.cmdUpFFF,   form_.cmdUpE};
    // Single steps more often than play, so the loops do not always run to an end.
    const int weights[] = {2, 1, 1, 1, 6, 4, 6, 1, 1, 1, 2};
    int pick = Pick(26);
    int i = 0;
    while (pick >= weights[i]) pick -= weights[i++];
    Remember(buttons[i]->PictureKey().toStdString() + " button");
    QTest::mouseClick(buttons[i], Qt::LeftButton);
  }

  void PressKey() {
    const Qt::Key keys[] = {Qt::Key_Right, Qt::Key_Left, Qt::Key_Space, Qt::Key_Home, Qt::Key_End, Qt::Key_Return};
    const Qt::Key key = keys[Pick(6)];
    Remember("key " + QKeySequence(key).toString().toStdString());
    QTest::keyClick(&form_, key);
  }

  // A press somewhere on the frame (mostly on the track), a few moves, a release.
  void UseBar() {
    CommandFrame* frame = form_.fraCmd;
    const auto point = [&] {
      const bool onTrack = Pick(4) != 0;
      const int x = onTrack ? 6 + Pick(frame->width() - 12) : Pick(frame->width());
      const int y = onTrack ? 24 + Pick(17) : Pick(frame->height());
      return QPointF(x, y);
    };
    const Qt::MouseButton button = Pick(5) == 0 ? Qt::RightButton : Qt::LeftButton;
    QPointF at = point();
    Remember("bar press at " + std::to_string(static_cast<int>(at.x())) + "," + std::to_string(static_cast<int>(at.y())));
    Send(frame, QEvent::MouseButtonPress, at, button, button);
    for (int moves = Pick(4); moves > 0; --moves) {
      at = point();
      Send(frame, QEvent::MouseMove, at, Qt::NoButton, button);
    }
    Send(frame, QEvent::MouseButtonRelease, at, button, Qt::NoButton);
  }

  static void Send(QWidget* to, QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent event(type, at, to->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(to, &event);
  }

  void SaveSomething() {
    const bool snapshot = Pick(2) == 0;
    if (Pick(2) == 0) {
      viewer_.platform.dialogAnswers.push_back(output_.filePath(snapshot ? "shot.bmp" : "cut.mpg"));
    }
    Remember(snapshot ? "cmdBmp" : "cmdSaveCut");
    (snapshot ? form_.cmdBmp : form_.cmdSaveCut)->click();
    viewer_.platform.dialogAnswers.clear();
  }

  void ChooseFile() {
    const QString name = files_[static_cast<size_t>(Pick(static_cast<int>(files_.size())))];
    viewer_.platform.dialogAnswers.push_back(name.isEmpty() ? std::optional<QString>() : std::optional<QString>(name));
    Remember("cmdFile choosing '" + name.toStdString() + "'");
    form_.cmdFile->click();
    viewer_.platform.dialogAnswers.clear();
  }

  void ShowWindow() {
    form_.show();
    form_.activateWindow();
  }

  void CheckInvariants() {
    const Recording& r = form_.player.CurrentRecording();
    // The jump to the end sets FileLen - 1 even when the file is empty or none is open.
    ASSERT_GE(r.PicPos, r.FileLen > 0 ? 0 : -1) << Context();
    ASSERT_LE(r.PicPos, r.FileLen) << Context();
    ASSERT_FALSE(form_.BarDragging) << Context();
    if (form_.Playing) {
      ASSERT_EQ(form_.cmdStop->PictureKey(), "Stop") << Context();
    }
    static const QRegularExpression percent(QStringLiteral("^(\\d|[1-9]\\d|100)%$"));
    ASSERT_TRUE(percent.match(form_.lblPlay->text()).hasMatch()) << form_.lblPlay->text().toStdString() << Context();
    if (depth_ > 0) return;
    // Nothing runs any more: no play, no close waiting, no button left showing play.
    ASSERT_FALSE(form_.Playing) << Context();
    ASSERT_FALSE(form_.UnloadPending) << Context();
    ASSERT_EQ(form_.cmdStop->PictureKey(), "StopU") << Context();
    for (PictureButton* b : {form_.cmdDownFFF, form_.cmdDownFF, form_.cmdDownF, form_.cmdUpF, form_.cmdUpFF, form_.cmdUpFFF}) {
      ASSERT_FALSE(b->PictureKey().endsWith('A')) << b->PictureKey().toStdString() << Context();
    }
  }

  int Pick(int n) { return static_cast<int>(random_() % static_cast<uint32_t>(n)); }

  void Remember(std::string action) {
    recent_.push_back("#" + std::to_string(events_) + " depth " + std::to_string(depth_) + ": " + std::move(action));
    if (recent_.size() > 12) recent_.pop_front();
  }

  std::string Context() const {
    std::string text = "\nafter action " + std::to_string(events_) + " (replay with ROVENA_MONKEY_EVENTS=" +
                       std::to_string(events_) + "); last actions:";
    for (const std::string& action : recent_) text += "\n  " + action;
    return text;
  }

  Viewer& viewer_;
  Form1& form_;
  std::vector<QString> files_;
  std::mt19937 random_;
  std::deque<std::string> recent_;
  Watchdog watchdog_;
  QTemporaryDir output_;
  QElapsedTimer clock_;
  double seconds_ = 0;
  long maxEvents_ = 0;
  long events_ = 0;
  int depth_ = 0;
  bool finished_ = false;
};

TEST(Monkey, RandomUseKeepsTheWindowConsistent) {
  const TestRecording cif = MakeTestRecording("monkey_cif", 320, 240, 30);
  const TestRecording vga = MakeTestRecording("monkey_vga", 640, 480, 8);
  // A cut-off copy, so that ends and refusals come up too.
  const std::string cut = TestDataDir() + "/monkey_cut.m1v";
  WriteFileAtomically(cut, std::vector<uint8_t>(cif.bytes.begin(), cif.bytes.begin() + static_cast<long>(cif.bytes.size() * 3 / 5)));
  const std::vector<QString> files = {QString::fromStdString(cif.path), QString::fromStdString(cif.path),
                                      QString::fromStdString(vga.path), QString::fromStdString(cut),
                                      QString::fromStdString(TestDataDir()), QStringLiteral("/nonexistent/monkey.m1v"),
                                      QString()};

  // A map whose calibration takes in the recordings' positions, so the map view scrolls too.
  Viewer viewer("PLAYSPEED1=0.000000001\nMAPLAT1=52.41674\nMAPLAT2=52.80114\nMAPLON1=20.79139\nMAPLON2=20.2325\n", true);
  viewer.Open(cif.path);
  viewer.form->show();
  viewer.form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(viewer.form.get()));

  const auto seed = static_cast<uint32_t>(EnvironmentNumber("ROVENA_MONKEY_SEED", 20061230));
  Monkey monkey(viewer, files, seed);
  const long events = monkey.Run(static_cast<double>(EnvironmentNumber("ROVENA_MONKEY_SECONDS", 20)),
                                 EnvironmentNumber("ROVENA_MONKEY_EVENTS", 20000));
  std::printf("monkey: seed %u, %ld actions, play loops nested up to %d deep\n", seed, events, monkey.deepest);
  EXPECT_GT(events, 1000);

  // Whatever happened, the window still works: open the recording and step to its second picture.
  viewer.form->show();
  viewer.Open(cif.path);
  viewer.form->cmdUp_Click();
  viewer.form->cmdUp_Click();
  EXPECT_EQ(viewer.form->player.CurrentRecording().PicPos, cif.picturePositions[1]);
  if (!viewer.form->chkGps->isChecked()) viewer.form->chkGps->click();
  viewer.form->cmdUp_Click();
  EXPECT_TRUE(viewer.form->Pic1->isVisible()) << "the position lies on the map";
}

}  // namespace
}  // namespace rovena::test
