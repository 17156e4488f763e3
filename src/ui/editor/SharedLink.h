#pragma once
// SharedLink: the world editor on a shared world. The editor's models hold the facet (through a
// SharedSession); each step the editor completes goes into the world as one step, right after
// the tool that made it; other builders' steps are read when the server announces them and
// drawn. A refused step is taken back and its reason shown. While the server cannot be reached
// the editor takes no edits and says so, tries again every few seconds and catches up once it
// is back. A viewer's editor takes no edits at all.

#include <memory>

#include <QObject>
#include <QString>

#include "world/SharedSession.h"

class QSocketNotifier;
class QTimer;

namespace quillotide {
class TWorldFile;
}

namespace quillotide::ui {

class Dialogs;
class TMainForm;
class TSEditorForm;

// Opens the world editor on a facet of the shared world the URL names: the editor's other files
// are loaded as for any start of the editor, the facet's map and statics come from the world
// (the map through a working copy in the user's cache folder). A world that cannot be reached
// or read is a message; the editor then stays closed.
void openSharedWorld(TMainForm& main, const std::string& url, int facet);

class SharedLink : public QObject {
  Q_OBJECT
public:
  static constexpr int kReconnectMs = 2000;

  // `worldFile`: where the editor's tools put new items; they become statics of the world.
  SharedLink(TSEditorForm& editor, std::unique_ptr<SharedSession> session, Dialogs& dialogs,
             TWorldFile* worldFile);
  ~SharedLink() override;

  SharedSession& session() { return *m_session; }
  // Whether an edit may be made now: a builder, connected.
  bool mayEdit() const { return m_builder && m_connected; }
  bool connected() const { return m_connected; }
  // What the editor shows about the shared world ("Shared world world on /srv/… facet 0", a
  // viewer's "read-only", or why edits are paused).
  QString statusText() const;

  // The editor completed a step: it goes into the world once the tool is done.
  void stepRecorded(const std::string& label);
  // Takes back this builder's last step in the world (Ctrl+Z on a shared world).
  void undo();
  // Commits what waits, then reads what the server sent (also called by the socket's notifier).
  void sync();

signals:
  void stateChanged();
  // Steps came in or went out: the world's history has more.
  void stepsChanged();

private:
  void commitPending();
  void connectionLost(const QString& reason);
  void tryReconnect();
  void watchSocket();
  // Draws what changed; `always` also when nothing did (a step taken back redraws the view).
  void touched(const SharedTouched& t, bool always);

  TSEditorForm& m_editor;
  std::unique_ptr<SharedSession> m_session;
  Dialogs& m_dialogs;
  TWorldFile* m_worldFile = nullptr;
  std::string m_label;
  QSocketNotifier* m_notifier = nullptr;
  QTimer* m_retry = nullptr;
  bool m_builder = false;
  bool m_connected = true;
  bool m_commitWaiting = false;
  QString m_lost;
};

}  // namespace quillotide::ui
