#include "gui_test_support.h"

#include <QFile>
#include <QTimer>
#include <fstream>

#include "recording_fixture.h"
#include "tools/recording_writer.h"

namespace rovena::test {

namespace {

std::vector<std::int64_t> FindCodes(const std::vector<std::uint8_t>& bytes, std::uint8_t value) {
  std::vector<std::int64_t> positions;
  for (size_t i = 3; i < bytes.size(); ++i) {
    if (bytes[i - 3] == 0 && bytes[i - 2] == 0 && bytes[i - 1] == 1 && bytes[i] == value) {
      positions.push_back(static_cast<std::int64_t>(i) + 1);
    }
  }
  return positions;
}

// Minimal GIF writer: 8-bit codes sent as 9-bit LZW codes with a clear code often enough
// that the code width never grows, which every decoder reads.
std::vector<std::uint8_t> EncodeGif(int size, const std::function<int(int, int)>& indexAt) {
  std::vector<std::uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
  auto put16 = [&out](int v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
  };
  put16(size);
  put16(size);
  out.insert(out.end(), {0xF7, 0, 0});
  for (int i = 0; i < 256; ++i) out.insert(out.end(), {std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 7)});
  out.push_back(0x2C);
  put16(0);
  put16(0);
  put16(size);
  put16(size);
  out.push_back(0);
  out.push_back(8);  // minimum code size
  std::vector<std::uint8_t> data;
  std::uint32_t bits = 0;
  int bitCount = 0;
  auto putCode = [&](int code) {
    bits |= static_cast<std::uint32_t>(code) << bitCount;
    bitCount += 9;
    while (bitCount >= 8) {
      data.push_back(static_cast<std::uint8_t>(bits & 0xFF));
      bits >>= 8;
      bitCount -= 8;
    }
  };
  int sinceClear = 0;
  putCode(256);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      if (sinceClear == 250) {
        putCode(256);
        sinceClear = 0;
      }
      putCode(indexAt(x, y));
      ++sinceClear;
    }
  }
  putCode(257);
  if (bitCount > 0) data.push_back(static_cast<std::uint8_t>(bits & 0xFF));
  for (size_t i = 0; i < data.size(); i += 255) {
    const size_t n = std::min<size_t>(255, data.size() - i);
    out.push_back(static_cast<std::uint8_t>(n));
    out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(i),
               data.begin() + static_cast<std::ptrdiff_t>(i + n));
  }
  out.push_back(0);
  out.push_back(0x3B);
  return out;
}

}  // namespace

TestRecording MakeTestRecording(const std::string& name, int width, int height, int count,
                                const std::function<std::string(int)>& sentenceFor) {
  RecordingWriter writer(width, height);
  for (int i = 0; i < count; ++i) {
    writer.AddPicture(MakeTestPattern(width, height, i), sentenceFor ? sentenceFor(i) : MakeGprmcSentence(i));
  }
  TestRecording recording;
  recording.path = FolderOfItsOwn("gui_" + name) + "/gui_" + name + ".m1v";
  recording.bytes = writer.Bytes();
  recording.picturePositions = FindCodes(recording.bytes, 0x00);
  recording.pictureEnds = FindCodes(recording.bytes, 0xB7);
  WriteFileAtomically(recording.path, recording.bytes);
  return recording;
}

int MapIndexAt(int x, int y) { return (x / 16 + 3 * (y / 16)) % 256; }

std::string TestMapPath() {
  const std::string path = TestDataDir() + "/gui_map4096.gif";
  if (!QFile::exists(QString::fromStdString(path))) {
    WriteFileAtomically(path, EncodeGif(4096, MapIndexAt));
  }
  return path;
}

ProgramFolder::ProgramFolder() = default;

void ProgramFolder::WriteIni(const std::string& content) {
  std::ofstream(dir_.filePath(QStringLiteral("Rovena.ini")).toStdString(), std::ios::binary) << content;
}

void ProgramFolder::LinkMap() {
  QFile::link(QString::fromStdString(TestMapPath()), dir_.filePath(QStringLiteral("map.gif")));
}

Viewer::Viewer(const std::string& iniContent, bool withMap, const QString& commandLine) {
  if (!iniContent.empty()) folder.WriteIni(iniContent);
  if (withMap) folder.LinkMap();
  form = std::make_unique<Form1>(platform, folder.Path(), commandLine);
  form->Form_Load();
}

void Viewer::Open(const std::string& path) {
  platform.dialogAnswers.push_back(QString::fromStdString(path));
  form->cmdFile_Click();
}

void AtNextYield(QObject* context, std::function<void()> action) {
  QTimer::singleShot(0, context, std::move(action));
}

QStringList Keys(const Form1& f) {
  QStringList keys;
  for (const PictureButton* b : {f.cmdDownE, f.cmdDownFFF, f.cmdDownFF, f.cmdDownF, f.cmdDown, f.cmdStop, f.cmdUp,
                                 f.cmdUpF, f.cmdUpFF, f.cmdUpFFF, f.cmdUpE}) {
    keys << b->PictureKey();
  }
  return keys;
}

const QStringList kAllAvailable = {"DownE", "DownFFF", "DownFF", "DownF", "Down", "Stop",
                                   "Up",    "UpF",     "UpFF",   "UpFFF", "UpE"};
const QStringList kAllUnavailable = {"DownEU", "DownFFFU", "DownFFU", "DownFU", "DownU", "StopU",
                                     "UpU",    "UpFU",     "UpFFU",   "UpFFFU", "UpEU"};
const QStringList kAtEnd = {"DownE", "DownFFF", "DownFF", "DownF", "Down", "StopU",
                            "UpU",   "UpFU",    "UpFFU", "UpFFFU", "UpEU"};
const QStringList kAtStart = {"DownEU", "DownFFFU", "DownFFU", "DownFU", "DownU", "StopU",
                              "Up",     "UpF",      "UpFF",    "UpFFF",  "UpE"};

}  // namespace rovena::test
