#pragma once
// Widgets made with their object names, the names the pages' tests and the settings find them by.

#include <QLineEdit>
#include <QPushButton>

namespace quillotide::ui {

inline QPushButton* namedButton(const QString& name, const QString& caption, QWidget* parent) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(name);
  return b;
}

inline QLineEdit* namedField(const QString& name, QWidget* parent) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(name);
  return e;
}

}  // namespace quillotide::ui
