#include <gtest/gtest.h>

#include <stdexcept>

#include "registry/Registry.h"
#include "world/Items.h"
#include "world/Map.h"
#include "world/Statics.h"
#include "world/UndoStack.h"
#include "world/WorldUndo.h"
#include "support/TestFiles.h"
#include "support/WorldFiles.h"

using namespace quillotide;
using quillotide::test::CellSpec;
using quillotide::test::TempDir;

namespace {

// A row of values edited one slot at a time; each edit is recorded as the editor records its own.
struct Row {
  std::vector<int> values = std::vector<int>(8, 0);
  std::vector<std::string> log;
  void set(UndoStack& stack, const std::string& label, std::size_t slot, int value) {
    const int before = values[slot];
    values[slot] = value;
    stack.record(label, {[this, slot, value] {
                           values[slot] = value;
                           log.push_back("redo " + std::to_string(slot));
                         },
                         [this, slot, before] {
                           values[slot] = before;
                           log.push_back("undo " + std::to_string(slot));
                         }});
  }
};

}  // namespace

TEST(UndoStackTest, AGroupIsOneStepTakenBackInReverseAndMadeAgainInOrder) {
  UndoStack stack;
  Row row;
  row.set(stack, "Set", 0, 5);
  stack.beginGroup("Stroke");
  row.set(stack, "ignored", 1, 1);
  stack.beginGroup("Inner");
  row.set(stack, "ignored", 2, 2);
  stack.endGroup();
  row.set(stack, "ignored", 1, 3);
  stack.endGroup();
  stack.beginGroup("Empty");
  stack.endGroup();

  EXPECT_EQ(stack.size(), 2u);
  EXPECT_EQ(stack.undoLabel(), "Stroke");
  EXPECT_EQ(stack.redoLabel(), "");
  stack.undo();
  EXPECT_EQ(row.values, (std::vector<int>{5, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(row.log, (std::vector<std::string>{"undo 1", "undo 2", "undo 1"}));
  EXPECT_EQ(stack.undoLabel(), "Set");
  EXPECT_EQ(stack.redoLabel(), "Stroke");
  row.log.clear();
  stack.redo();
  EXPECT_EQ(row.values, (std::vector<int>{5, 3, 2, 0, 0, 0, 0, 0}));
  EXPECT_EQ(row.log, (std::vector<std::string>{"redo 1", "redo 2", "redo 1"}));
  stack.undo();
  stack.undo();
  EXPECT_FALSE(stack.canUndo());
  stack.undo();  // nothing left: no change, no error
  EXPECT_EQ(row.values, std::vector<int>(8, 0));

  // A new edit after undoing drops what could have been redone.
  row.set(stack, "Other", 4, 4);
  EXPECT_FALSE(stack.canRedo());
  EXPECT_EQ(stack.size(), 1u);
}

TEST(UndoStackTest, EditsMadeWhileReplayingAreNotRecordedAgain) {
  UndoStack stack;
  int value = 0;
  // An undo that goes through a path which records, as the dispatcher's notice would.
  std::function<void(int)> edit = [&](int v) {
    const int before = value;
    value = v;
    stack.record("Edit", {[&edit, v] { edit(v); }, [&edit, before] { edit(before); }});
  };
  edit(1);
  edit(2);
  stack.undo();
  stack.undo();
  EXPECT_EQ(value, 0);
  EXPECT_EQ(stack.size(), 2u);
  stack.redo();
  stack.redo();
  EXPECT_EQ(value, 2);
  EXPECT_EQ(stack.size(), 2u);
}

TEST(UndoStackTest, AFailingActionLeavesTheStepInPlace) {
  UndoStack stack;
  bool fail = true;
  stack.record("Move", {[] {},
                        [&fail] {
                          if (fail) throw std::runtime_error("outside the world");
                        }});
  EXPECT_THROW(stack.undo(), std::runtime_error);
  EXPECT_TRUE(stack.canUndo());
  EXPECT_FALSE(stack.canRedo());
  fail = false;
  stack.undo();
  EXPECT_TRUE(stack.canRedo());
  // The replay guard was released by the throw: new edits are recorded again.
  stack.record("Next", {[] {}, [] {}});
  EXPECT_EQ(stack.undoLabel(), "Next");
}

TEST(UndoStackTest, TheSavedMarkerIsExactAcrossUndoRedoAndDepth) {
  UndoStack stack(3);
  Row row;
  EXPECT_TRUE(stack.isAtSaved());
  row.set(stack, "A", 0, 1);
  row.set(stack, "B", 1, 1);
  EXPECT_FALSE(stack.isAtSaved());
  stack.markSaved();
  row.set(stack, "C", 2, 1);
  EXPECT_FALSE(stack.isAtSaved());
  stack.undo();
  EXPECT_TRUE(stack.isAtSaved());
  stack.undo();
  EXPECT_FALSE(stack.isAtSaved());
  stack.redo();
  EXPECT_TRUE(stack.isAtSaved());

  // Undo before the save, then a new edit: the saved state is gone for good.
  stack.undo();
  row.set(stack, "D", 3, 1);
  EXPECT_FALSE(stack.isAtSaved());
  stack.undo();
  EXPECT_FALSE(stack.isAtSaved());

  // The depth drops the oldest steps first, and with them a save that lay before them.
  UndoStack small(3);
  Row r;
  for (int i = 0; i < 5; ++i) r.set(small, "S" + std::to_string(i), static_cast<std::size_t>(i), 1);
  EXPECT_EQ(small.size(), 3u);
  small.undo();
  small.undo();
  small.undo();
  EXPECT_FALSE(small.canUndo());
  EXPECT_EQ(r.values, (std::vector<int>{1, 1, 0, 0, 0, 0, 0, 0}));
  small.markSaved();
  small.redo();
  small.redo();
  small.redo();
  r.set(small, "T", 6, 1);  // drops the step above the save
  small.undo();
  small.undo();
  small.undo();
  EXPECT_FALSE(small.isAtSaved());

  EXPECT_EQ(UndoStack().depth(), 10000u);
}

TEST(UndoStackTest, EachPartKeepsItsOwnSavedMarker) {
  constexpr std::uint32_t kMap = 1, kStatics = 2;
  UndoStack stack;
  int map = 0, statics = 0;
  const auto edit = [&](int& value, std::uint32_t part) {
    const int before = value++;
    const int after = value;
    stack.record("Edit", {[&value, after] { value = after; }, [&value, before] { value = before; },
                          part});
  };
  edit(map, kMap);
  stack.markSaved(kMap);  // "Patch Map"
  edit(statics, kStatics);
  // The statics edit leaves the map as saved.
  EXPECT_TRUE(stack.isAtSaved(kMap));
  EXPECT_FALSE(stack.isAtSaved(kStatics));
  stack.undo();
  EXPECT_TRUE(stack.isAtSaved(kStatics));
  stack.undo();
  EXPECT_FALSE(stack.isAtSaved(kMap));
  EXPECT_TRUE(stack.isAtSaved(kStatics));
  stack.redo();
  EXPECT_TRUE(stack.isAtSaved());

  // A new edit replaces the statics step that could have been redone: the map's saved point lay
  // on the far side of it, but it did not change the map, so the map stays saved.
  edit(map, kMap);
  stack.markSaved(kMap);
  stack.undo();
  edit(statics, kStatics);
  EXPECT_FALSE(stack.isAtSaved(kMap));  // the step that made the saved map is gone
  stack.markSaved(kMap);
  stack.undo();
  edit(statics, kStatics);
  EXPECT_TRUE(stack.isAtSaved(kMap));
  // An action naming no part counts as changing every one.
  stack.record("Any", {[] {}, [] {}});
  EXPECT_FALSE(stack.isAtSaved(kMap));
  EXPECT_EQ(stack.undoParts(), ~0u);
}
