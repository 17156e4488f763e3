#include "ui/editor/SharedLink.h"

#include <QDir>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>

#include "registry/Registry.h"
#include "ui/main/MainForm.h"
#include "ui/main/SettingsPage.h"

#include "world/WorldFile.h"
#include "ui/editor/EditorSelection.h"
#include "ui/editor/SEditorForm.h"
#include "ui/platform/Dialogs.h"
#include "ui/platform/GaugeForm.h"

namespace quillotide::ui {

SharedLink::SharedLink(TSEditorForm& editor, std::unique_ptr<SharedSession> session,
                       Dialogs& dialogs, TWorldFile* worldFile)
    : QObject(&editor),
      m_editor(editor),
      m_session(std::move(session)),
      m_dialogs(dialogs),
      m_worldFile(worldFile) {
  m_builder = m_session->world().canWrite();
  m_retry = new QTimer(this);
  m_retry->setInterval(kReconnectMs);
  connect(m_retry, &QTimer::timeout, this, [this] { tryReconnect(); });
  watchSocket();
}

SharedLink::~SharedLink() = default;

QString SharedLink::statusText() const {
  if (!m_connected) return m_lost + QStringLiteral("; edits are paused");
  const QString where = QStringLiteral("Shared world %1, facet %2")
                            .arg(QString::fromStdString(m_session->world().connection().describe()))
                            .arg(m_session->facet());
  return m_builder ? where : where + QStringLiteral(": read-only, you are a viewer");
}

void SharedLink::watchSocket() {
  delete m_notifier;
  m_notifier = nullptr;
  const int fd = m_session->world().connection().socket();
  if (fd < 0) return;
  m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
  connect(m_notifier, &QSocketNotifier::activated, this, [this] { sync(); });
}

void SharedLink::stepRecorded(const std::string& label) {
  m_label = label;
  if (m_commitWaiting) return;
  m_commitWaiting = true;
  // The tool that made the step is still at work: the step goes out once it is done.
  QTimer::singleShot(0, this, [this] { commitPending(); });
}

void SharedLink::commitPending() {
  if (!m_commitWaiting) return;
  m_commitWaiting = false;
  // Items a tool adds are world-file items; in a shared world they are statics at once. What
  // was selected of them (a paste) stays selected as the statics they become.
  if (m_worldFile && m_session->statics()) {
    Selection& selection = m_editor.selection().selection();
    for (const TItem& item : m_worldFile->unwrittenItems()) {
      if (item.deleted) continue;
      const std::int32_t serial =
          m_session->statics()->add(item.tileId, item.x, item.y, item.z, item.hue);
      if (!selection.contains(item)) continue;
      selection.remove(item);
      if (const auto added = m_session->statics()->item(serial)) selection.add(*added);
    }
    m_worldFile->dropUnwritten();
  }
  SharedTouched changed;
  try {
    const SharedStepResult r = m_session->commit(m_label, &changed);
    if (!r.applied && !r.refusal.empty()) m_dialogs.showError(QString::fromStdString(r.refusal));
  } catch (const ConnectionLostError& e) {
    connectionLost(QString::fromStdString(e.what()));
  } catch (const Error& e) {
    m_dialogs.showError(QString::fromStdString(e.what()));
  }
  // The world holds the steps now; taking one back goes through the world.
  m_editor.undoStack().clear();
  m_editor.updateUndoActions();
  touched(changed, true);
}

void SharedLink::undo() {
  if (!mayEdit()) return;
  commitPending();
  SharedTouched changed;
  try {
    const SharedStepResult r = m_session->undo(&changed);
    if (!r.applied && !r.refusal.empty()) m_dialogs.showError(QString::fromStdString(r.refusal));
  } catch (const ConnectionLostError& e) {
    connectionLost(QString::fromStdString(e.what()));
  } catch (const Error& e) {
    m_dialogs.showError(QString::fromStdString(e.what()));
  }
  touched(changed, true);
}

void SharedLink::sync() {
  commitPending();
  if (!m_connected) return;
  try {
    touched(m_session->takeSteps(), false);
  } catch (const ConnectionLostError& e) {
    connectionLost(QString::fromStdString(e.what()));
  }
}

void SharedLink::touched(const SharedTouched& t, bool always) {
  if (t.empty() && !always) return;
  m_editor.requestRebuild();
  m_editor.worldChanged();
  emit stepsChanged();
}

void SharedLink::connectionLost(const QString& reason) {
  m_connected = false;
  m_lost = reason;
  delete m_notifier;
  m_notifier = nullptr;
  m_retry->start();
  emit stateChanged();
}

void SharedLink::tryReconnect() {
  try {
    m_session->world().reconnect();
    m_connected = true;
    m_lost.clear();
    m_retry->stop();
    watchSocket();
    touched(m_session->catchUp(), true);
  } catch (const ConnectionLostError& e) {
    m_lost = QString::fromStdString(e.what());
  }
  emit stateChanged();
}

void openSharedWorld(TMainForm& main, const std::string& url, int facet) {
  Registry& registry = main.registry();
  main.settingsPage()->loadForWorldeditor();
  std::unique_ptr<SharedSession> session;
  const bool opened = runAction(main.dialogs(), [&] {
    // libpq's own sources (the password file, the service file, PGPASSWORD) come first; the
    // user is asked only when they give none, and the answer is kept nowhere.
    const auto ask = [&main](const std::string& prompt) -> std::optional<std::string> {
      const auto typed =
          main.dialogs().password(QStringLiteral("Shared world"), QString::fromStdString(prompt));
      if (!typed) return std::nullopt;
      return typed->toStdString();
    };
    auto world = std::make_unique<SharedWorld>(url, ask);
    const std::string database = world->connection().database();
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    QDir().mkpath(cache);
    const std::string mapFile =
        QDir(cache)
            .filePath(QStringLiteral("shared-%1-map%2.mul")
                          .arg(QString::fromStdString(database))
                          .arg(facet))
            .toStdString();
    session = std::make_unique<SharedSession>(std::move(world), facet);
    session->load(*registry.map, *registry.statics, mapFile, main.gauge());
  });
  if (!opened) return;
  TSEditorForm::open(main);
  TSEditorForm::of(main).attachShared(std::move(session));
}

}  // namespace quillotide::ui
