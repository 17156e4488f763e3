#pragma once
// TStaticDiffForm "StaticDiffs": the overview of the loaded static diff, one pixel per 2 x 2
// blocks, black where the diff holds a block. The picture is the diff as it was when the window
// was shown. A press on it asks for the world editor's view centre through viewCentreRequested.

#include <QWidget>

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class PictureView;

class TStaticDiffForm : public QWidget {
  Q_OBJECT
public:
  static constexpr int kCellsPerPixel = 16;

  explicit TStaticDiffForm(const Registry& registry, QWidget* parent = nullptr);

  PictureView* picture() const { return m_picture; }

signals:
  // The world position to centre the editor's view on (the editor's SetViewCentre).
  void viewCentreRequested(int x, int y);

protected:
  void showEvent(QShowEvent* event) override;

private:
  const Registry& m_registry;
  PictureView* m_picture;
};

}  // namespace quillotide::ui
