#pragma once
// What every slot list of the main window shares: the three filters, the line labels, the line
// colours and the search with its wrap-around. Qt-free; the list widget only shows the results.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/Colour.h"

namespace quillotide {

// The filter box's entries, in box order.
enum class SlotFilter { All = 0, Empty = 1, Full = 2 };
inline constexpr std::array<const char*, 3> kSlotFilterCaptions = {"All Slots", "Empty Slots",
                                                                   "Full Slots"};

// The slots first..last (both included) that pass the filter, ascending. `isFull(slot)` is asked
// once per slot, and only when the filter is not "All Slots". An empty range (last < first) gives
// an empty list.
template <class IsFull>
std::vector<std::int32_t> buildSlotList(std::int32_t first, std::int32_t last, SlotFilter filter,
                                        IsFull&& isFull) {
  std::vector<std::int32_t> lines;
  if (last < first) return lines;
  const auto count = static_cast<std::size_t>(static_cast<std::int64_t>(last) - first + 1);
  if (filter == SlotFilter::All) {
    lines.resize(count);
    for (std::size_t i = 0; i < count; ++i) lines[i] = static_cast<std::int32_t>(first + static_cast<std::int64_t>(i));
    return lines;
  }
  const bool wantFull = filter == SlotFilter::Full;
  lines.reserve(count);
  for (std::int64_t slot = first; slot <= last; ++slot) {
    const auto s = static_cast<std::int32_t>(slot);
    if (static_cast<bool>(isFull(s)) == wantFull) lines.push_back(s);
  }
  return lines;
}

// "0x%x": upper-case digits, no leading zeros (16383 -> "0x3FFF").
std::string slotLabel(std::int32_t slot);
// The light list counts in decimal.
std::string decimalSlotLabel(std::int32_t slot);

// The animation files differ in where their high, low and people bodies begin.
enum class AnimationFile { Anim, Anim2, Anim3, Anim4, Anim5 };
// 'H', 'L' or 'P' for the body's kind in that file.
char animationKind(AnimationFile file, std::int32_t body);
// "H: 0x%x (%d)": kind, the body in hexadecimal and again in decimal.
std::string animationLabel(AnimationFile file, std::int32_t body);

// The look of one list line.
struct LineState {
  bool full = false;
  bool patched = false;   // only meaningful on pages that check verdata
  bool selected = false;
};
struct LineStyle {
  Pixel background;
  Pixel text;
};
inline constexpr Pixel kLineWhite = makePixel(255, 255, 255);
inline constexpr Pixel kLineNavy = makePixel(0, 0, 128);
inline constexpr Pixel kLineBlack = makePixel(0, 0, 0);
inline constexpr Pixel kLineRed = makePixel(255, 0, 0);
inline constexpr Pixel kLineGreen = makePixel(0, 128, 0);
// White on navy when selected; otherwise black (full), red (empty), green when patched.
LineStyle lineStyle(const LineState& state);

// The search of the main window's lists. One state for the whole window, but a search in one
// list never continues from a hit in another.
class SlotSearch {
public:
  enum class Outcome { Ignored, NotFound, Found };
  struct Result {
    Outcome outcome = Outcome::Ignored;
    int line = -1;  // the hit's line index when found
  };

  // Searches list `listId` (any number that tells the lists apart) of `lineCount` lines for the
  // first line after the last hit whose upper-cased label contains the upper-cased query, then
  // wraps round to just before the last hit. An empty query is ignored; an empty list and a miss
  // answer NotFound and keep the last hit.
  Result find(int listId, std::string_view query, int lineCount,
              const std::function<std::string(int line)>& labelAt);

  int lastFoundIndex() const { return m_lastFoundIndex; }
  int lastSearchedList() const { return m_lastSearchedList; }
  void reset() {
    m_lastFoundIndex = -1;
    m_lastSearchedList = -1;
  }

private:
  int m_lastFoundIndex = -1;
  int m_lastSearchedList = -1;
};

inline constexpr const char* kNotFoundMessage = "Not found.";

}  // namespace quillotide
