#pragma once
// Pieces the two tool windows share: the remembered values behind a picture's pop-up, the picture
// that opens a chooser on a click and the pop-up on a right press, and the pair of step buttons
// that count an id down or up at once and then every 100 ms while held.

#include <array>
#include <cstdint>
#include <vector>

#include "app/Colour.h"

#include <QImage>
#include <QLabel>
#include <QTimer>
#include <QWidget>

class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;

namespace quillotide::ui {

// A checkable button of a tool window's toggle group; its tool number rides along as the
// "editorTool" property.
QToolButton* makeToolButton(QWidget* parent, const QString& name, const QString& caption,
                            const QString& hint, int tool);
// Presses the button of the tool that acts and raises the others: the buttons of a tool window
// show the editor's current tool whoever chose it (all up when it is none of theirs).
void showCurrentTool(const std::vector<QToolButton*>& group, int tool);

// Keeps the arrows, Page Up/Down, Home and End (without Ctrl or Alt) for a widget that moves with
// them while it has the focus, before the editor's keys of the whole window (moving the view,
// raising a selection) take them.
void keepNavigationKeys(QWidget* widget);

// The keys typed into a field, list or grid of a tool window act there. Qt keeps the editor's
// window keys alive while one of its tool windows is active, and fields and lists leave many keys
// unclaimed (Page Up, Esc, Delete in a list, Ctrl+C in a grid), so without this they would move
// the view or edit the world's selection. Only the undo keys and the keys that open the editor's
// windows (Ctrl+F, Ctrl+G, Ctrl+M) still reach the editor; buttons pass every key on as before.
void keepFieldKeys(QWidget* window);

// A filter field over a list or grid: Up, Down, Page Up, Page Down and Enter typed in the field go
// to the target, so the user moves and chooses there while typing.
void passListKeys(QLineEdit* field, QWidget* target);

// The field beside the step buttons that shows the current id and takes a typed one on Enter.
QLineEdit* makeIdField(QWidget* parent, const QString& name);
// "0x%x" of each id, joined by ", ".
QString idListText(const std::vector<int>& ids);

// Six remembered values, slot 0 the newest; the pop-up lists slots 1 to 5, the values chosen
// before the current one.
class ValueHistory {
public:
  static constexpr std::size_t kSlots = 6;
  void push(int value);
  int at(std::size_t slot) const { return m_slots[slot]; }

private:
  std::array<int, kSlots> m_slots{};
};

// A fixed-size picture: a left click or double click asks for the chooser, a right press for
// the history pop-up at the mouse.
class ToolPicture : public QLabel {
  Q_OBJECT
public:
  ToolPicture(int width, int height, const QString& hint, QWidget* parent);

signals:
  void chooseRequested();
  void historyRequested(QPoint globalPos);

protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
};

// The history pop-up of a picture: "0x%x" of slots 1 to 5; choosing one hands its value on.
class HistoryMenu : public QObject {
  Q_OBJECT
public:
  HistoryMenu(const QString& name, QWidget* parent);
  void popup(const ValueHistory& history, QPoint globalPos);
  QMenu* menu() const { return m_menu; }

signals:
  void chosen(int value);

private:
  QMenu* m_menu;
};

// The left (down) and right (up) step buttons of an id: a press steps once at once and then
// every 100 ms until the release; the id stays within 0 .. 0x3FFF.
class IdStepper : public QObject {
  Q_OBJECT
public:
  static constexpr int kInterval = 100;
  static constexpr int kLastId = 0x3FFF;
  IdStepper(QPushButton* down, QPushButton* up, QObject* parent);

signals:
  // The id one step further (down when `up` is false); the receiver clamps and redraws.
  void stepped(bool up);

private:
  void start(bool up);
  QTimer m_timer;
  bool m_up = false;
};

// The id after one step, within 0 .. 0x3FFF.
int steppedId(int id, bool up);

// An id picture: side x side opaque white with the art copied at ((side - w) div 2,
// (side - h) div 2), div truncating towards zero, so larger art is centred and cut.
QImage centredPicture(const Bitmap32& art, int side);

}  // namespace quillotide::ui
