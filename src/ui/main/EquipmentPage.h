#pragma once
// The "Equipment" page: a new wearable item in one step. Three picture fields with their browse
// buttons and "Use Progress" boxes, the gump, art and copied animation ids, the tile data flags,
// layer, weight and name; "Patch" writes the gumps, the art, the body copy and the tile data
// record into the loaded models (nothing when a check fails), then says what changed where and
// offers to save every changed model to its own files at once; "Clear" empties the form. What
// Patch would refuse in the typed ids and weight is listed below the form while the user types.

#include <array>
#include <string>

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace quillotide {
class Registry;
struct EquipPatch;
struct EquipPatchResult;
}

namespace quillotide::ui {

class Dialogs;
class TMainForm;

class EquipmentPage : public QWidget {
  Q_OBJECT
public:
  explicit EquipmentPage(TMainForm& main, QWidget* parent = nullptr);

  static inline const QString kPictureFilter = QStringLiteral("*.bmp;*.png|*.bmp;*.png");

private:
  void browse(QLineEdit* field, const QString& title);
  EquipPatch form() const;
  std::string animIndexPath() const;
  void showRefusals();
  void patch();
  void reportPatch(const EquipPatch& patch, const EquipPatchResult& result);
  void clear();

  TMainForm& m_main;
  Registry& m_registry;
  Dialogs& m_dialogs;
  QLineEdit* m_gump = nullptr;
  QLineEdit* m_gumpW = nullptr;
  QLineEdit* m_art = nullptr;
  QCheckBox* m_progressGumpM = nullptr;
  QCheckBox* m_progressGumpW = nullptr;
  QCheckBox* m_progressArt = nullptr;
  QLineEdit* m_gumpId = nullptr;
  QLineEdit* m_artId = nullptr;
  QLineEdit* m_animId = nullptr;
  std::array<QCheckBox*, 5> m_flags{};
  QComboBox* m_layer = nullptr;
  QLineEdit* m_weight = nullptr;
  QLineEdit* m_name = nullptr;
  QLabel* m_refusals = nullptr;
};

}  // namespace quillotide::ui
