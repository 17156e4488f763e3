#pragma once
// The "Multimap" page: the overview picture of Multimap.rle, opened and saved through the file
// group at its top. The picture in a scrolled view, shrunk to fit or at a chosen scale, its layout
// and size, and its export to and import from a PNG picture.

#include <QImage>
#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;
class QScrollArea;

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class Dialogs;
class FileGroupBox;
class TMainForm;

class MultimapPage : public QWidget {
  Q_OBJECT
public:
  explicit MultimapPage(TMainForm& main, QWidget* parent = nullptr);
  ~MultimapPage() override;
  FileGroupBox* files() const { return m_files; }

  // The lines of the scale box: "Fit" (shrunk to the view, never enlarged), then 100 % halved
  // line by line.
  static constexpr int kFit = 0;
  static constexpr int kFullSize = 1;

  QLabel* picture() const { return m_picture; }
  QLabel* info() const { return m_info; }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void rebuild();
  // The picture at the chosen scale.
  void showScaled();
  void exportPng();
  void importPng();

  TMainForm& m_main;
  Registry& m_registry;
  Dialogs& m_dialogs;
  FileGroupBox* m_files;
  QLabel* m_info;
  QLabel* m_problems;
  QComboBox* m_scale;
  QPushButton* m_export;
  QPushButton* m_import;
  QScrollArea* m_scroll;
  QLabel* m_picture;
  QImage m_image;  // the whole picture, scaled from for the view
  int m_ownerToken = 0;
};

}  // namespace quillotide::ui
