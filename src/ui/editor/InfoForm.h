#pragma once
// TInfoForm, "Item Info": one drawn item's id with its serial, its position and its colour.

#include <QWidget>

#include "world/Item.h"

class QLabel;

namespace quillotide::ui {

class TInfoForm : public QWidget {
  Q_OBJECT
public:
  explicit TInfoForm(QWidget* parent);
  void showItem(const TItem& item);
  QString idText() const;
  QString positionText() const;
  QString colourText() const;

private:
  QLabel* m_lId;
  QLabel* m_lPos;
  QLabel* m_lColor;
};

}  // namespace quillotide::ui
