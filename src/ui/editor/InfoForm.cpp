#include "ui/editor/InfoForm.h"

#include <QFormLayout>
#include <QLabel>

namespace quillotide::ui {

TInfoForm::TInfoForm(QWidget* parent) : QWidget(parent, Qt::Tool) {
  setObjectName(QStringLiteral("InfoForm"));
  setWindowTitle(QStringLiteral("Item Info"));
  auto* layout = new QFormLayout(this);
  auto value = [this](const char* name) {
    auto* l = new QLabel(this);
    l->setObjectName(QString::fromLatin1(name));
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
  };
  m_lId = value("lID");
  m_lPos = value("lPos");
  m_lColor = value("lColor");
  layout->addRow(QStringLiteral("ID:"), m_lId);
  layout->addRow(QStringLiteral("Pos:"), m_lPos);
  layout->addRow(QStringLiteral("Color:"), m_lColor);
}

void TInfoForm::showItem(const TItem& item) {
  m_lId->setText(QString::asprintf("0x%X (internal Serial: %X)", item.tileId,
                                   static_cast<unsigned>(item.serial)));
  m_lPos->setText(QString::asprintf("%d,%d,%d", item.x, item.y, item.z));
  m_lColor->setText(QString::asprintf("0x%X", item.hue));
  show();
}

QString TInfoForm::idText() const { return m_lId->text(); }
QString TInfoForm::positionText() const { return m_lPos->text(); }
QString TInfoForm::colourText() const { return m_lColor->text(); }

}  // namespace quillotide::ui
