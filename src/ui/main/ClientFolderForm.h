#pragma once
// TClientFolderForm: what "Find files" found in a client folder, as a table of family, file(s),
// form, size and what is missing, with the notes of the scan below it (a UOP taken over its MUL
// pair, two names that differ only in case, a facet whose map and statics disagree on the size).

#include <QDialog>

class QLabel;
class QTableWidget;

namespace quillotide {
struct ClientScan;
}

namespace quillotide::ui {

class TClientFolderForm : public QDialog {
  Q_OBJECT
public:
  explicit TClientFolderForm(QWidget* parent = nullptr);

  // Fills the table and the notes from the scan; the window is not shown by this.
  void showScan(const ClientScan& scan);

  QTableWidget* table() const { return m_table; }
  QLabel* notes() const { return m_notes; }

private:
  QLabel* m_heading;
  QTableWidget* m_table;
  QLabel* m_notes;
};

// "77,070,336": a byte count with its thousands marked.
QString byteCountText(unsigned long long bytes);

}  // namespace quillotide::ui
