#pragma once
// Ids as the user types them: one id of a family's range, a list of them, or the filter of a
// chooser (an id, a range "A-B", or a part of a name). Numbers follow the integer text rule.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillotide {

// The ids a family holds, both ends included, and what its ids are called in messages
// ("Static", "Land tile", "Hue").
struct IdRange {
  std::int64_t first = 0;
  std::int64_t last = 0;
  std::string noun;
  bool contains(std::int64_t id) const { return id >= first && id <= last; }
};

// The id in `text`. Throws Error "'%s' is not a valid integer value" when it does not parse and
// "%s %s is outside %s ... %s." (noun, id, first, last) when it lies outside the range.
std::int32_t parseTypedId(std::string_view text, const IdRange& range);

// The ids of a list separated by commas or spaces, each read as parseTypedId reads it, in the
// order typed (a repeated id counts once more, so it is drawn more often). Throws Error
// "No id in '%s'." for a list without one.
std::vector<int> parseIdList(std::string_view text, const IdRange& range);

// A chooser's filter. Empty (or blank) matches every id; a number matches that id; two numbers
// joined by "-" match the ids between them, both included; any other text matches the names that
// contain it, whatever the case of their letters.
class IdFilter {
public:
  explicit IdFilter(std::string_view text = {});
  bool matchesAll() const { return m_kind == Kind::All; }
  // Whether matches() looks at the name at all.
  bool byName() const { return m_kind == Kind::Name; }
  bool matches(std::int64_t id, std::string_view name) const;

private:
  enum class Kind { All, Ids, Name };
  Kind m_kind = Kind::All;
  std::int64_t m_first = 0;
  std::int64_t m_last = 0;
  std::string m_part;  // lower-case
};

}  // namespace quillotide
