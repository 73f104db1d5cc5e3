#include "viewer/clip_export_dialog.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QProgressDialog>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <thread>

#include "export/clip_export.h"
#include "viewer/export_options_dialog.h"
#include "viewer/local_path.h"
#include "export/picture_source.h"
#include "viewer/platform.h"
#include "viewer/save_refusal.h"

namespace rovena {
namespace {

const char kMp4Filter[] = "Wideo MP4 (*.mp4)|*.mp4";
constexpr int kPollMs = 50;

// What the worker reports to the window; written by the worker, read by the window's timer.
struct ExportRun {
  std::atomic<bool> cancel{false};
  std::atomic<bool> finished{false};
  std::atomic<std::int64_t> done{0};
  std::atomic<std::int64_t> total{0};
  bool stretchFound = false;
  exporting::ExportResult result;  // read only after the worker has been joined
};

void Work(ExportRun& run, exporting::ExportRequest request, const MarkedStretch& marked) {
  const auto keepGoing = [&run] { return !run.cancel; };
  exporting::SourceRange range{PathToBytes(marked.recordingPath)};
  run.stretchFound =
      exporting::PicturesBetweenMarks(range.path, marked.cutStart, marked.cutEnd, range.from, range.to, keepGoing);
  request.ranges = {range};
  if (run.stretchFound)
    run.result = exporting::ExportClip(request, [&run](std::int64_t done, std::int64_t total) {
      run.done = done;
      run.total = total;
      return !run.cancel;
    });
  run.finished = true;
}

// Runs the dialog until the worker is done; true when the user cancelled.
bool ShowProgressUntilDone(QWidget* parent, ExportRun& run, const QString& clip) {
  const QString title = QString::fromUtf8(kExportDialogTitle);
  QProgressDialog dialog(QFileInfo(clip).fileName(), QStringLiteral("Anuluj"), 0, 0, parent);
  dialog.setWindowTitle(title);
  // Room for the whole title beside the title bar's icon and buttons.
  dialog.setMinimumWidth(dialog.fontMetrics().horizontalAdvance(title) + 160);
  dialog.setWindowModality(Qt::WindowModal);
  dialog.show();  // modal at once, so nothing in the window changes meanwhile
  QEventLoop loop;
  // The worker stops after the picture it is on; waiting for that in join keeps the window
  // from taking input while the dialog is already gone.
  QObject::connect(&dialog, &QProgressDialog::canceled, &loop, [&] {
    run.cancel = true;
    loop.quit();
  });
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (run.total > 0) {
      dialog.setMaximum(static_cast<int>(run.total));
      dialog.setValue(static_cast<int>(run.done));
    }
    if (run.finished) loop.quit();
  });
  poll.start(kPollMs);
  loop.exec();
  return run.cancel;
}

// Why nothing was written; empty when the clip was.
QString FailureMessage(const ExportRun& run, const exporting::ExportRequest& request, const QString& shownPath) {
  if (!run.stretchFound) return QStringLiteral("Nie można odnaleźć zaznaczonego fragmentu w pliku.");
  if (run.result.error.empty()) return {};
  // The guard refused a file of the set: name the recording it would have replaced.
  if (auto refusal = InputRefusal(QStringLiteral("eksportu"), exporting::ExportFiles(request.output, request.sidecars),
                                  shownPath))
    return *refusal;
  return QStringLiteral("Eksport do MP4 nie powiódł się: ") + PathFromBytes(run.result.error);
}

QString DoneMessage(const ExportRun& run, const QString& clip) {
  QString message = QStringLiteral("Zapisano klip:\n") + clip;
  QString numbers;
  for (const exporting::DamagedPicture& picture : run.result.damaged)
    numbers += (numbers.isEmpty() ? "" : ", ") + QString::number(picture.number);
  if (!numbers.isEmpty()) message += QStringLiteral("\n\nUszkodzone obrazy pominięto (pokazano poprzedni): ") + numbers;
  return message;
}

// The save dialog asked only about the clip; the subtitles, GPX and record beside it are
// replaced with it, so ask about those that exist too.
bool SidecarsMayBeReplaced(Platform& platform, const std::string& clip, bool sidecars) {
  QStringList existing;
  for (const std::string& file : exporting::ExportFiles(clip, sidecars)) {
    std::error_code error;
    if (file != clip && std::filesystem::exists(file, error)) existing << PathFromBytes(file);
  }
  if (existing.isEmpty()) return true;
  return platform.AskYesNo(QStringLiteral("Obok klipu są już pliki o tej nazwie:\n%1\nZastąpić je?")
                               .arg(existing.join(QChar('\n'))),
                           MessageIcon::Exclamation);
}

}  // namespace

void ExportMarkedStretch(QWidget* parent, Platform& platform, const MarkedStretch& marked) {
  exporting::ExportRequest request;
  {
    ExportOptionsDialog options(parent, platform);
    if (!platform.RunDialog(options)) return;
    options.Apply(request);
  }
  const QFileInfo source(marked.recordingPath);
  const QString preset = source.dir().filePath(source.completeBaseName() + QStringLiteral(".mp4"));
  const std::optional<QString> chosen = platform.ChooseFileToSave(preset, QString::fromLatin1(kMp4Filter));
  if (!chosen || chosen->isEmpty()) return;
  const std::string clip = PathToBytes(*chosen);
  // A recording of the open trip is refused before anyone is asked to replace it.
  if (auto refusal = InputRefusal(QStringLiteral("eksportu"), exporting::ExportFiles(clip, request.sidecars),
                                  marked.recordingPath)) {
    platform.ShowMessage(*refusal, MessageIcon::Exclamation);
    return;
  }
  if (!SidecarsMayBeReplaced(platform, clip, request.sidecars)) return;

  request.output = clip;
  request.playInterval = marked.playInterval;
  request.jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  request.program = "Rovena";
  request.arguments = {"Rovena", "Ctrl+E"};
  request.ifExists = IfExists::Replace;  // the save dialog and the question above have asked
  ExportRun run;
  std::thread worker(Work, std::ref(run), request, std::cref(marked));
  const bool cancelled = ShowProgressUntilDone(parent, run, *chosen);
  worker.join();
  if (cancelled) return;  // the export removed whatever it had begun
  if (const QString failure = FailureMessage(run, request, marked.recordingPath); !failure.isEmpty()) {
    platform.ShowMessage(failure, MessageIcon::Exclamation);
    return;
  }
  if (platform.OfferAction(DoneMessage(run, *chosen), MessageIcon::Information, QStringLiteral("Otwórz folder")))
    platform.OpenFolder(QFileInfo(*chosen).absolutePath());
}

}  // namespace rovena
