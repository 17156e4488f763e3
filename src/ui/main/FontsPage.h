#pragma once
// The "Fonts" page: the classic fonts of fonts.mul, opened and saved through the file group at its
// top. The list of fonts, the chosen font's 224 characters in a grid, the selected character
// enlarged with its size and third byte, a line of text drawn in the font, and the character and
// font exports and the character import.

#include <QColor>
#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class Dialogs;
class FileGroupBox;
class GlyphGrid;
class TMainForm;

class FontsPage : public QWidget {
  Q_OBJECT
public:
  explicit FontsPage(TMainForm& main, QWidget* parent = nullptr);
  ~FontsPage() override;
  FileGroupBox* files() const { return m_files; }

  // The selected character is shown kCharZoom times its size, the typed text kTextZoom times.
  static constexpr int kCharZoom = 4;
  static constexpr int kTextZoom = 2;
  // The ground the characters are drawn on: the fonts are light letters that the client draws
  // over dark gumps, which a light ground would hide.
  static inline const QColor kGround = QColor(48, 44, 40);

  GlyphGrid* grid() const { return m_grid; }
  QLabel* charPicture() const { return m_charPicture; }
  QLabel* textPicture() const { return m_textPicture; }
  // The chosen font and the selected character's code (0x20..0xFF); -1 when there is none.
  int currentFont() const;
  int currentCode() const;

private:
  // Everything shown again from the model, keeping the chosen font and character where they
  // still exist.
  void rebuild();
  void showFont();
  void showCharacter();
  void showText();
  void updateButtons();
  void exportCharacter();
  void exportFont();
  void importCharacter();

  TMainForm& m_main;
  Registry& m_registry;
  Dialogs& m_dialogs;
  FileGroupBox* m_files;
  QListWidget* m_fontList;
  GlyphGrid* m_grid;
  QLabel* m_charPicture;
  QLabel* m_charInfo;
  QPushButton* m_exportChar;
  QPushButton* m_exportFont;
  QPushButton* m_importChar;
  QLineEdit* m_text;
  QLabel* m_textNote;
  QLabel* m_textPicture;
  int m_ownerToken = 0;
};

// What the text line says of a character it does not take: one the code page cannot hold, or one
// below 0x20, which no font has.
QString fontTextRefusedMessage(char32_t c);

}  // namespace quillotide::ui
