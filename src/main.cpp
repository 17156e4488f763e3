// The program: the start (configuration store, registry of models, main window), then the loop.

#include <cstdio>
#include <cstring>

#include <QAction>
#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>

#include "app/FileIO.h"
#include "ui/editor/EditorView.h"
#include "ui/editor/SEditorForm.h"
#include "ui/main/MainForm.h"
#include "ui/main/ProgramFolders.h"
#include "ui/main/SlotListView.h"
#include "ui/main/Startup.h"
#include "ui/platform/QtDialogs.h"

namespace {

// The value after a hidden option ("--tab CAPTION"), or an empty text.
QString optionValue(int argc, char** argv, const char* option) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], option) == 0) return QString::fromLocal8Bit(argv[i + 1]);
  return {};
}

// The hidden options that take the README's screenshots: "--tab CAPTION" opens that page,
// "--select LABEL" picks the line with that label in the page's first list, and
// "--screenshot FILE" saves a picture of the window once it is drawn and ends the program; when the
// world editor is open, it is the editor's window, after "--menu CAPTION" items of its menu (any
// number of them) have been chosen.
void applyScreenshotOptions(quillotide::ui::TMainForm& mainForm, int argc, char** argv) {
  if (QWidget* page = mainForm.page(optionValue(argc, argv, "--tab"))) {
    mainForm.pages()->setCurrentWidget(page);
    const QString label = optionValue(argc, argv, "--select");
    auto* list = page->findChild<quillotide::ui::SlotListView*>();
    for (int line = 0; list && !label.isEmpty() && line < list->lineCount(); ++line)
      if (QString::fromStdString(list->model()->label(line)) == label) {
        list->selectLine(line);
        break;
      }
  }
  const QString file = optionValue(argc, argv, "--screenshot");
  if (file.isEmpty()) return;
  QStringList menus;
  bool screen = false;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--screen") == 0) screen = true;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--menu") == 0) menus << QString::fromLocal8Bit(argv[i + 1]);
  QTimer::singleShot(1500, &mainForm, [&mainForm, file, menus, screen] {
    QWidget* target = &mainForm;
    if (auto* editor = quillotide::ui::TSEditorForm::existing(mainForm);
        editor && editor->isVisible()) {
      for (const QString& caption : menus)
        if (QAction* action = editor->action(caption)) action->trigger();
      target = editor;
      // Without a window manager every window opens in the corner: set the minimap beside it.
      if (screen)
        for (QWidget* w : QApplication::topLevelWidgets())
          if (w->isVisible() && w->inherits("quillotide::ui::TMapForm"))
            w->move(editor->frameGeometry().right() + 8, editor->y());
    }
    // --screen takes the whole screen, so windows beside the editor (the minimap) are seen too.
    // The editor's world is drawn in a window of its own that a widget's grab does not see:
    // the editor is taken from the screen, as the user sees it.
    const bool fromScreen = target != &mainForm;
    QTimer::singleShot(500, target, [target, file, screen, fromScreen] {
      const QPixmap shot = screen       ? target->screen()->grabWindow(0)
                           : fromScreen ? target->screen()->grabWindow(target->winId())
                                        : target->grab();
      QApplication::exit(shot.save(file) ? 0 : 1);
    });
  });
}

}  // namespace

int main(int argc, char** argv) {
  // Answered before any window system is asked for, so they work without a display.
  if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(quillotide::ui::programHelp().c_str(), stdout);
    return 0;
  }
  if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
    std::fputs(quillotide::ui::programVersionLine().c_str(), stdout);
    return 0;
  }
  quillotide::ui::setEditorSurfaceFormat();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillotide"));

  quillotide::ui::QtDialogs dialogs;
  int result = 0;
  {
    quillotide::ui::Startup startup(argc, argv, quillotide::ui::programFolders(), dialogs);
    quillotide::ui::TMainForm& mainForm = startup.mainForm();
    dialogs.setParent(&mainForm);
    mainForm.show();
    startup.begin();
    applyScreenshotOptions(mainForm, argc, argv);

    result = QApplication::exec();
    dialogs.setParent(nullptr);
  }
  return result;
}
