#pragma once
// The dialogs of a test: every answer is queued beforehand, every dialog asked and every message
// shown is recorded. A dialog that was not expected (none queued, or a different kind queued)
// is recorded as a failure, answers "cancelled" and calls the failure hook, so the test fails
// loudly instead of waiting for a user.

#include <deque>
#include <functional>
#include <optional>

#include <QString>
#include <QStringList>
#include <QVector>

#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

class ScriptedDialogs : public Dialogs {
public:
  enum class Kind { OpenFile, SaveFile, Folder, Input, Colour, Question, Password };

  struct Asked {
    Kind kind;
    QString title;   // file dialog title, folder title or input caption
    QString filter;  // file dialogs only
    QString defaultExtension;
    QString proposed;  // proposed name or default text
    QString prompt;    // input boxes, and the text of a question
    QString folder;    // file dialogs and folder choosers: the folder the real dialog opens in
  };
  struct Message {
    QString caption;
    QString text;
    MessageIcon icon;
  };

  // Queue the answer of the next dialog of that kind; std::nullopt answers "cancelled".
  void answerOpen(std::optional<QString> path) { m_answers.push_back({Kind::OpenFile, std::move(path)}); }
  void answerSave(std::optional<QString> path) { m_answers.push_back({Kind::SaveFile, std::move(path)}); }
  void answerFolder(std::optional<QString> path) { m_answers.push_back({Kind::Folder, std::move(path)}); }
  void answerInput(std::optional<QString> text) { m_answers.push_back({Kind::Input, std::move(text)}); }
  void answerPassword(std::optional<QString> text) {
    m_answers.push_back({Kind::Password, std::move(text)});
  }
  // The caption of the button to press; std::nullopt closes the box without a choice.
  void answerQuestion(std::optional<QString> button) {
    m_answers.push_back({Kind::Question, std::move(button)});
  }
  void answerColour(std::optional<QColor> colour) {
    m_answers.push_back({Kind::Colour, colour ? std::optional<QString>(colour->name()) : std::nullopt});
  }

  std::optional<QString> openFile(const FileRequest& request) override;
  std::optional<QString> saveFile(const FileRequest& request) override;
  std::optional<QString> chooseFolder(const QString& title,
                                      const QString& proposedFolder = {}) override;
  // Asked is recorded with the caption as its title and the prompt as its prompt.
  std::optional<QString> password(const QString& caption, const QString& prompt) override;
  std::optional<QString> inputBox(const QString& caption, const QString& prompt,
                                  const QString& defaultText) override;
  void message(const QString& caption, const QString& text, MessageIcon icon) override;
  // Asked is recorded with the initial colour's "#rrggbb" as its proposed text.
  std::optional<QColor> chooseColour(const QColor& initial) override;
  // Asked is recorded with the caption as its title, the text as its prompt and the buttons
  // joined by "|" as its filter. A queued caption that is not one of the buttons is a failure.
  std::optional<int> ask(const QString& caption, const QString& text,
                         const QStringList& buttons) override;
  // The picture and its caption are kept for the test to read; nothing waits.
  void showPicture(const QString& caption, const QImage& picture) override;
  const QVector<QImage>& pictures() const { return m_pictures; }
  const QStringList& pictureCaptions() const { return m_pictureCaptions; }

  const QVector<Asked>& asked() const { return m_asked; }
  const QVector<Message>& messages() const { return m_messages; }
  QStringList messageTexts() const;
  // Answers queued but never asked for.
  int pendingAnswers() const { return static_cast<int>(m_answers.size()); }
  // Dialogs that came without a matching queued answer.
  const QStringList& failures() const { return m_failures; }
  void clear();

  // Called with a description of every unexpected dialog (tests hook their failure report here).
  std::function<void(const QString&)> onUnexpected;

private:
  struct Answer {
    Kind kind;
    std::optional<QString> value;
  };
  std::optional<QString> take(Kind kind, const Asked& asked);
  // A file dialog asked and answered; the answer's folder is remembered as the real dialogs do.
  std::optional<QString> fileDialog(Kind kind, const FileRequest& request);

  std::deque<Answer> m_answers;
  QVector<Asked> m_asked;
  QVector<Message> m_messages;
  QVector<QImage> m_pictures;
  QStringList m_pictureCaptions;
  QStringList m_failures;
};

}  // namespace quillotide::ui
