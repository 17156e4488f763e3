#pragma once
// What the two tile data pages share when they move names and numbers between records and fields.

#include <QLineEdit>
#include <QString>

#include <cstdint>
#include <string>

#include "app/Text.h"

namespace quillotide::ui {

// Tile names are 8-bit text; the lists and the fields show them as Latin-1.
inline QString nameText(const std::string& name) {
  return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}
inline std::string nameBytes(const QString& text) { return text.toLatin1().toStdString(); }

// A field that does not parse stores 0.
inline std::int32_t fieldValue(const QLineEdit* field) {
  return tryParseInt(field->text().toStdString()).value_or(0);
}

}  // namespace quillotide::ui
