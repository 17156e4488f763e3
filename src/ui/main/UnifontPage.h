#pragma once
// The "Unifont" page: a Unicode font (unifont.mul .. unifont12.mul, the path field chooses which),
// opened and saved through the file group at its top. Browsed by block or by code point in a grid
// of the block's code points; the selected glyph enlarged with its offsets and size; a line of
// text drawn in the font; the glyph exported and imported as a picture, its offsets stored, and
// the glyph removed.

#include <optional>
#include <utility>
#include <vector>

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class Dialogs;
class FileGroupBox;
class GlyphGrid;
class TMainForm;

class UnifontPage : public QWidget {
  Q_OBJECT
public:
  explicit UnifontPage(TMainForm& main, QWidget* parent = nullptr);
  ~UnifontPage() override;
  FileGroupBox* files() const { return m_files; }

  // The selected glyph is shown kCharZoom times its size, the typed text kTextZoom times.
  static constexpr int kCharZoom = 6;
  static constexpr int kTextZoom = 2;

  GlyphGrid* grid() const { return m_grid; }
  QLabel* charPicture() const { return m_charPicture; }
  QLabel* textPicture() const { return m_textPicture; }
  // The code points the grid shows, first to last.
  std::pair<char32_t, char32_t> range() const { return m_range; }
  // The code point of the selected cell, if any.
  std::optional<char32_t> currentCode() const;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void rebuild();
  // Shows the block (or other range) of the combo's line.
  void showBlock(int line);
  void showRange(std::pair<char32_t, char32_t> range);
  // The code point typed into the code field: its block shown and its cell selected.
  void jumpToTyped();
  void jumpTo(char32_t code);
  void showCharacter();
  void showText();
  void updateButtons();
  void applyOffsets();
  void exportCharacter();
  void importCharacter();
  void removeCharacter();
  // After an edit of the selected glyph: its cell, the enlarged glyph and the text drawn again.
  void showEdited();

  TMainForm& m_main;
  Registry& m_registry;
  Dialogs& m_dialogs;
  FileGroupBox* m_files;
  QComboBox* m_block;
  QLineEdit* m_code;
  GlyphGrid* m_grid;
  QLabel* m_charPicture;
  QLabel* m_charInfo;
  QSpinBox* m_x;
  QSpinBox* m_y;
  QPushButton* m_apply;
  QPushButton* m_export;
  QPushButton* m_import;
  QPushButton* m_remove;
  QLineEdit* m_text;
  QLabel* m_textNote;
  QLabel* m_textPicture;
  // The ranges of the block combo's lines: the blocks, then at most one other range, the page of
  // 256 code points around a code point typed outside every block.
  std::vector<std::pair<char32_t, char32_t>> m_ranges;
  std::pair<char32_t, char32_t> m_range{0, 0x7F};
  int m_ownerToken = 0;
};

// What the code field says of a text that names no code point of a Unicode font.
QString unifontCodeMessage(const QString& typed);

}  // namespace quillotide::ui
