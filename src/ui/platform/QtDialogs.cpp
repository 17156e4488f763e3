#include "ui/platform/QtDialogs.h"

#include <QApplication>
#include <QAbstractButton>
#include <QColorDialog>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QSpacerItem>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillotide::ui {

QString toQtFilter(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString pattern = parts[i + 1];
    pattern.replace(QLatin1Char(';'), QLatin1Char(' '));
    entries << QStringLiteral("%1 (%2)").arg(parts[i], pattern);
  }
  // A filter without a bar is taken as a pattern of its own.
  if (entries.isEmpty() && !filter.isEmpty()) entries << QStringLiteral("%1 (%1)").arg(filter);
  return entries.join(QStringLiteral(";;"));
}

namespace {

// Before the first choice a dialog opens in the user's home folder, never in the folder the
// program happens to run in.
QString folderOrHome(const QString& folder) { return folder.isEmpty() ? QDir::homePath() : folder; }

std::optional<QString> runFileDialog(QWidget* parent, const FileRequest& request,
                                     QFileDialog::AcceptMode mode, const QString& folder) {
  QFileDialog dialog(parent, request.title, folderOrHome(folder));
  dialog.setAcceptMode(mode);
  dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                     : QFileDialog::AnyFile);
  // The program never asks before replacing a file it was told to write.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog.setNameFilter(toQtFilter(request.filter));
  if (!request.defaultExtension.isEmpty()) dialog.setDefaultSuffix(request.defaultExtension);
  if (!request.proposedName.isEmpty())
    dialog.selectFile(QFileInfo(request.proposedName).fileName());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first();
}

}  // namespace

std::optional<QString> QtDialogs::openFile(const FileRequest& request) {
  std::optional<QString> path =
      runFileDialog(m_parent, request, QFileDialog::AcceptOpen, startFolder(request));
  if (path) rememberFile(request, *path);
  return path;
}

std::optional<QString> QtDialogs::saveFile(const FileRequest& request) {
  std::optional<QString> path =
      runFileDialog(m_parent, request, QFileDialog::AcceptSave, startFolder(request));
  if (path) rememberFile(request, *path);
  return path;
}

std::optional<QString> QtDialogs::chooseFolder(const QString& title,
                                               const QString& proposedFolder) {
  const QString dir = QFileDialog::getExistingDirectory(
      m_parent, title, folderOrHome(startFolder(title, proposedFolder)));
  if (dir.isEmpty()) return std::nullopt;
  rememberFolder(title, dir);
  return dir;
}

std::optional<QString> QtDialogs::inputBox(const QString& caption, const QString& prompt,
                                           const QString& defaultText) {
  bool ok = false;
  const QString text =
      QInputDialog::getText(m_parent, caption, prompt, QLineEdit::Normal, defaultText, &ok);
  if (!ok) return std::nullopt;
  return text;
}

std::optional<QString> QtDialogs::password(const QString& caption, const QString& prompt) {
  bool ok = false;
  const QString text =
      QInputDialog::getText(m_parent, caption, prompt, QLineEdit::Password, QString(), &ok);
  if (!ok) return std::nullopt;
  return text;
}

int messageBoxWidthFor(const QString& caption) {
  // Room for the window icon and the close, minimise and maximise buttons of common title bars.
  constexpr int kTitleBarRoom = 160;
  const QFontMetrics metrics(QApplication::font("QMdiSubWindowTitleBar"));
  return metrics.horizontalAdvance(caption) + kTitleBarRoom;
}

void QtDialogs::message(const QString& caption, const QString& text, MessageIcon icon) {
  QMessageBox box(m_parent);
  box.setWindowTitle(caption);
  box.setText(text);
  // Message texts are shown as given, never interpreted as markup.
  box.setTextFormat(Qt::PlainText);
  switch (icon) {
    case MessageIcon::Information:
      box.setIcon(QMessageBox::Information);
      break;
    case MessageIcon::Warning:
      box.setIcon(QMessageBox::Warning);
      break;
    case MessageIcon::Error:
      box.setIcon(QMessageBox::Critical);
      break;
  }
  // The box takes its width from its contents, so a spacer row keeps it wide enough.
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
    grid->addItem(
        new QSpacerItem(messageBoxWidthFor(caption), 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
        grid->rowCount(), 0, 1, grid->columnCount());
  box.exec();
}

std::optional<int> QtDialogs::ask(const QString& caption, const QString& text,
                                  const QStringList& buttons) {
  QMessageBox box(m_parent);
  box.setWindowTitle(caption);
  box.setText(text);
  box.setTextFormat(Qt::PlainText);
  box.setIcon(QMessageBox::Question);
  QList<QAbstractButton*> added;
  added.reserve(buttons.size());
  for (const QString& b : buttons) added.append(box.addButton(b, QMessageBox::AcceptRole));
  // Escape answers with the last button (the callers put their "Cancel" there).
  if (!added.isEmpty()) box.setEscapeButton(added.last());
  box.exec();
  const auto index = added.indexOf(box.clickedButton());
  if (index < 0) return std::nullopt;
  return static_cast<int>(index);
}

std::optional<QColor> QtDialogs::chooseColour(const QColor& initial) {
  const QColor chosen = QColorDialog::getColor(initial, m_parent);
  if (!chosen.isValid()) return std::nullopt;
  return chosen;
}

void QtDialogs::showPicture(const QString& caption, const QImage& picture) {
  QDialog window(m_parent);
  window.setWindowTitle(caption);
  auto* label = new QLabel(&window);
  label->setPixmap(QPixmap::fromImage(picture));
  auto* layout = new QVBoxLayout(&window);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(label);
  window.setFixedSize(picture.size());
  window.exec();
}

}  // namespace quillotide::ui
