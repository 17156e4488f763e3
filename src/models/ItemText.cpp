#include "models/ItemText.h"

#include <cctype>
#include <string>

#include "app/Error.h"
#include "app/Text.h"

namespace quillotide {

namespace {

constexpr ValueRange kIdRange{0, 0xFFFF};
constexpr ValueRange kHueRange{0, 0xFFFF};

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The first word of the text and what follows it, blanks between them dropped.
std::pair<std::string_view, std::string_view> firstWord(std::string_view text) {
  std::size_t end = 0;
  while (end < text.size() && !isBlank(text[end])) ++end;
  return {text.substr(0, end), trimmed(text.substr(end))};
}

// Sphere writes hexadecimal digits after a leading "0" ("0ABC"); the "0" is dropped so that a
// refusal quotes the digits as they were meant.
std::int32_t sphereHex(std::string_view digits) {
  if (digits.size() > 1 && digits[0] == '0') digits.remove_prefix(1);
  return parseInt("0x" + std::string(digits));
}

}  // namespace

ItemTextLine readItemTextLine(std::string_view line, ItemTextDialect dialect) {
  ItemTextLine out;
  const std::string_view text = trimmed(line);
  if (text.empty()) return out;
  if (dialect == ItemTextDialect::Sphere51a) {
    if (text.front() == '[') {
      std::string_view inside = text.substr(1);
      const auto close = inside.find(']');
      if (close != std::string_view::npos) inside = inside.substr(0, close);
      const auto [kind, argument] = firstWord(trimmed(inside));
      return {ItemTextLine::Kind::Section, kind, argument};
    }
    const auto equals = text.find('=');
    if (equals == std::string_view::npos) return out;
    const std::string_view key = trimmed(text.substr(0, equals));
    if (key.empty() || key.find_first_of(" \t") != std::string_view::npos) return out;
    return {ItemTextLine::Kind::Key, key, trimmed(text.substr(equals + 1))};
  }
  const auto [word, rest] = firstWord(text);
  if (word == "SECTION") {
    const auto [kind, argument] = firstWord(rest);
    return {ItemTextLine::Kind::Section, kind, argument};
  }
  return {ItemTextLine::Kind::Key, word, rest};
}

void requireInRange(std::size_t line, std::string_view what, std::int64_t value, ValueRange range) {
  if (value >= range.min && value <= range.max) return;
  throw Error(formatMessage("Line %d: %s %d does not fit (%d to %d).",
                            {std::to_string(line), what, std::to_string(value),
                             std::to_string(range.min), std::to_string(range.max)}));
}

void readTextItems(const std::vector<std::string>& lines, ItemTextDialect dialect,
                   const ItemTextRules& rules, const std::function<void(const TextItem&)>& take) {
  const bool sphere = dialect == ItemTextDialect::Sphere51a;
  TextItem current;
  current.line = 1;
  bool inOtherSection = false;
  const auto finish = [&] {
    if (current.id != -1 && !inOtherSection) take(current);
  };
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::size_t number = i + 1;
    const ItemTextLine l = readItemTextLine(lines[i], dialect);
    if (l.kind == ItemTextLine::Kind::Section) {
      finish();
      inOtherSection = l.name != "WORLDITEM";
      if (!rules.carryValues) current = TextItem{};
      current.line = number;
      if (sphere && !inOtherSection) {
        current.id = sphereHex(l.value);
        requireInRange(number, "the id", current.id, kIdRange);
      }
      continue;
    }
    if (l.kind != ItemTextLine::Kind::Key || inOtherSection) continue;
    // Servers write keys in either case ("Color", "COLOR"): they are read without regard to it.
    std::string key(l.name);
    for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const auto number32 = [&](std::string_view what, ValueRange range) {
      const std::int32_t v = parseInt(l.value);
      requireInRange(number, what, v, range);
      return v;
    };
    if (key == "ID") {
      current.id = sphere ? sphereHex(l.value) : parseInt(l.value);
      requireInRange(number, "the id", current.id, kIdRange);
    } else if (rules.readHue && key == "COLOR") {
      current.hue = number32("the hue", kHueRange);
    } else if (sphere && key == "P") {
      // "P=x,y" is what Sphere writes for height 0.
      const auto pieces = split(l.value, ",");
      if (pieces.size() < 2) throw Error("List index out of bounds (1)");
      const auto piece = [&](std::size_t k, std::string_view what, ValueRange range) {
        const std::int32_t v = parseInt(trimmed(pieces[k]));
        requireInRange(number, what, v, range);
        return v;
      };
      current.x = piece(0, "x", rules.position);
      current.y = piece(1, "y", rules.position);
      current.z = pieces.size() > 2 ? piece(2, "z", rules.height) : 0;
    } else if (!sphere && key == "X") {
      current.x = number32("x", rules.position);
    } else if (!sphere && key == "Y") {
      current.y = number32("y", rules.position);
    } else if (!sphere && key == "Z") {
      current.z = number32("z", rules.height);
    }
  }
  finish();
}

}  // namespace quillotide
