#include "world/UndoStack.h"

#include <algorithm>
#include <utility>

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
    m_group.parts |= action.parts;
    m_group.actions.push_back(std::move(action));
    return;
  }
  Step step;
  step.label = label;
  step.parts = action.parts;
  step.actions.push_back(std::move(action));
  push(std::move(step));
}

void UndoStack::beginGroup(const std::string& label) {
  if (m_replaying) return;
  if (m_groupDepth++ == 0) {
    m_group = Step{label, {}, 0};
    ++m_groupSerial;
  }
}

void UndoStack::endGroup() {
  if (m_replaying || m_groupDepth == 0) return;
  if (--m_groupDepth > 0) return;
  Step step = std::move(m_group);
  m_group = Step{};
  if (!step.actions.empty()) push(std::move(step));
}

void UndoStack::push(Step step) {
  const auto index = static_cast<std::int64_t>(m_index);
  // A new edit after undoing replaces what could have been redone. A part saved among those
  // steps can no longer be reached, unless none of them changed it: then it is saved here too.
  if (m_index < m_steps.size()) {
    for (int p = 0; p < kPartCount; ++p) {
      std::int64_t& saved = m_saved[static_cast<std::size_t>(p)];
      if (saved == kUnreachable || saved <= index) continue;
      saved = changesBetween(index, saved, 1u << p) ? kUnreachable : index;
    }
    m_steps.erase(m_steps.begin() + static_cast<std::ptrdiff_t>(m_index), m_steps.end());
  }
  const std::string label = step.label;
  m_steps.push_back(std::move(step));
  ++m_index;
  while (m_steps.size() > m_depth) {
    const std::uint32_t dropped = m_steps.front().parts;
    m_steps.pop_front();
    --m_index;
    for (int p = 0; p < kPartCount; ++p) {
      std::int64_t& saved = m_saved[static_cast<std::size_t>(p)];
      if (saved == kUnreachable) continue;
      // A saved point before a dropped step that changed the part is lost with it.
      saved = saved <= 0 && (dropped & (1u << p)) ? kUnreachable : saved - 1;
    }
  }
  if (m_stepHandler) m_stepHandler(label);
}

bool UndoStack::changesBetween(std::int64_t from, std::int64_t to, std::uint32_t parts) const {
  if (from > to) std::swap(from, to);
  from = std::max<std::int64_t>(from, 0);
  to = std::min<std::int64_t>(to, static_cast<std::int64_t>(m_steps.size()));
  for (std::int64_t i = from; i < to; ++i)
    if (m_steps[static_cast<std::size_t>(i)].parts & parts) return true;
  return false;
}

bool UndoStack::isAtSaved(std::uint32_t parts) const {
  const auto index = static_cast<std::int64_t>(m_index);
  for (int p = 0; p < kPartCount; ++p) {
    if (!(parts & (1u << p))) continue;
    const std::int64_t saved = m_saved[static_cast<std::size_t>(p)];
    if (saved == kUnreachable || changesBetween(saved, index, 1u << p)) return false;
  }
  return true;
}

std::string UndoStack::undoLabel() const { return canUndo() ? m_steps[m_index - 1].label : ""; }

std::string UndoStack::redoLabel() const { return canRedo() ? m_steps[m_index].label : ""; }

void UndoStack::undo() {
  if (!canUndo() || m_groupDepth > 0) return;
  FlagGuard guard(m_replaying);
  const Step& step = m_steps[m_index - 1];
  m_replayParts = step.parts;
  for (auto it = step.actions.rbegin(); it != step.actions.rend(); ++it) it->undo();
  --m_index;
}

void UndoStack::redo() {
  if (!canRedo() || m_groupDepth > 0) return;
  FlagGuard guard(m_replaying);
  m_replayParts = m_steps[m_index].parts;
  for (const auto& action : m_steps[m_index].actions) action.redo();
  ++m_index;
}

void UndoStack::markSaved(std::uint32_t parts) {
  for (int p = 0; p < kPartCount; ++p)
    if (parts & (1u << p)) m_saved[static_cast<std::size_t>(p)] = static_cast<std::int64_t>(m_index);
}

void UndoStack::clear() {
  m_steps.clear();
  m_index = 0;
  m_group = Step{};
  m_groupDepth = 0;
  markSaved();
}

}  // namespace quillotide
