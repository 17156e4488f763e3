#include "app/SlotList.h"

#include <algorithm>

#include "app/Text.h"

namespace quillotide {

std::string slotLabel(std::int32_t slot) { return hexLabel(static_cast<std::uint32_t>(slot)); }

std::string decimalSlotLabel(std::int32_t slot) { return std::to_string(slot); }

char animationKind(AnimationFile file, std::int32_t body) {
  switch (file) {
    case AnimationFile::Anim2:
      return body <= 121 ? 'H' : 'L';
    case AnimationFile::Anim3:
      return body < 700 ? 'H' : body < 1400 ? 'L' : 'P';
    case AnimationFile::Anim:
    case AnimationFile::Anim4:
    case AnimationFile::Anim5:
      break;
  }
  return body < 200 ? 'H' : body < 400 ? 'L' : 'P';
}

std::string animationLabel(AnimationFile file, std::int32_t body) {
  std::string label(1, animationKind(file, body));
  label += ": ";
  label += hexLabel(static_cast<std::uint32_t>(body));
  label += " (";
  label += std::to_string(body);
  label += ')';
  return label;
}

LineStyle lineStyle(const LineState& state) {
  if (state.selected) return {kLineNavy, kLineWhite};
  if (state.patched) return {kLineWhite, kLineGreen};
  return {kLineWhite, state.full ? kLineBlack : kLineRed};
}

SlotSearch::Result SlotSearch::find(int listId, std::string_view query, int lineCount,
                                    const std::function<std::string(int line)>& labelAt) {
  if (query.empty()) return {};
  if (lineCount <= 0) return {Outcome::NotFound, -1};
  const std::string wanted = toUpper(query);

  int start = 0;
  int wrapEnd = -1;
  if (listId == m_lastSearchedList && m_lastFoundIndex >= 0) {
    // A list that shrank since the last hit is searched from its top; the search never reads a
    // line that is not there.
    if (m_lastFoundIndex < lineCount - 1) {
      start = m_lastFoundIndex + 1;
      wrapEnd = m_lastFoundIndex - 1;
    }
  } else if (listId != m_lastSearchedList) {
    // The last hit belongs to another list and must not steer this one.
    m_lastFoundIndex = -1;
  }
  m_lastSearchedList = listId;

  const auto matches = [&](int line) {
    return toUpper(labelAt(line)).find(wanted) != std::string::npos;
  };
  for (int line = start; line < lineCount; ++line) {
    if (matches(line)) {
      m_lastFoundIndex = line;
      return {Outcome::Found, line};
    }
  }
  if (start > 0) {
    for (int line = 0; line <= wrapEnd; ++line) {
      if (matches(line)) {
        m_lastFoundIndex = line;
        return {Outcome::Found, line};
      }
    }
  }
  return {Outcome::NotFound, -1};
}

}  // namespace quillotide
