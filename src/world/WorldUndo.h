#pragma once
// WorldEdits: the world editor's edits, each made through the path the edit takes (cells through
// the map model, items through the dispatcher, which forwards to the owning model by the item's
// kind and serial) and recorded on the world session's undo stack as a pair of calls that make
// and take it back through the same path. A save therefore writes the same bytes whether an edit
// was made by hand, or made, undone and redone.
//
// Taking an edit back restores what its owner held before it: the item's fields and deleted
// flag, its serial, and the changed marks of the blocks it touched, so that a patch after
// undoing everything writes nothing an untouched world would not. Once the owner has been saved
// (or its items numbered afresh) after the edit, the marks are left set instead: the saved
// files hold the edit, so the reverted blocks must be written again. An item is then found again
// by what it holds (id, position, altitude, colour); a deleted one comes back as a new item.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "world/Item.h"
#include "world/UndoStack.h"
#include "world/WorldFile.h"

namespace quillotide {

class Progress;
class TItems;
class TMap;
class TStaticDiff;
class TStatics;

// The parts of the world an edit can change; the undo stack keeps a saved marker for each.
enum class WorldPart : std::uint32_t { Map = 1, Statics = 2, Diffs = 4, WorldFile = 8 };
constexpr std::uint32_t partBit(WorldPart part) { return static_cast<std::uint32_t>(part); }

// The models a world session edits; any may be null (its edits then do nothing).
struct WorldModels {
  TMap* map = nullptr;
  TStatics* statics = nullptr;
  TStaticDiff* diffs = nullptr;
  TWorldFile* world = nullptr;
  TItems* items = nullptr;
  bool operator==(const WorldModels&) const = default;
};

class WorldEdits {
public:
  explicit WorldEdits(UndoStack& stack) : m_stack(stack) {}
  // The models edits go to from now on. The stack must be cleared when they change: its steps
  // hold the models they were made on.
  void setModels(const WorldModels& models) { m_models = models; }
  const WorldModels& models() const { return m_models; }
  UndoStack& stack() { return m_stack; }
  // True while an edit of this recorder is being made (its notices are of a recorded edit).
  bool recording() const { return m_recording > 0; }

  // Item edits; `item` as drawn (its kind and serial). Each is one step named `label`, or part
  // of the open group. Nothing happens, and nothing is recorded, for an item its owner does not
  // hold; an owner's error (a move outside the world) reaches the caller with nothing recorded.
  void remove(const TItem& item, const std::string& label = "Delete");
  void setHue(const TItem& item, std::uint16_t hue, const std::string& label = "Colour");
  void setTileId(const TItem& item, std::uint16_t id, const std::string& label = "Set Id");
  void move(const TItem& item, int dx, int dy, int dz, const std::string& label = "Move");
  // A new world-file item through the dispatcher; returns its serial.
  std::int32_t add(std::uint16_t id, std::uint16_t x, std::uint16_t y, std::int8_t z,
                   std::uint16_t hue, const std::string& label = "Add");

  // One land cell changed by `change` (which edits it through the map model); recorded when the
  // cell or its block's change mark differs afterwards. Nothing happens outside the map.
  template <class Change>
  void editCell(int x, int y, Change&& change, const std::string& label = "Land");

  // The world file as a whole. A load keeps the items it added when a line stops it (the error
  // then reaches the caller after the step is recorded).
  std::size_t loadWorldFile(const std::string& path, WorldTextFormat format,
                            const std::string& label = "Load Worldfile");
  void clearWorldFile(const std::string& label = "Clear Worldfile");
  // Empties the statics (TStatics::clearAll) and returns its message. In memory mode the clear
  // is a step that can be taken back; files held open are emptied at once and nothing is
  // recorded.
  std::string clearStatics(Progress& progress, const std::string& label = "Clear Statics");

private:
  struct CellMarks;
  struct CellBatch;
  CellMarks cellMarks(int x, int y) const;
  void recordCell(int x, int y, const CellMarks& before, const std::string& label);
  void recordWorldList(std::vector<TItem> before, const std::string& label, std::uint32_t parts);

  // Runs `edit` on the item and records the change it made.
  template <class Edit>
  void editItem(const TItem& item, int dx, int dy, const std::string& label, Edit&& edit);

  UndoStack& m_stack;
  WorldModels m_models;
  int m_recording = 0;
  // The cells of one group go into one record: a drag with a large cursor changes many.
  std::shared_ptr<CellBatch> m_cellBatch;
  std::uint64_t m_cellBatchGroup = 0;
};

// ---- inline ------------------------------------------------------------------------------

struct WorldEdits::CellMarks {
  bool inside = false;
  std::uint16_t tileId = 0;
  std::int8_t z = 0;
  bool blockChanged = false;
  bool unsaved = false;
  std::uint64_t generation = 0;
};

template <class Change>
void WorldEdits::editCell(int x, int y, Change&& change, const std::string& label) {
  const CellMarks before = cellMarks(x, y);
  if (!before.inside) return;
  change(*m_models.map);
  recordCell(x, y, before, label);
}

}  // namespace quillotide
