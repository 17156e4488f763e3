#pragma once
// The world tools of the "Features" page: the whole-map reports and pictures ("Count Textures in
// Map", "Create StaticMap", "CreateHeightMap", "CreateHeightMapAdjustHeight"), "Change Map Ids",
// "MapCopy", "Delete Statics", the statics search, "Merge Statics", "Worldradarmap", the statics
// repair "?", "Cleanup Statics" and "Save Statics". Tools that need a model check that it is
// loaded; tools that write the world files themselves first free them from the loaded models,
// asking to save, discard or cancel when those hold unsaved changes.

#include <optional>
#include <string>

#include <QWidget>

class QBoxLayout;
class QLabel;
class QLineEdit;
class QProgressBar;

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class Dialogs;
class SettingsPage;
class TMainForm;
class TgaugeForm;

class FeaturesWorldTools : public QWidget {
  Q_OBJECT
public:
  explicit FeaturesWorldTools(TMainForm& main, QWidget* parent = nullptr);
  // The row of the "World" group that holds the "Worldeditor" and "Diff Tool" buttons.
  QBoxLayout* worldButtonRow() const { return m_worldButtons; }

private:
  QWidget* worldGroup();
  QWidget* mapIdGroup();
  QWidget* mapCopyGroup();
  QWidget* deleteGroup();
  QWidget* mergeGroup();
  QWidget* radarGroup();

  void countTextures();
  void changeMapIds();
  void createStaticMap();
  void mapCopy();
  void deleteStatics();
  void searchId();
  void mergeStatics();
  void worldRadarMap();
  void repairStatics();
  void cleanupStatics();
  void saveStatics();
  void heightMap(bool adjusted);

  std::string settingsPath(const char* key) const;
  // Asks for a file to open (refusing one that does not exist) or to save; empty when cancelled.
  QString askOpen(const QString& title, const QString& pattern);
  QString askSave(const QString& title, const QString& pattern, const QString& extension = {});
  // Asks where to save a picture ("*.bmp", default extension "bmp", added when the name has none).
  QString askPicture(const QString& title);

  Registry& m_registry;
  Dialogs& m_dialogs;
  TgaugeForm& m_gauge;
  TMainForm& m_main;  // its settings page is made after this page
  QBoxLayout* m_worldButtons = nullptr;
  QLineEdit* m_ruleFile = nullptr;
  QLineEdit* m_deleteIdx = nullptr;
  QLineEdit* m_deleteMul = nullptr;
  QLineEdit* m_merge[4] = {};
  QLineEdit* m_heightLevel = nullptr;
  QProgressBar* m_copyBar = nullptr;
  QLabel* m_radarLabel = nullptr;
};

}  // namespace quillotide::ui
