#pragma once
// The real standard dialogs of the program, shown modally over the given parent window.

#include <QPointer>
#include <QWidget>

#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

class QtDialogs : public Dialogs {
public:
  explicit QtDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
  void setParent(QWidget* parent) { m_parent = parent; }

  std::optional<QString> openFile(const FileRequest& request) override;
  std::optional<QString> saveFile(const FileRequest& request) override;
  std::optional<QString> chooseFolder(const QString& title,
                                      const QString& proposedFolder = {}) override;
  std::optional<QString> password(const QString& caption, const QString& prompt) override;
  std::optional<QString> inputBox(const QString& caption, const QString& prompt,
                                  const QString& defaultText) override;
  void message(const QString& caption, const QString& text, MessageIcon icon) override;
  std::optional<QColor> chooseColour(const QColor& initial) override;
  std::optional<int> ask(const QString& caption, const QString& text,
                         const QStringList& buttons) override;
  void showPicture(const QString& caption, const QImage& picture) override;

private:
  QPointer<QWidget> m_parent;
};

// The width a message box needs so that its title bar shows the whole caption beside the window
// icon and the title bar's buttons; a short text ("Not found.") would make the box narrower.
int messageBoxWidthFor(const QString& caption);

// "Description|pattern|Description|pattern" to Qt's "Description (pattern);;..." form; several
// patterns of one entry are separated by ';' in the program's form and by spaces in Qt's.
QString toQtFilter(const QString& filter);

}  // namespace quillotide::ui
