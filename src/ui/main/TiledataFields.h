#pragma once
// What the two tile data pages share when they move names and numbers between records and fields.

#include <QLineEdit>
#include <QString>

#include <cstdint>
#include <string>

#include "app/Text.h"

namespace quillotide::ui {

// The model hands out names as UTF-8 and takes them so (it refuses what its code page lacks).
inline QString nameText(const std::string& name) { return QString::fromStdString(name); }
inline std::string nameUtf8(const QString& text) { return text.toStdString(); }

// A field that does not parse stores 0.
inline std::int32_t fieldValue(const QLineEdit* field) {
  return tryParseInt(field->text().toStdString()).value_or(0);
}

}  // namespace quillotide::ui
