#pragma once
// The one seam for the standard dialogs. Pages never create a Qt dialog themselves: they ask a
// Dialogs, which is QtDialogs in the program and ScriptedDialogs in tests. A cancelled dialog
// answers std::nullopt.
//
// Filters are written as the program's pages give them: a description and a pattern joined by a
// vertical bar ("Artidx.mul|Artidx.mul", "*.bmp|*.bmp").

#include <functional>
#include <map>
#include <optional>

#include <QColor>
#include <QImage>
#include <QString>
#include <QStringList>

namespace quillotide::ui {

enum class MessageIcon { Information, Warning, Error };

struct FileRequest {
  QString title;
  QString filter;            // "Description|pattern"
  QString defaultExtension;  // without the dot; appended when the chosen name has none
  // The file name shown when the dialog opens. A path (the file a model loaded) opens the dialog
  // in its folder; a bare name opens it in the folder last used for the same filter.
  QString proposedName;
};

class Dialogs {
public:
  virtual ~Dialogs() = default;
  // The chosen existing file, or nullopt when cancelled.
  virtual std::optional<QString> openFile(const FileRequest& request) = 0;
  // The chosen target path, or nullopt when cancelled. There is no overwrite prompt.
  virtual std::optional<QString> saveFile(const FileRequest& request) = 0;
  // proposedFolder: the folder the chooser opens in (the folder a model was loaded from);
  // empty: the one last chosen under that title.
  virtual std::optional<QString> chooseFolder(const QString& title,
                                              const QString& proposedFolder = {}) = 0;
  // One line of text, or nullopt when cancelled.
  virtual std::optional<QString> inputBox(const QString& caption, const QString& prompt,
                                          const QString& defaultText) = 0;
  // A password, typed where it is not shown; nullopt when cancelled.
  virtual std::optional<QString> password(const QString& caption, const QString& prompt) = 0;
  virtual void message(const QString& caption, const QString& text, MessageIcon icon) = 0;
  // The chosen colour, or nullopt when cancelled.
  virtual std::optional<QColor> chooseColour(const QColor& initial) = 0;
  // A question answered by one of the buttons (captions in the order shown): the index of the
  // button chosen, or nullopt when the box is closed without a choice.
  virtual std::optional<int> ask(const QString& caption, const QString& text,
                                 const QStringList& buttons) = 0;
  // A modal window whose client area has the picture's size and shows it.
  virtual void showPicture(const QString& caption, const QImage& picture) = 0;

  // A plain message under the program's caption, as most tools show them ("Not found.").
  void showMessage(const QString& text) { message(kCaption, text, MessageIcon::Information); }
  void showError(const QString& text) { message(kCaption, text, MessageIcon::Error); }

  static inline const QString kCaption = QStringLiteral("Quillotide");

  // The folder a file dialog opens in: the folder of a proposed path, else the folder of the file
  // last chosen with the same filter (its kind of file), else the folder of the last choice of
  // any kind; empty before the first choice.
  QString startFolder(const FileRequest& request) const;
  // The folder a folder chooser opens in: the one last chosen under that title, else the folder
  // of the last choice of any kind.
  QString startFolder(const QString& folderTitle, const QString& proposedFolder = {}) const;

protected:
  // Called by every implementation with what the user chose, so the next dialog of the kind
  // opens there.
  void rememberFile(const FileRequest& request, const QString& chosenPath);
  void rememberFolder(const QString& folderTitle, const QString& chosenFolder);

private:
  std::map<QString, QString> m_folders;  // by filter, and by "folder:" and the chooser's title
  QString m_lastFolder;
};

// For a file chosen to be read: true, after the box "Datei nicht gefunden", when the path is
// empty or names no file.
bool reportMissingFile(Dialogs& dialogs, const QString& path,
                       MessageIcon icon = MessageIcon::Error);

// Runs one user action. A quillotide::Error (or any other exception) ends the action and its text
// is shown in an error box, so no exception ever leaves a Qt event handler. Returns true when the
// action ran to its end.
bool runAction(Dialogs& dialogs, const std::function<void()>& action);

}  // namespace quillotide::ui
