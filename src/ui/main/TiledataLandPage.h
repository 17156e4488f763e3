#pragma once
// The "Tiledata (M)" page: the land records of the tile data, one line "0x%x %s" per land id,
// and an editor of the chosen record ("Name:", "TexID:" and five flag boxes) that writes every
// change into the tile data at once. The land tile's picture comes from art when art is loaded.

#include <array>
#include <cstdint>
#include <optional>

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace quillotide {
class Registry;
}

#include "ui/main/TiledataFields.h"

namespace quillotide::ui {

class Dialogs;
class SlotListView;
class TMainForm;

class TiledataLandPage : public QWidget {
  Q_OBJECT
 public:
  TiledataLandPage(TMainForm& main, QWidget* parent = nullptr);

  static constexpr int kPictureSize = 44;

  SlotListView* list() const { return m_list; }
  // After a load of the tile data: one line per land id.
  void fillList();
  // The land id whose record the fields show, or nullopt.
  std::optional<std::int32_t> currentId() const { return m_id; }

 private:
  void showRecord(std::int32_t id);
  // Writes the record the fields describe; a field holding what the record cannot (a texture id
  // outside 0..0xFFFF, a character the code page lacks) writes nothing and, with report, says so.
  void writeRecord(bool report);
  // Leaving a field: a refused value is reported and the record is given back as it was before
  // the typing; the fields then show what is stored.
  void fieldFinished();
  void showFlags(std::int32_t id);
  void saveText();
  void loadText();

  TMainForm& m_main;
  Registry& m_registry;
  Dialogs& m_dialogs;
  LayoutLine m_layout;
  SlotListView* m_list = nullptr;
  QLineEdit* m_name = nullptr;
  QLineEdit* m_texture = nullptr;
  std::array<QCheckBox*, 5> m_flags{};
  QLabel* m_picture = nullptr;
  std::optional<std::int32_t> m_id;
  // Set while the fields are filled from a record, so their change handlers write nothing.
  bool m_filling = false;
  // Set while a refused field is reported, so the focus leaving it does not report it again.
  bool m_reporting = false;
  FieldEdit<LandTileRecord> m_edit;
};

}  // namespace quillotide::ui
