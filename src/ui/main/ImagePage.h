#pragma once
// What the gump, texture and light pages share: a slot list on the left, the picture of the
// selected slot on the right, and a pop-up menu on the list whose entries act on the selected
// slot. A page says when a slot is shown, which picture it shows (a verdata patch before the
// file's own slot) and where the picture goes; the base class draws, exports and refreshes.

#include <cstdint>
#include <functional>
#include <optional>

#include <QWidget>

#include "app/Colour.h"

class QAction;
class QMenu;
class QVBoxLayout;
class QHBoxLayout;

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class Dialogs;
class PictureView;
class SlotListView;
class TMainForm;

class ImageSlotPage : public QWidget {
  Q_OBJECT
public:
  SlotListView* list() const { return m_list; }
  PictureView* view() const { return m_view; }
  QMenu* popupMenu() const { return m_menu; }

  // Clears the view and draws the slot when the page shows it. A damaged slot leaves the view
  // cleared and its message is shown.
  void showSlot(std::int32_t slot);
  // Shows the selected line again and repaints the list (after a change to the files).
  void refresh();

  // "Save to Bitmap": a save dialog proposing "0x%x.bmp"; when the slot is shown, its picture
  // (the patch when patched) is written as a 32-bit BMP.
  void saveToBitmap();

protected:
  struct ListSetup {
    QString name;  // the page's component stem: lb<name>, cb<name>Filter, e<name>Search, ...
    bool filterBox = true;
    bool search = true;
  };
  ImageSlotPage(TMainForm& main, const ListSetup& setup, QSize viewSize, QWidget* parent);

  // Whether the view shows the slot (full in its file, or patched).
  virtual bool slotShown(std::int32_t slot) const = 0;
  // The picture the view shows for a shown slot: the patch when patched, else the file's slot.
  virtual Bitmap32 slotPicture(std::int32_t slot) const = 0;
  // The picture's top-left corner in the view; centred unless a page says otherwise.
  virtual QPoint placement(const Bitmap32& picture) const;
  // Runs before the view is drawn (the gump page's animation label).
  virtual void beforeShow(std::int32_t) {}
  // The list lost its selection (a filter change, a load): nothing of the old line stays on show.
  virtual void clearShown();

  // Adds a pop-up entry that runs `action` on the selected slot through the action helper.
  QAction* addMenuEntry(const QString& name, const QString& caption,
                        std::function<void(std::int32_t)> action);
  // "Load from Bitmap" and its kin: an open dialog for "*.bmp|*.bmp", then `load` with the path;
  // the view and the list are refreshed afterwards.
  void loadBitmap(const std::function<void(const std::string&)>& load);
  // The free-slot list finder: a save dialog proposing "EmptyIDs.txt", then one line "0x%x" per
  // slot 0 .. count - 1 that `exists` calls empty.
  void writeEmptyIds(std::int64_t count, const std::function<bool(std::int64_t)>& exists);

  TMainForm& m_main;
  Registry& m_registry;
  Dialogs& m_dialogs;
  SlotListView* m_list;
  PictureView* m_view;
  QMenu* m_menu;
  // The column under the list (filter box and search already there) and the one of the view.
  QVBoxLayout* m_listColumn;
  QVBoxLayout* m_viewColumn;
};

// The proposed name of an exported slot: "0x%x.bmp".
QString bitmapNameOf(std::int32_t slot);

}  // namespace quillotide::ui
