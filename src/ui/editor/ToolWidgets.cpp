#include "ui/editor/ToolWidgets.h"

#include <algorithm>

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QToolButton>

namespace quillotide::ui {

QToolButton* makeToolButton(QWidget* parent, const QString& name, const QString& caption,
                            const QString& hint, int tool) {
  auto* b = new QToolButton(parent);
  b->setObjectName(name);
  b->setText(caption);
  b->setToolTip(hint);
  b->setCheckable(true);
  b->setProperty("editorTool", tool);
  return b;
}

namespace {

class NavigationKeys : public QObject {
public:
  using QObject::QObject;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::ShortcutOverride) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    switch (key->key()) {
      case Qt::Key_Left:
      case Qt::Key_Right:
      case Qt::Key_Up:
      case Qt::Key_Down:
      case Qt::Key_PageUp:
      case Qt::Key_PageDown:
      case Qt::Key_Home:
      case Qt::Key_End:
        key->accept();
        return false;
      default:
        return false;
    }
  }
};

class FieldKeys : public QObject {
public:
  explicit FieldKeys(QWidget* window) : QObject(window), m_window(window) {}

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    // The focus widget did not claim the key, and the override travelled up to the window.
    if (watched != m_window || event->type() != QEvent::ShortcutOverride) return false;
    QWidget* focus = QApplication::focusWidget();
    if (!focus || focus == m_window || focus->window() != m_window) return false;
    if (qobject_cast<QAbstractButton*>(focus)) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (reachesEditor(*key)) return false;
    key->accept();
    return true;
  }

private:
  static bool reachesEditor(const QKeyEvent& key) {
    const Qt::KeyboardModifiers mods = key.modifiers();
    if (mods & (Qt::AltModifier | Qt::MetaModifier)) return true;
    if (!(mods & Qt::ControlModifier)) return false;
    switch (key.key()) {
      case Qt::Key_Z:
      case Qt::Key_Y:
      case Qt::Key_F:
      case Qt::Key_G:
      case Qt::Key_M:
        return true;
      default:
        return false;
    }
  }

  QWidget* m_window;
};

class ListKeys : public QObject {
public:
  ListKeys(QLineEdit* field, QWidget* target) : QObject(field), m_target(target) {}

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    switch (static_cast<QKeyEvent*>(event)->key()) {
      case Qt::Key_Up:
      case Qt::Key_Down:
      case Qt::Key_PageUp:
      case Qt::Key_PageDown:
      case Qt::Key_Return:
      case Qt::Key_Enter:
        QApplication::sendEvent(m_target, event);
        return true;
      default:
        return false;
    }
  }

private:
  QWidget* m_target;
};

}  // namespace

void passListKeys(QLineEdit* field, QWidget* target) {
  keepNavigationKeys(field);
  field->installEventFilter(new ListKeys(field, target));
}

void keepFieldKeys(QWidget* window) { window->installEventFilter(new FieldKeys(window)); }

void keepNavigationKeys(QWidget* widget) { widget->installEventFilter(new NavigationKeys(widget)); }

void showCurrentTool(const std::vector<QToolButton*>& group, int tool) {
  for (QToolButton* b : group) b->setChecked(b->property("editorTool").toInt() == tool);
}

QLineEdit* makeIdField(QWidget* parent, const QString& name) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(name);
  e->setToolTip(QStringLiteral("Type an id and press Enter"));
  return e;
}

QString idListText(const std::vector<int>& ids) {
  QStringList texts;
  for (int id : ids) texts << QString::asprintf("0x%X", static_cast<unsigned>(id));
  return texts.join(QStringLiteral(", "));
}

void ValueHistory::push(int value) {
  std::copy_backward(m_slots.begin(), m_slots.end() - 1, m_slots.end());
  m_slots[0] = value;
}

ToolPicture::ToolPicture(int width, int height, const QString& hint, QWidget* parent)
    : QLabel(parent) {
  setFixedSize(width, height);
  setToolTip(hint);
  setFrameShape(QFrame::Box);
  setLineWidth(0);
}

void ToolPicture::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) emit
    historyRequested(event->globalPosition().toPoint());
  else if (event->button() == Qt::LeftButton) emit
    chooseRequested();
}

void ToolPicture::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit
    chooseRequested();
}

HistoryMenu::HistoryMenu(const QString& name, QWidget* parent)
    : QObject(parent), m_menu(new QMenu(parent)) {
  m_menu->setObjectName(name);
}

void HistoryMenu::popup(const ValueHistory& history, QPoint globalPos) {
  m_menu->clear();
  for (std::size_t slot = 1; slot < ValueHistory::kSlots; ++slot) {
    const int value = history.at(slot);
    QAction* a = m_menu->addAction(QString::asprintf("0x%X", static_cast<unsigned>(value)));
    connect(a, &QAction::triggered, this, [this, value] { emit chosen(value); });
  }
  m_menu->popup(globalPos);
}

IdStepper::IdStepper(QPushButton* down, QPushButton* up, QObject* parent) : QObject(parent) {
  m_timer.setInterval(kInterval);
  connect(&m_timer, &QTimer::timeout, this, [this] { emit stepped(m_up); });
  connect(down, &QPushButton::pressed, this, [this] { start(false); });
  connect(up, &QPushButton::pressed, this, [this] { start(true); });
  connect(down, &QPushButton::released, &m_timer, &QTimer::stop);
  connect(up, &QPushButton::released, &m_timer, &QTimer::stop);
}

void IdStepper::start(bool up) {
  m_up = up;
  emit stepped(up);
  m_timer.start();
}

int steppedId(int id, bool up) { return std::clamp(id + (up ? 1 : -1), 0, IdStepper::kLastId); }

QImage centredPicture(const Bitmap32& art, int side) {
  QImage picture(side, side, QImage::Format_ARGB32);
  picture.fill(Qt::white);
  const int left = (side - art.width) / 2, top = (side - art.height) / 2;
  for (int y = 0; y < art.height; ++y) {
    if (top + y < 0 || top + y >= side) continue;
    for (int x = 0; x < art.width; ++x)
      if (left + x >= 0 && left + x < side) picture.setPixel(left + x, top + y, art.at(x, y));
  }
  return picture;
}

}  // namespace quillotide::ui
