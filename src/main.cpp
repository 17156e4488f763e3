// The program: the configuration store, the registry of models, the main window, the loop.

#include <cstring>

#include <QApplication>

#include "app/FileIO.h"
#include "app/Registry.h"
#include "ui/main/MainForm.h"
#include "ui/main/Startup.h"
#include "ui/platform/QtDialogs.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillotide"));

  quillotide::Registry registry;
  registry.config->load(quillotide::defaultConfigPath());

  quillotide::ui::QtDialogs dialogs;
  int result = 0;
  {
    quillotide::ui::TMainForm mainForm(registry, dialogs);
    dialogs.setParent(&mainForm);
    mainForm.show();

    const quillotide::ui::StartSwitch start = quillotide::ui::startSwitch(argc, argv);
    if (start == quillotide::ui::StartSwitch::Worldeditor) mainForm.startWorldeditor();
    if (start == quillotide::ui::StartSwitch::Sample)
      mainForm.useSampleSet(
          QString::fromStdString(quillotide::joinPath(quillotide::executableDir(), "sample")));

    result = QApplication::exec();
    dialogs.setParent(nullptr);
  }
  // The windows are gone; the registry releases the store, then every model in creation order.
  return result;
}
