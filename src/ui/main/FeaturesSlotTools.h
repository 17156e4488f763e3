#pragma once
// The slot file tools of the "Features" page: "Autopatch", "Extract", "ReIndex", "Create empty",
// "Cut File", "CopyAnim", "MarkPixels" and the buttons for the bound files, the missing animation
// reports and "Fix Bitmap". Every handler checks its model is loaded (or shows the tool's short
// message), asks through the dialog seam and runs the core tool with the progress window. Tools
// that write files a loaded model holds (ReIndex, Create empty) settle that model first and load
// it again afterwards; Extract and "GetMissingAnims" ask for their folder and say where the files
// went; CopyAnim writes the animation index the Settings page shows.

#include <optional>
#include <string>

#include <QWidget>

class QComboBox;
class QLineEdit;

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class Dialogs;
class TMainForm;
class TgaugeForm;

class FeaturesSlotTools : public QWidget {
  Q_OBJECT
public:
  explicit FeaturesSlotTools(TMainForm& main, QWidget* parent = nullptr);

private:
  QWidget* autopatchGroup();
  QWidget* extractGroup();
  QWidget* reIndexGroup();
  QWidget* createEmptyGroup();
  QWidget* cutFileGroup();
  QWidget* copyAnimGroup();
  QWidget* markPixelsGroup();
  QWidget* buttonsGroup();

  void autopatch();
  void extract();
  void reIndex();
  void createEmpty();
  void cutFile();
  void copyAnim();
  void boundFile(bool gumps);
  void missingAnims();
  void artIdsWithMissingAnims();
  void markPixels();
  void fixBitmap();

  TMainForm& m_main;
  Registry& m_registry;
  Dialogs& m_dialogs;
  TgaugeForm& m_gauge;
  QLineEdit* m_autopatchPath = nullptr;
  QComboBox* m_autopatchKind = nullptr;
  QComboBox* m_extractKind = nullptr;
  QComboBox* m_reIndexKind = nullptr;
  QComboBox* m_createEmptyKind = nullptr;
  QLineEdit* m_cutFileName = nullptr;
  QLineEdit* m_cutToSize = nullptr;
  QLineEdit* m_copyFrom = nullptr;
  QLineEdit* m_copyTo = nullptr;
  QLineEdit* m_markColour = nullptr;
};

}  // namespace quillotide::ui
