#include "models/UndoStack.h"

namespace quillotide {

namespace {

// Sets a flag for the lifetime of the guard, also when an action throws.
struct FlagGuard {
  explicit FlagGuard(bool& flag) : m_flag(flag) { m_flag = true; }
  ~FlagGuard() { m_flag = false; }
  FlagGuard(const FlagGuard&) = delete;
  FlagGuard& operator=(const FlagGuard&) = delete;
  bool& m_flag;
};

}  // namespace

void UndoStack::record(const std::string& label, UndoAction action) {
  if (m_replaying) return;
  if (m_groupDepth > 0) {
    m_group.actions.push_back(std::move(action));
    return;
  }
  Step step;
  step.label = label;
  step.actions.push_back(std::move(action));
  push(std::move(step));
}

void UndoStack::beginGroup(const std::string& label) {
  if (m_replaying) return;
  if (m_groupDepth++ == 0) m_group = Step{label, {}};
}

void UndoStack::endGroup() {
  if (m_replaying || m_groupDepth == 0) return;
  if (--m_groupDepth > 0) return;
  Step step = std::move(m_group);
  m_group = Step{};
  if (!step.actions.empty()) push(std::move(step));
}

void UndoStack::push(Step step) {
  // A new edit after undoing replaces what could have been redone; a save among those steps
  // can no longer be reached.
  if (m_index < m_steps.size()) {
    if (m_savedReachable && m_saved > m_index) m_savedReachable = false;
    m_steps.erase(m_steps.begin() + static_cast<std::ptrdiff_t>(m_index), m_steps.end());
  }
  m_steps.push_back(std::move(step));
  ++m_index;
  while (m_steps.size() > m_depth) {
    m_steps.pop_front();
    --m_index;
    if (m_saved == 0)
      m_savedReachable = false;
    else
      --m_saved;
  }
}

std::string UndoStack::undoLabel() const { return canUndo() ? m_steps[m_index - 1].label : ""; }

std::string UndoStack::redoLabel() const { return canRedo() ? m_steps[m_index].label : ""; }

void UndoStack::undo() {
  if (!canUndo() || m_groupDepth > 0) return;
  FlagGuard guard(m_replaying);
  const Step& step = m_steps[m_index - 1];
  for (auto it = step.actions.rbegin(); it != step.actions.rend(); ++it) it->undo();
  --m_index;
}

void UndoStack::redo() {
  if (!canRedo() || m_groupDepth > 0) return;
  FlagGuard guard(m_replaying);
  for (const auto& action : m_steps[m_index].actions) action.redo();
  ++m_index;
}

void UndoStack::markSaved() {
  m_saved = m_index;
  m_savedReachable = true;
}

void UndoStack::clear() {
  m_steps.clear();
  m_index = 0;
  m_group = Step{};
  m_groupDepth = 0;
  markSaved();
}

}  // namespace quillotide
