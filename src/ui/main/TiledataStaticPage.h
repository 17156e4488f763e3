#pragma once
// The "Tiledata (S)" page: the static records of the tile data, one line "0x%x %s" per static id,
// and an editor of every field of the chosen record with one box per flag bit (64 in the newer
// layout) that writes every change into the tile data at once. Beside it the static's picture
// (a verdata patch first) and whether the animation of its AnimID exists.

#include <array>
#include <cstdint>
#include <optional>

#include <QString>
#include <QWidget>

#include "models/Tiledata.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace quillotide {
class Registry;
}

#include "ui/main/TiledataFields.h"

namespace quillotide::ui {

class Dialogs;
class SlotListView;
class TMainForm;

class TiledataStaticPage : public QWidget {
  Q_OBJECT
 public:
  TiledataStaticPage(TMainForm& main, QWidget* parent = nullptr);

  static constexpr int kPictureSize = 150;
  static constexpr int kFlagBoxes = 64;
  static constexpr int kFlagsPerRow = 6;
  // An item's gump is its AnimID + 50000.
  static constexpr int kGumpBase = 50000;

  SlotListView* list() const { return m_list; }
  // One line per static record the tile data holds; shows the upper flag boxes for the newer
  // layout only.
  void fillList();
  std::optional<std::int32_t> currentId() const { return m_id; }

 private:
  // The numeric fields in record order, with their widths.
  enum Field {
    Weight,
    Quality,
    Unknown1,
    Unknown2,
    Quantity,
    AnimId,
    Unknown3,
    Hue,
    Unknown4,
    Unknown5,
    Height,
    FieldCount
  };

  // A numeric field: caption, object name and the largest value its record field holds.
  struct NumericField {
    Field field;
    const char* caption;
    const char* name;
    std::uint32_t max;
  };
  static const std::array<NumericField, 11>& numericFields();

  void showRecord(std::int32_t id);
  void showDerived(std::int32_t id);
  // The record the fields describe; nullopt, with a message naming the first field, when a field
  // holds what its record field cannot (text that does not parse, a value out of range, a
  // character the code page lacks).
  std::optional<StaticTileRecord> recordFromFields(QString& problem) const;
  // Writes the record the fields describe; when they describe none, writes nothing and, with
  // report, says why.
  void writeRecord(bool report);
  // Leaving a field: a refused value is reported and the record is given back as it was before
  // the typing; the fields then show what is stored.
  void fieldFinished();
  void showFlags(std::int32_t id);
  void saveText();
  void loadText();
  void fillSlots();
  void deleteEntry();
  bool requireLoaded();

  TMainForm& m_main;
  Registry& m_registry;
  Dialogs& m_dialogs;
  LayoutLine m_layout;
  SlotListView* m_list = nullptr;
  QLineEdit* m_name = nullptr;
  std::array<QLineEdit*, FieldCount> m_fields{};
  QLabel* m_gumpId = nullptr;
  QLabel* m_animExists = nullptr;
  std::array<QCheckBox*, kFlagBoxes> m_flags{};
  QLabel* m_picture = nullptr;
  std::optional<std::int32_t> m_id;
  // Set while the fields are filled from a record, so their change handlers write nothing.
  bool m_filling = false;
  // Set while a refused field is reported, so the focus leaving it does not report it again.
  bool m_reporting = false;
  FieldEdit<StaticTileRecord> m_edit;
};

}  // namespace quillotide::ui
