#pragma once
// UndoStack: the world session's undo and redo. A step is one or more actions, each a pair of
// calls that make and take back one edit through the same path as the edit itself (the item
// dispatcher for items, the map model for cells), so what a later save writes is the same as if
// the edit had been made or never made by hand. The caller makes the edit first and then
// records it; a group (one drag stroke, one fill, one nuke, one area move) gathers every action
// recorded while it is open into one step. The stack holds at most `depth` steps and drops the
// oldest first. A saved marker tells whether the models are back at the state of the last save.

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace quillotide {

struct UndoAction {
  std::function<void()> redo;
  std::function<void()> undo;
};

class UndoStack {
public:
  static constexpr std::size_t kDefaultDepth = 10000;

  explicit UndoStack(std::size_t depth = kDefaultDepth) : m_depth(depth ? depth : 1) {}

  // Records an edit already made. Outside a group it is a step of its own named `label`; inside
  // one it joins the group. Ignored while a step is being undone or redone, so edits the replay
  // makes through the same path are not recorded a second time. Drops every step that could
  // have been redone.
  void record(const std::string& label, UndoAction action);

  // Groups nest; the outermost group's label names the step. A group with no action adds no step.
  void beginGroup(const std::string& label);
  void endGroup();
  bool inGroup() const { return m_groupDepth > 0; }

  bool canUndo() const { return m_index > 0; }
  bool canRedo() const { return m_index < m_steps.size(); }
  // The name of the step Undo or Redo would take; empty when there is none.
  std::string undoLabel() const;
  std::string redoLabel() const;
  // Take back or make again one step; nothing when there is none. An action that throws
  // leaves the stack where it was (the step stays to be tried again) and the error reaches the
  // caller.
  void undo();
  void redo();

  // The models now equal what was last saved (after a patch or save of the world).
  void markSaved();
  // Whether the models equal the saved state; false once that state can no longer be reached
  // (its step was dropped for depth or replaced by a new edit after undoing).
  bool isAtSaved() const { return m_savedReachable && m_saved == m_index; }

  // Forgets every step; the current state becomes the saved one (a world newly opened).
  void clear();

  std::size_t size() const { return m_steps.size(); }
  std::size_t depth() const { return m_depth; }

private:
  struct Step {
    std::string label;
    std::vector<UndoAction> actions;
  };
  void push(Step step);

  std::size_t m_depth;
  std::deque<Step> m_steps;
  std::size_t m_index = 0;  // steps below it are done, the rest can be redone
  std::size_t m_saved = 0;
  bool m_savedReachable = true;
  int m_groupDepth = 0;
  Step m_group;
  bool m_replaying = false;
};

}  // namespace quillotide
