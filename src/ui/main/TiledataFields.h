#pragma once
// What the two tile data pages share when they move names and numbers between records and fields.

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>

#include "app/Error.h"
#include "registry/Registry.h"
#include "app/Text.h"
#include "ui/main/MainForm.h"
#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

// The model hands out names as UTF-8 and takes them so (it refuses what its code page lacks).
inline QString nameText(const std::string& name) { return QString::fromStdString(name); }
inline std::string nameUtf8(const QString& text) { return text.toStdString(); }

// A typed number read with the integer rule; nullopt, with the message naming the field by its
// caption, when it does not parse or lies outside 0..max (values are refused, never cut).
inline std::optional<std::uint32_t> fieldNumber(const QLineEdit* field, const QString& caption,
                                                std::uint32_t max, QString& problem) {
  const QString text = field->text();
  const auto value = tryParseInt(text.toStdString());
  if (!value)
    problem = caption + QLatin1Char(' ') +
              QString::fromStdString(
                  formatMessage("'%s' is not a valid integer value", {text.toStdString()}));
  else if (*value < 0 || static_cast<std::uint32_t>(*value) > max)
    problem =
        QStringLiteral("%1 '%2' does not fit the field (0 to %3).").arg(caption, text).arg(max);
  else
    return static_cast<std::uint32_t>(*value);
  return std::nullopt;
}

// A typed name in the game's code page; nullopt, with the message, when it holds a character the
// code page lacks.
inline std::optional<TileName> fieldName(const QLineEdit* field, QString& problem) {
  try {
    return makeTileName(nameUtf8(field->text()));
  } catch (const Error& e) {
    problem = QStringLiteral("Name: ") + QString::fromStdString(e.what());
    return std::nullopt;
  }
}

// One spell of typing in a record field. Each keystroke that leaves a value the record can hold
// is written at once, so the list follows the typing; the record as it stood before the first of
// them is kept, so that a field left holding a refused value gives the record back whole (typing
// "300" into a byte field writes "3" and "30" on the way, and neither may stay).
template <class Record>
class FieldEdit {
public:
  // Before a keystroke's value is written: keeps the stored record unless the spell has it.
  void begin(const std::optional<Record>& stored) {
    if (!m_before) m_before = stored;
  }
  // The field was left holding a value the record took: what is written stays.
  void accept() { m_before.reset(); }
  // The field was left holding a refused value: the record to write back, when the spell wrote.
  std::optional<Record> refuse() {
    std::optional<Record> before = std::move(m_before);
    m_before.reset();
    return before;
  }

private:
  std::optional<Record> m_before;
};

// "Flag: " and the flag word, signed and as wide as the file's flag word.
inline QString flagMessage(const TTiledata& tiles, std::uint64_t flags) {
  const qint64 value = tiles.flagBits() == 64
                           ? static_cast<qint64>(flags)
                           : static_cast<qint64>(static_cast<std::int32_t>(flags));
  return QStringLiteral("Flag: ") + QString::number(value);
}

// A field's problem shown once: the message box takes the focus, and the field that loses it
// must not report again while the box is up.
inline void reportFieldProblem(bool& reporting, Dialogs& dialogs, const QString& problem) {
  reporting = true;
  dialogs.showError(problem);
  reporting = false;
}

// The layout line of both tile data pages: what the loaded file is read as and why ("l" + prefix
// + "Layout"), and the user's choice of layout ("cb" + prefix + "Layout"), which both pages share.
struct LayoutLine {
  QLabel* label = nullptr;
  QComboBox* choice = nullptr;
  QHBoxLayout* row = nullptr;
};

inline LayoutLine makeLayoutLine(TMainForm& main, QWidget* parent, const QString& prefix) {
  LayoutLine line;
  line.label = new QLabel(parent);
  line.label->setObjectName("l" + prefix + "Layout");
  line.choice = new QComboBox(parent);
  line.choice->setObjectName("cb" + prefix + "Layout");
  line.choice->addItem(QStringLiteral("Layout from the file"), QString());
  line.choice->addItem(QStringLiteral("Older layout (32-bit flags)"), QStringLiteral("older"));
  line.choice->addItem(QStringLiteral("Newer layout (64-bit flags)"), QStringLiteral("newer"));
  QObject::connect(line.choice, &QComboBox::activated, parent, [&main, choice = line.choice] {
    main.setTiledataLayoutSetting(
        tiledataLayoutFromName(choice->currentData().toString().toStdString()));
  });
  line.row = new QHBoxLayout;
  line.row->addWidget(line.choice);
  line.row->addWidget(line.label, 1);
  return line;
}

inline void showLayoutLine(TMainForm& main, const LayoutLine& line) {
  const TTiledata& tiles = *main.registry().tiledata;
  line.label->setText(tiles.isLoaded() ? QStringLiteral("Layout: ") +
                                             QString::fromStdString(tiles.layoutDescription())
                                       : QString());
  const auto setting = main.tiledataLayoutSetting();
  line.choice->setCurrentIndex(!setting ? 0 : *setting == TiledataLayout::Classic ? 1 : 2);
}

}  // namespace quillotide::ui
