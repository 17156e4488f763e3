#pragma once
// What a picture is hued with: its own colours, one hue of the hue table, or the selection tint
// (the highlight hue over every pixel). Hue numbers are the game's: hue h is entry h - 1 of the
// table, hue 0 means "no hue".

#include <cstdint>
#include <optional>

namespace quillotide {

class HueChoice {
public:
  // The entry of the hue table whose ramp tints selected items.
  static constexpr int kSelectionEntry = 154;

  // Own colours.
  static constexpr HueChoice none() { return HueChoice(Kind::None, 0, false); }
  // The selection tint, over the whole picture.
  static constexpr HueChoice selection() { return HueChoice(Kind::Selection, 0, false); }
  // Hue number h (1 and above; 0 is none). partial: only grey pixels (equal red, green and blue)
  // take the hue, the rest keep their colours.
  static constexpr HueChoice hue(int number, bool partial = false) {
    return number <= 0 ? none() : HueChoice(Kind::Hue, number, partial);
  }
  // Entry e of the table (hue number e + 1), as the hue page picks it.
  static constexpr HueChoice entry(int e) { return hue(e + 1); }
  // A hue as items store it: 0 none, -1 the selection, above 0 a hue number; nullopt for the other
  // negative numbers, which mark an item that is not drawn.
  static constexpr std::optional<HueChoice> fromItemHue(int itemHue, bool partial = false) {
    if (itemHue == -1) return selection();
    if (itemHue < -1) return std::nullopt;
    return hue(itemHue, partial);
  }

  constexpr bool isNone() const { return m_kind == Kind::None; }
  constexpr bool isSelection() const { return m_kind == Kind::Selection; }
  // The table entry whose ramp colours the picture; nullopt for own colours.
  constexpr std::optional<int> tableEntry() const {
    if (m_kind == Kind::Selection) return kSelectionEntry;
    if (m_kind == Kind::Hue) return m_number - 1;
    return std::nullopt;
  }
  // Whether only grey pixels take the hue (a partial hue; the selection tint covers all).
  constexpr bool greyOnly() const { return m_kind == Kind::Hue && m_partial; }

  constexpr bool operator==(const HueChoice&) const = default;

private:
  enum class Kind : std::uint8_t { None, Hue, Selection };
  constexpr HueChoice(Kind kind, int number, bool partial)
      : m_kind(kind), m_number(number), m_partial(partial) {}

  Kind m_kind;
  int m_number;
  bool m_partial;
};

}  // namespace quillotide
