#pragma once
// The editor's tools 1 to 27: what a click (or a drag step) on a drawn item does with the current
// EditorTool. Tools 1 to 19 edit statics, world-file and diff items: each edit changes the
// editor's copy in VisibleItems and goes through TItems to the item's owner; new items are always
// world-file items. Tools 20 to 27 change the land cells of the editor's land brush through the
// map model (26 "Smooth", 27 "Flatten" to the altitude of the stroke's first cell).
//
// The tool windows hand in what the tools read (the current id and colour, the check boxes and
// the number fields, read as text when the tool needs them) and take what the tools give back.

#include <cstdint>
#include <string>
#include <vector>

#include <QString>

#include "world/Item.h"

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class TSEditorForm;

// What the static tool window holds for tools 1 to 19.
class StaticToolInputs {
public:
  virtual ~StaticToolInputs() = default;
  virtual int currentId() const = 0;
  virtual int currentColour() const = 0;
  virtual bool useColour() const = 0;
  virtual bool moveArea() const = 0;
  virtual bool moveTestId() const = 0;
  virtual bool nukeSetColour() const = 0;
  virtual bool nukeTestId() const = 0;
  virtual bool nukeTestHeight() const = 0;
  // The texts of the number fields: move step, altitude step, tile altitude, nuke height range.
  virtual QString moveStep() const = 0;
  virtual QString upDownStep() const = 0;
  virtual QString tileZ() const = 0;
  virtual QString nukeDown() const = 0;
  virtual QString nukeUp() const = 0;
  // Tool 1: show the item in "Item Info".
  virtual void showInfo(const TItem& item) = 0;
  // Tools 18 and 19: the item's id or hue becomes current and goes onto its history.
  virtual void takeId(int id) = 0;
  virtual void takeColour(int colour) = 0;
};

// What the map tool window holds for tools 20 to 27.
class MapToolInputs {
public:
  virtual ~MapToolInputs() = default;
  virtual int currentId() const = 0;
  // The ids "Set Id" paints, each cell one of them drawn at random; never empty.
  virtual std::vector<int> landIds() const = 0;
  virtual QString upDownStep() const = 0;
  virtual QString minZ() const = 0;
  virtual QString maxZ() const = 0;
  // Tool 20: the land cell's id becomes current and goes onto the history.
  virtual void takeId(int id) = 0;
};

// One step of the eight screen directions and the two altitude moves, tools 7 to 16.
struct MoveStep {
  int dx;
  int dy;
  int dz;
};
// The step of a move tool (7 to 14: the move field's cells in its direction; 15, 16: the up/down
// field, within -256 .. 256); nothing for any other tool. Throws Error for a field that is no
// number.
MoveStep staticToolMove(int tool, const StaticToolInputs& inputs);

// The name an edit of the tool gives its undo step ("Delete", "Nuke", "Raise", ...).
std::string editorToolStepName(int tool);

// Sets the editor's handlers of tools 1 to 27. The inputs must outlive the editor's use of them.
void installEditorTools(TSEditorForm& editor, Registry& registry, StaticToolInputs& statics,
                        MapToolInputs& map);

}  // namespace quillotide::ui
