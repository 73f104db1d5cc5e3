// The real Qt dialogs behind the platform seam: the open dialog lists recordings whatever the
// case of their names while its filter text stays the window's, and Qt's own texts are Polish.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QListView>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include "recording_fixture.h"
#include "scratch_dir.h"
#include "viewer/platform.h"

namespace rovena::test {
namespace {

// The names the open dialog lists once it has read the folder; the dialog is then cancelled.
QStringList NamesListed(QtPlatform& platform, const QString& folder, QString& filterShown) {
  QStringList names;
  QTimer poll;
  poll.callOnTimeout([&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    const QListView* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
    const QModelIndex root = list->rootIndex();
    if (list->model()->rowCount(root) == 0) return;
    for (int row = 0; row < list->model()->rowCount(root); ++row)
      names << list->model()->index(row, 0, root).data().toString();
    filterShown = dialog->selectedNameFilter();
    dialog->reject();
  });
  poll.start(20);
  EXPECT_FALSE(platform.ChooseFileToOpen(folder + QStringLiteral("/"), QStringLiteral("*.M1V (MPEG-1)|*.M1V")));
  names.sort();
  return names;
}

TEST(Dialogs, TheOpenDialogListsRecordingsOfAnyCase) {
  ScratchDir dir("rovena_dialogs");
  for (const char* name : {"a.M1V", "b.m1v", "c.M1v", "notes.txt"}) WriteFileAtomically(dir.File(name), {});
  QtPlatform platform;
  QString filterShown;
  EXPECT_EQ(NamesListed(platform, QString::fromStdString(dir.Path().string()), filterShown),
            (QStringList{"a.M1V", "b.m1v", "c.M1v"}));
  EXPECT_EQ(filterShown, "*.M1V (MPEG-1) (*.M1V)");
}

TEST(Dialogs, QtsOwnTextsArePolish) {
  const std::unique_ptr<QTranslator> polish = PolishQtTexts();
  ASSERT_TRUE(polish) << "qt6-translations-l10n is not installed";
  QCoreApplication::installTranslator(polish.get());
  EXPECT_EQ(QFileDialog::tr("Save As"), "Zachowaj jako");
  EXPECT_TRUE(QFileDialog::tr("%1 already exists.\nDo you want to replace it?").contains("istnieje"));
  QCoreApplication::removeTranslator(polish.get());
}

}  // namespace
}  // namespace rovena::test
