#pragma once
// TMainForm: the main window "Quillotide" with one tab per page. It owns the run's window state
// (the progress window, the about window, the search state of the slot lists) and passes the
// Settings page's "loaded" notices on to the pages that show a family.

#include <set>
#include <string>
#include <utility>
#include <QMainWindow>

#include <optional>

#include "app/SlotList.h"
#include "models/Tiledata.h"

class QListWidget;
class QTabWidget;

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class Dialogs;
class SettingsPage;
class TAboutForm;
class TgaugeForm;

class TMainForm : public QMainWindow {
  Q_OBJECT
public:
  // Takes the LowMemory setting once (it picks the storage mode for this run), stores
  // ColorMarkPixels "0xFF00FF" when the key is missing or empty, builds every page and opens the
  // Settings page. Opens no data file.
  TMainForm(Registry& registry, Dialogs& dialogs, QWidget* parent = nullptr);
  ~TMainForm() override;

  Registry& registry() { return m_registry; }
  Dialogs& dialogs() { return m_dialogs; }
  TgaugeForm& gauge() { return *m_gauge; }
  SlotSearch& slotSearch() { return m_search; }
  // The pages; their own tab strip is hidden, the page list beside them chooses.
  QTabWidget* pages() const { return m_pages; }
  // The page list: every page by its caption under a group heading, all in view at once.
  QListWidget* pageList() const { return m_pageList; }
  SettingsPage* settingsPage() const { return m_settings; }
  // The page with the given tab caption, or nullptr.
  QWidget* page(const QString& caption) const;

  // The tile data layout the user set (configuration key "TiledataLayout": "older", "newer", or
  // empty to tell it from the file); every load of the tile data takes it.
  std::optional<TiledataLayout> tiledataLayoutSetting() const;
  // Stores the setting and, when the tile data is loaded, reads it again in that layout (its
  // unsaved changes stay) and tells the pages.
  void setTiledataLayoutSetting(std::optional<TiledataLayout> layout);

  // The "--Worldeditor" start: 100 ms after the call, loads what the world editor needs.
  void startWorldeditor();
  // The "--sample" start: writes the sample set into dir when it is not complete, stores its
  // paths and loads every group.
  void useSampleSet(const QString& dir);

  // Asks, when loaded files have unsaved changes, whether to save them (each into the files its
  // model loaded), leave them, or stay; true when the window may close. The world the editor
  // shows is asked about by the editor itself.
  bool confirmClose();

  // Asks, for every open family whose file another program truncated, replaced or changed since
  // it was read (and that was not asked about for that change yet), whether to read it again.
  // Runs whenever the program becomes the active one again.
  void checkFilesOnDisk();

signals:
  void animationLoaded(int file);
  void verdataLoaded();
  void gumpsLoaded();
  void artLoaded();
  void texturesLoaded();
  void radarcolLoaded();
  void lightLoaded();
  void tiledataLoaded();
  void animdataLoaded();
  void huesLoaded();
  void soundLoaded();
  void multisLoaded();
  void staticsLoaded();
  void mapLoaded();
  void win98Changed(bool checked);
  // The automatic loads of "--Worldeditor" have run.
  void worldeditorLoadsDone();

protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

private:
  void createPages();
  void createPageList();
  void connectSettings();
  void applyTiledataLayout();

  // The changes on disk already asked about ("id" and what happened), so that one declined is
  // not asked again at every activation.
  std::set<std::pair<std::string, std::string>> m_askedOnDisk;
  bool m_checkingOnDisk = false;
  Registry& m_registry;
  Dialogs& m_dialogs;
  SlotSearch m_search;
  QTabWidget* m_pages = nullptr;
  QListWidget* m_pageList = nullptr;
  SettingsPage* m_settings = nullptr;
  TgaugeForm* m_gauge = nullptr;
  TAboutForm* m_about = nullptr;
};

// The pages' tab captions in order.
const QStringList& pageCaptions();
// Stores "0xFF00FF" under ColorMarkPixels when the key is missing or empty.
void applyConfigDefaults(Registry& registry);

}  // namespace quillotide::ui
