#pragma once
// UndoStack: the world session's undo and redo. A step is one or more actions, each a pair of
// calls that make and take back one edit through the same path as the edit itself (the item
// dispatcher for items, the map model for cells), so what a later save writes is the same as if
// the edit had been made or never made by hand. The caller makes the edit first and then
// records it; a group (one drag stroke, one fill, one nuke, one area move) gathers every action
// recorded while it is open into one step. The stack holds at most `depth` steps and drops the
// oldest first. Each action names the parts of the world it changes (a bit each); a saved marker
// per part tells whether that part is back at the state of its last save.

#include <array>
#include <cstddef>
#include <climits>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace quillotide {

struct UndoAction {
  std::function<void()> redo;
  std::function<void()> undo;
  // The parts the edit changes, one bit each (UndoStack::kPartCount of them); every part unless
  // named.
  std::uint32_t parts = ~0u;
};

class UndoStack {
public:
  static constexpr std::size_t kDefaultDepth = 10000;
  static constexpr int kPartCount = 8;
  static constexpr std::uint32_t kAllParts = (1u << kPartCount) - 1;

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
  // Counts the outermost groups begun, so a recorder can tell whether it is still in the group
  // it last recorded into.
  std::uint64_t groupSerial() const { return m_groupSerial; }
  // True while a step is being undone or redone; the parts that step names.
  bool replaying() const { return m_replaying; }
  std::uint32_t replayingParts() const { return m_replaying ? m_replayParts : 0; }

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

  // The given parts now equal what was last saved (after a patch or save of the world).
  void markSaved(std::uint32_t parts = kAllParts);
  // Whether every given part equals its saved state: no step between the saved point and now
  // changes it. False once that point can no longer be reached (a step changing the part was
  // dropped for depth or replaced by a new edit after undoing).
  bool isAtSaved(std::uint32_t parts = kAllParts) const;
  // The parts the step Undo or Redo would take changes.
  std::uint32_t undoParts() const { return canUndo() ? m_steps[m_index - 1].parts : 0; }
  std::uint32_t redoParts() const { return canRedo() ? m_steps[m_index].parts : 0; }

  // Forgets every step; the current state becomes the saved one (a world newly opened).
  void clear();

  std::size_t size() const { return m_steps.size(); }
  std::size_t depth() const { return m_depth; }

  // Called with the step's name each time a new step is complete (a recorded edit outside a
  // group, or the end of a group that holds one): where a step goes on from here, such as into
  // a shared world.
  void setStepHandler(std::function<void(const std::string& label)> handler) {
    m_stepHandler = std::move(handler);
  }

private:
  struct Step {
    std::string label;
    std::vector<UndoAction> actions;
    std::uint32_t parts = 0;
  };
  void push(Step step);
  // Whether a step in [from, to) changes a part of `parts`.
  bool changesBetween(std::int64_t from, std::int64_t to, std::uint32_t parts) const;

  // A part's saved point: the number of steps done when it was saved, counted as m_index is.
  // Steps dropped for depth move it below 0; kUnreachable once no undo or redo can get back.
  static constexpr std::int64_t kUnreachable = INT64_MIN;
  std::size_t m_depth;
  std::function<void(const std::string& label)> m_stepHandler;
  std::deque<Step> m_steps;
  std::size_t m_index = 0;  // steps below it are done, the rest can be redone
  std::array<std::int64_t, kPartCount> m_saved{};
  int m_groupDepth = 0;
  std::uint64_t m_groupSerial = 0;
  Step m_group;
  bool m_replaying = false;
  std::uint32_t m_replayParts = 0;
};

// Everything recorded while it lives is one step named `label`, also when an edit throws on the
// way.
class UndoGroup {
public:
  UndoGroup(UndoStack& stack, const std::string& label) : m_stack(stack) {
    m_stack.beginGroup(label);
  }
  ~UndoGroup() { m_stack.endGroup(); }
  UndoGroup(const UndoGroup&) = delete;
  UndoGroup& operator=(const UndoGroup&) = delete;

private:
  UndoStack& m_stack;
};

}  // namespace quillotide
