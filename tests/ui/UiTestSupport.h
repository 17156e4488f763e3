#pragma once
// What the page tests share: a run of the program in a temporary folder (its own config.xml, the
// registry, scripted dialogs, the main window) and small helpers to reach controls by name.

#include <memory>

#include <QAbstractButton>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QTabWidget>
#include <QTest>

#include "app/FileIO.h"
#include "registry/Registry.h"
#include "sample/Sample.h"
#include "support/TestFiles.h"
#include "ui/main/MainForm.h"
#include "ui/platform/ScriptedDialogs.h"

namespace quillotide::test {

struct ProgramRun {
  // configText: the config.xml the run starts with; empty for none at all.
  explicit ProgramRun(const std::string& configText = {}) {
    if (!configText.empty()) writeText(configPath(), configText);
    registry = std::make_unique<Registry>();
    registry->config->load(configPath());
    dialogs.onUnexpected = [](const QString& what) {
      QTest::qFail(qPrintable(what), __FILE__, __LINE__);
    };
    mainForm = std::make_unique<ui::TMainForm>(*registry, dialogs);
  }
  ~ProgramRun() {
    mainForm.reset();
    registry.reset();
  }

  std::string configPath() const { return dir.file("config.xml"); }
  QString path(const std::string& name) const { return QString::fromStdString(dir.file(name)); }

  template <class T>
  T* find(const QString& name) const {
    T* w = mainForm->findChild<T*>(name);
    if (!w) QTest::qFail(qPrintable(QStringLiteral("no control ") + name), __FILE__, __LINE__);
    return w;
  }
  void click(const QString& button) const {
    if (auto* b = find<QAbstractButton>(button)) b->click();
  }
  void setField(const QString& name, const QString& text) const {
    if (auto* e = find<QLineEdit>(name)) e->setText(text);
  }
  // Brings the page to the front of a shown main window, so its lists can take mouse clicks.
  void showPage(const QString& page) const {
    QWidget* w = find<QWidget>(page);
    if (!w) return;
    mainForm->show();
    mainForm->pages()->setCurrentWidget(w);
    if (!QTest::qWaitForWindowExposed(mainForm.get()))
      QTest::qFail("main window not exposed", __FILE__, __LINE__);
  }
  // Opens a page as a person does: a click on its caption in the page list beside the pages.
  void clickPage(const QString& caption) const {
    auto* list = find<QListWidget>(QStringLiteral("lbPages"));
    if (!list) return;
    const QList<QListWidgetItem*> items = list->findItems(caption, Qt::MatchExactly);
    if (items.isEmpty()) {
      QTest::qFail(qPrintable(QStringLiteral("no page ") + caption), __FILE__, __LINE__);
      return;
    }
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                      list->visualItemRect(items.first()).center());
  }
  // A click on a list line as a person makes it: the mouse on the line's rectangle. The line is
  // scrolled into view first, as a person scrolls before clicking.
  void clickLine(const QString& list, int row, Qt::MouseButton button = Qt::LeftButton) const {
    auto* view = find<QListView>(list);
    if (!view) return;
    const QModelIndex index = view->model()->index(row, 0);
    view->scrollTo(index);
    QTest::mouseClick(view->viewport(), button, Qt::NoModifier, view->visualRect(index).center());
  }
  // Writes the sample set into `folder`, stores its paths and settings and makes a fresh main
  // window, whose Settings page takes the stored paths at its creation.
  void useSampleFiles(const std::string& folder) {
    sample::writeSampleSet(folder);
    for (const auto& f : sample::sampleFiles())
      registry->config->setString(f.configKey, joinPath(folder, f.fileName));
    for (const auto& [key, value] : sample::sampleSettings()) registry->config->setString(key, value);
    mainForm = std::make_unique<ui::TMainForm>(*registry, dialogs);
  }
  // Types into a field as a person does: the old text cleared, the new one typed, Enter pressed.
  void typeInto(const QString& field, const QString& text) const {
    auto* e = find<QLineEdit>(field);
    if (!e) return;
    e->clear();
    QTest::keyClicks(e, text);
    QTest::keyClick(e, Qt::Key_Enter);
  }
  // A mouse click on a button.
  void press(const QString& button) const {
    if (auto* b = find<QAbstractButton>(button)) QTest::mouseClick(b, Qt::LeftButton);
  }
  // A key pressed in a list (arrows move the selected line).
  void pressKey(const QString& list, Qt::Key key) const {
    if (auto* view = find<QListView>(list)) QTest::keyClick(view, key);
  }

  TempDir dir;
  ui::ScriptedDialogs dialogs;
  std::unique_ptr<Registry> registry;
  std::unique_ptr<ui::TMainForm> mainForm;
};

// A config.xml holding the given entries.
inline std::string configWith(std::initializer_list<std::pair<std::string, std::string>> entries) {
  std::string text = "<configuration>\r\n";
  for (const auto& [key, value] : entries)
    text += "<config key=\"" + key + "\" value=\"" + value + "\" />\r\n";
  return text + "</configuration>\r\n";
}

// Writes a small index/data pair of `count` slots (every third one empty).
inline void writePair(const std::string& indexPath, const std::string& dataPath,
                      std::int64_t count = 64) {
  const GeneratedPair pair = generatePair(count, 20, 3);
  writeBytes(indexPath, pair.index);
  writeBytes(dataPath, pair.data);
}

}  // namespace quillotide::test
