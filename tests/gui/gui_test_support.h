#pragma once
// Shared pieces of the GUI tests: small recordings made with the recording writer, a
// program folder with an optional Rovena.ini and map.gif, and a Form1 wired to the
// scripted platform.

#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "viewer/main_window.h"
#include "scripted_platform.h"

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace rovena::test {

struct TestRecording {
  std::string path;
  std::vector<std::uint8_t> bytes;
  std::vector<std::int64_t> picturePositions;  // PicPos of each picture (1-based, the 00)
  std::vector<std::int64_t> pictureEnds;       // position of each picture's last byte (B7)
};

// A recording of `count` test-pattern pictures, each with the sentence sentenceFor(index)
// (MakeGprmcSentence when not given). Cached under the test data folder by name.
TestRecording MakeTestRecording(const std::string& name, int width, int height, int count,
                                const std::function<std::string(int)>& sentenceFor = {});

// A 4096 x 4096 indexed GIF whose pixel (x, y) has palette index MapIndexAt(x, y).
std::string TestMapPath();
int MapIndexAt(int x, int y);

// A folder standing in for the program's own folder.
class ProgramFolder {
 public:
  ProgramFolder();
  void WriteIni(const std::string& content);
  void LinkMap();
  QString Path() const { return dir_.path(); }

 private:
  QTemporaryDir dir_;
};

// A Form1 with a scripted platform and its own program folder; not shown.
struct Viewer {
  explicit Viewer(const std::string& iniContent = "PLAYSPEED1=0.001\nMAPLAT1=52.41674\nMAPLAT2=52.80114\n"
                                                  "MAPLON1=20.79139\nMAPLON2=20.2325\n",
                  bool withMap = false, const QString& commandLine = QString());
  // Opens a recording as if chosen in the open dialog.
  void Open(const std::string& path);

  ScriptedPlatform platform;
  ProgramFolder folder;
  std::unique_ptr<Form1> form;
};

// The picture keys of the eleven playback buttons, left to right, and the sets the
// button-state operations leave.
QStringList Keys(const Form1& f);
extern const QStringList kAllAvailable;
extern const QStringList kAllUnavailable;
extern const QStringList kAtEnd;    // Up buttons and Stop unavailable
extern const QStringList kAtStart;  // Down buttons and Stop unavailable

// Calls `action` at the next yield of the running play loop (once), unless `context` is
// gone by then.
void AtNextYield(QObject* context, std::function<void()> action);

}  // namespace rovena::test
