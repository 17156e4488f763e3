#include "ui/platform/ScriptedDialogs.h"

namespace quillotide::ui {

namespace {

QString kindName(ScriptedDialogs::Kind kind) {
  switch (kind) {
    case ScriptedDialogs::Kind::OpenFile:
      return QStringLiteral("file open dialog");
    case ScriptedDialogs::Kind::SaveFile:
      return QStringLiteral("file save dialog");
    case ScriptedDialogs::Kind::Folder:
      return QStringLiteral("folder chooser");
    case ScriptedDialogs::Kind::Input:
      return QStringLiteral("input box");
    case ScriptedDialogs::Kind::Colour:
      return QStringLiteral("colour dialog");
    case ScriptedDialogs::Kind::Question:
      return QStringLiteral("question");
    case ScriptedDialogs::Kind::Password:
      return QStringLiteral("password box");
  }
  return {};
}

}  // namespace

std::optional<QString> ScriptedDialogs::take(Kind kind, const Asked& asked) {
  m_asked.push_back(asked);
  if (m_answers.empty() || m_answers.front().kind != kind) {
    const QString failure = QStringLiteral("unexpected %1 \"%2\" (filter \"%3\")%4")
                                .arg(kindName(kind), asked.title, asked.filter,
                                     m_answers.empty() ? QStringLiteral(", no answer queued")
                                                       : QStringLiteral(", next answer is for a ") +
                                                             kindName(m_answers.front().kind));
    m_failures << failure;
    if (onUnexpected) onUnexpected(failure);
    return std::nullopt;
  }
  // The text is taken out before the answer goes: moving the optional itself trips GCC 12's false
  // maybe-uninitialized warning.
  const bool answered = m_answers.front().value.has_value();
  QString text = answered ? std::move(*m_answers.front().value) : QString();
  m_answers.pop_front();
  if (!answered) return std::nullopt;
  return std::optional<QString>(std::move(text));
}

std::optional<QString> ScriptedDialogs::fileDialog(Kind kind, const FileRequest& request) {
  std::optional<QString> path = take(kind, {kind,
                                            request.title,
                                            request.filter,
                                            request.defaultExtension,
                                            request.proposedName,
                                            {},
                                            startFolder(request)});
  if (path) rememberFile(request, *path);
  return path;
}

std::optional<QString> ScriptedDialogs::openFile(const FileRequest& request) {
  return fileDialog(Kind::OpenFile, request);
}

std::optional<QString> ScriptedDialogs::saveFile(const FileRequest& request) {
  return fileDialog(Kind::SaveFile, request);
}

std::optional<QString> ScriptedDialogs::chooseFolder(const QString& title,
                                                     const QString& proposedFolder) {
  std::optional<QString> folder = take(
      Kind::Folder, {Kind::Folder, title, {}, {}, {}, {}, startFolder(title, proposedFolder)});
  if (folder) rememberFolder(title, *folder);
  return folder;
}

std::optional<QString> ScriptedDialogs::inputBox(const QString& caption, const QString& prompt,
                                                 const QString& defaultText) {
  return take(Kind::Input, {Kind::Input, caption, {}, {}, defaultText, prompt, {}});
}

std::optional<QString> ScriptedDialogs::password(const QString& caption, const QString& prompt) {
  return take(Kind::Password, {Kind::Password, caption, {}, {}, {}, prompt, {}});
}

std::optional<QColor> ScriptedDialogs::chooseColour(const QColor& initial) {
  const std::optional<QString> name =
      take(Kind::Colour, {Kind::Colour, {}, {}, {}, initial.name(), {}, {}});
  if (!name) return std::nullopt;
  return QColor(*name);
}

std::optional<int> ScriptedDialogs::ask(const QString& caption, const QString& text,
                                        const QStringList& buttons) {
  const std::optional<QString> button =
      take(Kind::Question, {Kind::Question, caption, buttons.join('|'), {}, {}, text, {}});
  if (!button) return std::nullopt;
  const auto index = buttons.indexOf(*button);
  if (index < 0) {
    const QString failure =
        QStringLiteral("question \"%1\" has no button \"%2\"").arg(caption, *button);
    m_failures << failure;
    if (onUnexpected) onUnexpected(failure);
    return std::nullopt;
  }
  return static_cast<int>(index);
}

void ScriptedDialogs::message(const QString& caption, const QString& text, MessageIcon icon) {
  m_messages.push_back({caption, text, icon});
}

void ScriptedDialogs::showPicture(const QString& caption, const QImage& picture) {
  m_pictureCaptions.push_back(caption);
  m_pictures.push_back(picture);
}

QStringList ScriptedDialogs::messageTexts() const {
  QStringList texts;
  for (const Message& m : m_messages) texts << m.text;
  return texts;
}

void ScriptedDialogs::clear() {
  m_answers.clear();
  m_asked.clear();
  m_messages.clear();
  m_pictures.clear();
  m_pictureCaptions.clear();
  m_failures.clear();
}

}  // namespace quillotide::ui
