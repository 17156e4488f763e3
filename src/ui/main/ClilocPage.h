#pragma once
// The "Cliloc" page: the localized strings, opened and saved through the file group at its top.
// A table of every entry in file order ("Number", "Flag", "Text"), a search line (a number jumps to
// its entry, "first-last" shows that range, words show the entries whose text holds each of them),
// the selected entry's text and flag with "Apply", "Add...", "Delete", "Export..." and "Import..."
// of a tab-separated table, and "Drop damaged tail" while the file ends in bytes that are no whole
// entry.
//
// The page keeps only positions of the model's table; every text shown is read from the model
// when it is drawn, so a file of 200 000 entries is shown as soon as it is loaded.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <QString>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTableView;

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class ClilocTableModel;
class Dialogs;
class FileGroupBox;
class TMainForm;

class ClilocPage : public QWidget {
  Q_OBJECT
public:
  explicit ClilocPage(TMainForm& main, QWidget* parent = nullptr);
  ~ClilocPage() override;
  FileGroupBox* files() const { return m_files; }
  QTableView* table() const { return m_table; }
  // The table position of the entry the editor shows; nullopt when no line is chosen.
  std::optional<std::size_t> currentEntry() const;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  // What the table shows: every entry, the entries of a range of numbers, or those whose text
  // holds every word.
  struct Filter {
    enum class Kind { All, Range, Words } kind = Kind::All;
    std::int32_t first = 0;
    std::int32_t last = 0;
    std::string words;
  };

  // After the model was opened, read again, let go or closed: every entry shown, nothing chosen.
  void rebuild();
  // Shows the entries the filter picks, from the model as it is now (positions move on an add,
  // a delete or an import).
  void applyFilter();
  void search();
  void showEntry();
  void showTail();
  void showCount();
  void showProblems();
  // Chooses the line of the entry at pos, showing every entry first when the filter hides it.
  void selectPosition(std::size_t pos);
  // The editor's text as typed: paragraph breaks as line feeds, every other character kept.
  QString editorText() const;
  // True when the table is loaded; otherwise says so and returns false.
  bool requireLoaded();

  void apply();
  void addEntry();
  void deleteEntries();
  void exportTable();
  void importTable();
  void dropTail();

  TMainForm& m_main;
  Registry& m_registry;
  Dialogs& m_dialogs;
  FileGroupBox* m_files;
  int m_ownerToken = 0;
  Filter m_filter;
  ClilocTableModel* m_model;
  QLineEdit* m_search;
  QTableView* m_table;
  QLabel* m_count;
  QLabel* m_number;
  QSpinBox* m_flag;
  QPlainTextEdit* m_text;
  QPushButton* m_apply;
  QLabel* m_tail;
  QPushButton* m_dropTail;
  // What the editor showed when the entry was chosen: "Apply" writes only what was changed, so a
  // text that is no UTF-8 or a flag past 2 stays as the file holds it until it is retyped.
  std::optional<std::size_t> m_shown;
  QString m_shownText;
  int m_shownFlag = 0;
};

}  // namespace quillotide::ui
