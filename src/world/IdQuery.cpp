#include "world/IdQuery.h"

#include <algorithm>
#include <optional>

#include "app/Error.h"
#include "app/Text.h"

namespace quillotide {

namespace {

std::string signedLabel(std::int64_t v) {
  std::string label = v < 0 ? std::string(1, '-') : std::string();
  label.append(hexLabel(static_cast<std::uint32_t>(v < 0 ? -v : v)));
  return label;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowered(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), lower);
  return out;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace

std::int32_t parseTypedId(std::string_view text, const IdRange& range) {
  const std::int32_t id = parseInt(text);
  if (!range.contains(id))
    throw Error(formatMessage(
        "%s %s is outside %s ... %s.",
        {range.noun, signedLabel(id), signedLabel(range.first), signedLabel(range.last)}));
  return id;
}

std::vector<int> parseIdList(std::string_view text, const IdRange& range) {
  std::vector<int> ids;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t end = text.find_first_of(", ", i);
    const std::string_view piece = text.substr(i, end == std::string_view::npos ? end : end - i);
    if (!piece.empty()) ids.push_back(parseTypedId(piece, range));
    if (end == std::string_view::npos) break;
    i = end + 1;
  }
  if (ids.empty()) throw Error(formatMessage("No id in '%s'.", {text}));
  return ids;
}

IdFilter::IdFilter(std::string_view text) {
  const std::string_view t = trimmed(text);
  if (t.empty()) return;
  if (const auto id = tryParseInt(t)) {
    m_kind = Kind::Ids;
    m_first = m_last = *id;
    return;
  }
  // A "-" after the first character joins two numbers; the first may carry its own sign.
  for (std::size_t dash = t.find('-', 1); dash != std::string_view::npos;
       dash = t.find('-', dash + 1)) {
    const auto a = tryParseInt(trimmed(t.substr(0, dash)));
    const auto b = tryParseInt(trimmed(t.substr(dash + 1)));
    if (a && b) {
      m_kind = Kind::Ids;
      m_first = std::min(*a, *b);
      m_last = std::max(*a, *b);
      return;
    }
  }
  m_kind = Kind::Name;
  m_part = lowered(t);
}

bool IdFilter::matches(std::int64_t id, std::string_view name) const {
  switch (m_kind) {
    case Kind::All:
      return true;
    case Kind::Ids:
      return id >= m_first && id <= m_last;
    case Kind::Name:
      return std::search(name.begin(), name.end(), m_part.begin(), m_part.end(),
                         [](char a, char b) { return lower(a) == b; }) != name.end();
  }
  return false;
}

}  // namespace quillotide
