#pragma once
// The "Speech" page: the speech keywords, opened and saved through the file group at its top.
// A table of every entry in file order ("List": the language list of the file it stands in,
// counted from 1; "Id"; "Text"), a search line (a number shows the entries of that id, words the
// entries whose text holds every one of them), the chosen entry's id and text with "Apply", "Add"
// (after the chosen entry, with its id) and "Delete".

#include <cstdint>
#include <optional>
#include <string>

#include <QString>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class Dialogs;
class FileGroupBox;
class SpeechTableModel;
class TMainForm;

class SpeechPage : public QWidget {
  Q_OBJECT
public:
  explicit SpeechPage(TMainForm& main, QWidget* parent = nullptr);
  ~SpeechPage() override;
  FileGroupBox* files() const { return m_files; }
  QTableView* table() const { return m_table; }
  // The index of the entry the fields show; nullopt when no line is chosen.
  std::optional<std::size_t> currentEntry() const;

private:
  struct Filter {
    enum class Kind { All, Id, Words } kind = Kind::All;
    std::uint16_t id = 0;
    std::string words;
  };

  // After the model was opened, read again, let go or closed: every entry shown, none chosen.
  void rebuild();
  // Shows the entries the filter picks from the model as it is now.
  void applyFilter();
  void search();
  void showEntry();
  void showCount();
  void showProblems();
  // Chooses the line of entry index, showing every entry first when the filter hides it.
  void selectEntry(std::size_t index);
  bool requireLoaded();

  void apply();
  void addEntry();
  void deleteEntries();

  TMainForm& m_main;
  Registry& m_registry;
  Dialogs& m_dialogs;
  FileGroupBox* m_files;
  int m_ownerToken = 0;
  Filter m_filter;
  SpeechTableModel* m_model;
  QLineEdit* m_search;
  QTableView* m_table;
  QLabel* m_count;
  QLineEdit* m_id;
  QLineEdit* m_text;
  QPushButton* m_apply;
  // What the fields showed when the entry was chosen: "Apply" writes only what was changed, so
  // bytes that are no UTF-8 stay as the file holds them until the text is retyped.
  std::optional<std::size_t> m_shown;
  QString m_shownText;
  QString m_shownId;
};

}  // namespace quillotide::ui
