#pragma once
// The item sections of server save texts, read one way for multis and for the world file:
// Sphere51a ("[WORLDITEM 0ABC]" sections of "KEY=value" lines) and WSC ("SECTION WORLDITEM n"
// sections of "KEY value" lines). A key is the whole first word after any leading blanks, as the
// servers write it: "MOREX" and "MOREP" are keys of their own, not "X" or "P". Keys inside
// sections of another kind (characters, "[EOF]") are not the items'.

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace quillotide {

enum class ItemTextDialect { Sphere51a, Wsc };

// One line taken apart.
struct ItemTextLine {
  enum class Kind { Other, Section, Key };
  Kind kind = Kind::Other;
  std::string_view name;   // the section's kind ("WORLDITEM") or the key ("ID", "P", "X")
  std::string_view value;  // the section's argument or the key's value, without blanks around
};
ItemTextLine readItemTextLine(std::string_view line, ItemTextDialect dialect);

// One item as the text gives it; `line` is the number (from 1) of the line that began it.
struct TextItem {
  std::int32_t id = -1;
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t z = 0;
  std::int32_t hue = 0;
  std::size_t line = 0;
};

// Inclusive bounds of what the receiving format can hold.
struct ValueRange {
  std::int32_t min;
  std::int32_t max;
};

struct ItemTextRules {
  // Multis: an item without its own values keeps those of the item before. The world file starts
  // every item from nothing (no id, position 0, hue 0).
  bool carryValues = false;
  // The world file reads the hue ("Color").
  bool readHue = false;
  ValueRange position{-32768, 32767};  // x and y
  ValueRange height{-32768, 32767};    // z
};

// Walks the lines and hands each finished item (one with an id) to `take`, in file order, as soon
// as it is finished. Numbers follow the integer rule (the Sphere ids are hexadecimal digits); a
// Sphere position without z has z 0. Throws Error with the integer rule's message for a number
// that does not parse, "List index out of bounds (%d)" for a position without y, and, naming the
// line, for a value outside what the format holds (ids 0 to 0xFFFF, hues likewise, the rules'
// ranges); the items handed over before stay handed over.
void readTextItems(const std::vector<std::string>& lines, ItemTextDialect dialect,
                   const ItemTextRules& rules, const std::function<void(const TextItem&)>& take);

// Throws Error "Line %d: %s %d does not fit (%d to %d)." when the value lies outside the range.
void requireInRange(std::size_t line, std::string_view what, std::int64_t value, ValueRange range);

}  // namespace quillotide
