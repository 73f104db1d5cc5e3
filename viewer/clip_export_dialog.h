#pragma once
// The window's MP4 export of the marked stretch (Ctrl+E, and the context menu of the
// save-fragment button): asks for the options and the file name, then exports on a worker
// thread with its own decoders and file handles, never the window's recording, behind a
// cancellable progress dialog. The window stays responsive; Cancel stops within a picture and
// leaves no file behind. When done, it names the clip and offers to open its folder.

#include <QString>
#include <cstdint>

class QWidget;

namespace rovena {

class Platform;

struct MarkedStretch {
  QString recordingPath;
  std::int64_t cutStart = -1;  // the window's marks (CutStart, CutEnd)
  std::int64_t cutEnd = -1;
  float playInterval = 0.1f;
};

// The title of the progress dialog, which the tests look for.
inline const char* const kExportDialogTitle = "Eksport do MP4…";

void ExportMarkedStretch(QWidget* parent, Platform& platform, const MarkedStretch& stretch);

}  // namespace rovena
