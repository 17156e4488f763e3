#include "app/Config.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Text.h"

namespace quillotide {

namespace {

// The reader is hand-written because the files it must read are not always XML: the program
// writes keys and values unescaped, so a path with "&" or a value with '"' or '<' appears raw;
// files written on Windows hold 8-bit text; hand edits leave broken tags. A strict XML reader
// gives up at the first such byte and every setting would be lost.

// ---- Text encodings -------------------------------------------------------------------------

std::string fromUtf16(std::string_view bytes, bool bigEndian) {
  std::string out;
  out.reserve(bytes.size());
  const auto unit = [&](std::size_t k) -> char32_t {
    const auto a = static_cast<unsigned char>(bytes[k]);
    const auto b = static_cast<unsigned char>(bytes[k + 1]);
    return bigEndian ? char32_t(a << 8 | b) : char32_t(b << 8 | a);
  };
  for (std::size_t k = 0; k + 1 < bytes.size(); k += 2) {
    char32_t c = unit(k);
    if (c >= 0xD800 && c <= 0xDBFF && k + 3 < bytes.size() && unit(k + 2) >= 0xDC00 &&
        unit(k + 2) <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (unit(k + 2) - 0xDC00);
      k += 2;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    appendUtf8(out, c);
  }
  return out;
}

// The encoding an XML declaration at the start names, in lower case; empty when there is none.
std::string declaredEncoding(std::string_view bytes) {
  if (bytes.substr(0, 5) != "<?xml") return {};
  const std::string_view decl = bytes.substr(0, bytes.find("?>"));
  const std::size_t name = decl.find("encoding");
  if (name == std::string_view::npos) return {};
  const std::size_t quote = decl.find_first_of("\"'", name);
  if (quote == std::string_view::npos) return {};
  const std::size_t end = decl.find(decl[quote], quote + 1);
  if (end == std::string_view::npos) return {};
  std::string value(decl.substr(quote + 1, end - quote - 1));
  for (char& c : value)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return value;
}

// The file's text as UTF-8. Files with a byte order mark of UTF-16 are converted from it; files
// that declare an 8-bit encoding are read as Windows-1252 throughout; in every other file each
// byte that starts no UTF-8 sequence is a Windows-1252 character.
std::string toUtf8(std::string_view bytes) {
  if (bytes.substr(0, 2) == "\xFF\xFE") return fromUtf16(bytes.substr(2), false);
  if (bytes.substr(0, 2) == "\xFE\xFF") return fromUtf16(bytes.substr(2), true);
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  const std::string encoding = declaredEncoding(bytes);
  const bool eightBit = encoding == "windows-1252" || encoding == "cp1252" ||
                        encoding == "iso-8859-1" || encoding == "iso8859-1" ||
                        encoding == "latin1" || encoding == "latin-1";
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t start = i;
    if (!eightBit && nextUtf8(bytes, i)) {
      out.append(bytes.substr(start, i - start));
    } else {
      appendUtf8(out, windows1252CodePoint(static_cast<unsigned char>(bytes[i])));
      ++i;
    }
  }
  return out;
}

// ---- Markup ---------------------------------------------------------------------------------

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool isNameStart(char c) {
  const auto b = static_cast<unsigned char>(c);
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || b >= 0x80;
}

bool isNameChar(char c) { return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

bool isXmlChar(std::uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// The character of the entity reference at text[at] ('&') and the reference's length. A "&" that
// starts no known entity is no reference: it stays a literal "&", as the program wrote it.
std::optional<std::pair<char32_t, std::size_t>> entityAt(std::string_view text, std::size_t at) {
  const std::size_t semi = text.find(';', at + 1);
  if (semi == std::string_view::npos || semi - at > 10) return std::nullopt;
  const std::string_view name = text.substr(at + 1, semi - at - 1);
  const std::size_t length = semi - at + 1;
  if (name == "lt") return std::pair{U'<', length};
  if (name == "gt") return std::pair{U'>', length};
  if (name == "amp") return std::pair{U'&', length};
  if (name == "quot") return std::pair{U'"', length};
  if (name == "apos") return std::pair{U'\'', length};
  if (name.size() < 2 || name[0] != '#') return std::nullopt;
  const bool hex = name[1] == 'x';
  const std::string_view digits = name.substr(hex ? 2 : 1);
  if (digits.empty() || digits.size() > 7) return std::nullopt;
  std::uint32_t code = 0;
  for (char c : digits) {
    int d = -1;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (hex && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    if (d < 0) return std::nullopt;
    code = code * (hex ? 16u : 10u) + static_cast<std::uint32_t>(d);
  }
  if (!isXmlChar(code)) return std::nullopt;
  return std::pair{static_cast<char32_t>(code), length};
}

// An attribute value as an XML reader gives it: references resolved, and each raw line end
// (CR LF counts as one) or tab turned into a blank.
std::string attributeValue(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (std::size_t j = 0; j < raw.size(); ++j) {
    const char c = raw[j];
    if (c == '&') {
      if (const auto ref = entityAt(raw, j)) {
        appendUtf8(out, ref->first);
        j += ref->second - 1;
        continue;
      }
      out += '&';
    } else if (c == '\r') {
      out += ' ';
      if (j + 1 < raw.size() && raw[j + 1] == '\n') ++j;
    } else if (c == '\n' || c == '\t') {
      out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

struct Tag {
  std::string_view name;
  std::optional<std::string> key;
  std::optional<std::string> value;
  bool empty = false;   // an empty-element tag ("/>")
  std::size_t end = 0;  // the position after the tag
};

class Reader {
public:
  explicit Reader(std::string_view text) : m_s(text) {}

  void run() {
    std::size_t i = 0;
    while (i < m_s.size()) {
      const std::size_t lt = m_s.find('<', i);
      const std::string_view text = m_s.substr(i, lt == std::string_view::npos ? lt : lt - i);
      // Blanks and control bytes (an editor's end-of-file mark, padding zeros) hold no setting.
      const auto visible = std::find_if(text.begin(), text.end(),
                                        [](char c) { return static_cast<unsigned char>(c) > ' '; });
      if (m_open.empty() && visible != text.end())
        defect(i + static_cast<std::size_t>(visible - text.begin()),
               "text outside the root element");
      if (lt == std::string_view::npos) break;
      i = markup(lt);
    }
    if (!m_open.empty())
      defect(m_s.size(), "the end tag </" + std::string(m_open.back()) + "> is missing");
  }

  std::vector<TConfig::Entry> entries;
  std::string firstDefect;

private:
  // Reads the markup at s[at] == '<'; answers the position after it, or where reading goes on
  // after a defect.
  std::size_t markup(std::size_t at) {
    const std::string_view rest = m_s.substr(at);
    if (rest.starts_with("<!--")) return skipTo(at, "-->", "a comment is not closed");
    if (rest.starts_with("<![CDATA[")) return skipTo(at, "]]>", "a CDATA section is not closed");
    if (rest.starts_with("<?")) return skipTo(at, "?>", "a processing instruction is not closed");
    if (rest.starts_with("<!")) return declaration(at);
    if (rest.starts_with("</")) return endTag(at);
    if (rest.size() > 1 && isNameStart(rest[1])) {
      if (const std::optional<Tag> tag = readTag(at)) {
        element(*tag, at);
        return tag->end;
      }
      if (const std::optional<std::size_t> end = writtenEntry(at)) return *end;
      defect(at, "a tag is broken");
      return at + 1;
    }
    defect(at, "a '<' starts no tag");
    return at + 1;
  }

  std::size_t skipTo(std::size_t at, std::string_view close, const char* what) {
    const std::size_t end = m_s.find(close, at + 2);
    if (end == std::string_view::npos) {
      defect(at, what);
      return nextLine(at);
    }
    return end + close.size();
  }

  // Where reading goes on after markup that never ends: the entries are one per line, so the
  // line after it most likely holds the next one.
  std::size_t nextLine(std::size_t at) const {
    const std::size_t end = m_s.find_first_of("\r\n", at);
    return end == std::string_view::npos ? m_s.size() : end;
  }

  // <!DOCTYPE ...> with an optional internal subset in brackets.
  std::size_t declaration(std::size_t at) {
    int depth = 0;
    char quote = 0;
    for (std::size_t p = at + 2; p < m_s.size(); ++p) {
      const char c = m_s[p];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '[') {
        ++depth;
      } else if (c == ']') {
        --depth;
      } else if (c == '>' && depth <= 0) {
        return p + 1;
      }
    }
    defect(at, "a declaration is not closed");
    return nextLine(at);
  }

  std::size_t endTag(std::size_t at) {
    std::size_t p = at + 2;
    const std::string_view name = readName(p);
    while (p < m_s.size() && isSpace(m_s[p])) ++p;
    if (name.empty() || p >= m_s.size() || m_s[p] != '>') {
      defect(at, "an end tag is broken");
      return at + 1;
    }
    std::size_t k = m_open.size();
    while (k > 0 && m_open[k - 1] != name) --k;
    if (k == 0) {
      defect(at, "the end tag </" + std::string(name) + "> has no start tag");
    } else {
      if (k != m_open.size())
        defect(at, "the end tag </" + std::string(m_open.back()) + "> is missing");
      m_open.resize(k - 1);
      if (m_open.empty()) m_rootDone = true;
    }
    return p + 1;
  }

  void element(const Tag& tag, std::size_t at) {
    if (m_open.empty() && m_rootDone) defect(at, "a second root element");
    if (!tag.empty) {
      m_open.push_back(tag.name);
      return;
    }
    if (m_open.empty()) m_rootDone = true;
    if (tag.name == "config" && tag.key && tag.value) entries.push_back({*tag.key, *tag.value});
  }

  std::string_view readName(std::size_t& p) const {
    const std::size_t start = p;
    if (p < m_s.size() && isNameStart(m_s[p]))
      while (p < m_s.size() && isNameChar(m_s[p])) ++p;
    return m_s.substr(start, p - start);
  }

  // A start or empty-element tag by the XML rules, except that '<' may stand raw in a value and a
  // "&" that starts no reference is literal.
  std::optional<Tag> readTag(std::size_t at) const {
    Tag tag;
    std::size_t p = at + 1;
    tag.name = readName(p);
    for (;;) {
      const std::size_t before = p;
      while (p < m_s.size() && isSpace(m_s[p])) ++p;
      if (p >= m_s.size()) return std::nullopt;
      if (m_s[p] == '>' || (m_s[p] == '/' && p + 1 < m_s.size() && m_s[p + 1] == '>')) {
        tag.empty = m_s[p] == '/';
        tag.end = p + (tag.empty ? 2 : 1);
        return tag;
      }
      if (p == before) return std::nullopt;  // attributes are separated by blanks
      const std::string_view name = readName(p);
      if (name.empty()) return std::nullopt;
      while (p < m_s.size() && isSpace(m_s[p])) ++p;
      if (p >= m_s.size() || m_s[p] != '=') return std::nullopt;
      ++p;
      while (p < m_s.size() && isSpace(m_s[p])) ++p;
      if (p >= m_s.size() || (m_s[p] != '"' && m_s[p] != '\'')) return std::nullopt;
      const std::size_t close = m_s.find(m_s[p], p + 1);
      if (close == std::string_view::npos) return std::nullopt;
      std::string value = attributeValue(m_s.substr(p + 1, close - p - 1));
      // A repeated attribute is no XML; the first one counts, as every lookup takes the first.
      if (name == "key" && !tag.key)
        tag.key = std::move(value);
      else if (name == "value" && !tag.value)
        tag.value = std::move(value);
      p = close + 1;
    }
  }

  // The line the program itself writes, <config key="K" value="V" />, with K and V unescaped, so
  // that a '"' inside a value does not lose the entry: the key runs to the first '" value="', the
  // value to the '" />' at the end of the line. Only a tag that begins its line is read this way.
  std::optional<std::size_t> writtenEntry(std::size_t at) {
    std::size_t lineStart = at;
    while (lineStart > 0 && (m_s[lineStart - 1] == ' ' || m_s[lineStart - 1] == '\t')) --lineStart;
    if (lineStart > 0 && m_s[lineStart - 1] != '\n' && m_s[lineStart - 1] != '\r')
      return std::nullopt;
    std::size_t lineEnd = m_s.find_first_of("\r\n", at);
    if (lineEnd == std::string_view::npos) lineEnd = m_s.size();
    std::string_view line = m_s.substr(at, lineEnd - at);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    constexpr std::string_view kOpen = "<config key=\"";
    constexpr std::string_view kBetween = "\" value=\"";
    if (!line.starts_with(kOpen)) return std::nullopt;
    std::size_t closeLength = 0;
    if (line.ends_with("\" />"))
      closeLength = 4;
    else if (line.ends_with("\"/>"))
      closeLength = 3;
    else
      return std::nullopt;
    if (line.size() < kOpen.size() + closeLength) return std::nullopt;
    const std::string_view inner =
        line.substr(kOpen.size(), line.size() - kOpen.size() - closeLength);
    const std::size_t between = inner.find(kBetween);
    if (between == std::string_view::npos) return std::nullopt;
    entries.push_back({attributeValue(inner.substr(0, between)),
                       attributeValue(inner.substr(between + kBetween.size()))});
    return lineEnd;
  }

  void defect(std::size_t at, const std::string& what) {
    if (!firstDefect.empty()) return;
    std::size_t line = 1;
    for (std::size_t k = 0; k < at && k < m_s.size(); ++k)
      if (m_s[k] == '\n' || (m_s[k] == '\r' && (k + 1 >= m_s.size() || m_s[k + 1] != '\n'))) ++line;
    firstDefect = "line " + std::to_string(line) + ": " + what;
  }

  std::string_view m_s;
  std::vector<std::string_view> m_open;  // the elements whose end tag is still to come
  bool m_rootDone = false;
};

std::string escape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '"':
        out += "&quot;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      // Attribute values lose raw line ends and tabs to white space on reading.
      case '\n':
        out += "&#10;";
        break;
      case '\r':
        out += "&#13;";
        break;
      case '\t':
        out += "&#9;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::span<const std::uint8_t> bytesOf(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

bool TConfig::loadText(const std::string& text) {
  const std::string utf8 = toUtf8(text);
  Reader r(utf8);
  r.run();
  for (auto& e : r.entries) m_entries.push_back(std::move(e));
  if (!r.firstDefect.empty()) {
    m_readWhole = false;
    if (m_defect.empty()) m_defect = r.firstDefect;
  }
  return r.firstDefect.empty();
}

void TConfig::load(const std::string& path) {
  m_path = path;
  m_readWhole = true;
  m_defect.clear();
  m_unreadFile.clear();
  m_copyKept = false;
  m_copyPath.clear();
  // A missing file (or a folder in its place) is an empty store; a file that is there but cannot
  // be read must not be overwritten unseen.
  if (!fileExists(path)) return;
  Bytes bytes;
  try {
    bytes = readFile(path);
  } catch (const Error& e) {
    m_readWhole = false;
    m_defect = e.what();
    return;
  }
  std::string text(bytes.begin(), bytes.end());
  if (!loadText(text)) m_unreadFile = std::move(text);
}

TConfig::KeptCopy TConfig::keepCopy() {
  if (m_readWhole || m_path.empty()) return {};
  if (m_copyKept) return {m_copyPath, false};
  // A file that could not even be read leaves nothing to copy it from.
  if (m_unreadFile.empty()) throw FileError(formatMessage("Cannot open file %s", {m_path}));
  for (int n = 1; n < 100; ++n) {
    const std::string candidate = m_path + ".bak" + (n == 1 ? std::string() : std::to_string(n));
    bool written = false;
    if (fileExists(candidate)) {
      Bytes there;
      try {
        there = readFile(candidate);
      } catch (const Error&) {
        continue;
      }
      // A copy of other bytes is an earlier damaged file: it stays.
      if (std::string(there.begin(), there.end()) != m_unreadFile) continue;
    } else {
      writeFileAtomic(candidate, bytesOf(m_unreadFile));
      written = true;
    }
    m_copyKept = true;
    m_copyPath = candidate;
    m_unreadFile.clear();
    return {candidate, written};
  }
  throw FileError(formatMessage("Cannot create file %s", {m_path + ".bak"}));
}

std::string TConfig::toText() const {
  std::string text = "<configuration>\r\n";
  for (const auto& e : m_entries)
    text += "<config key=\"" + escape(e.key) + "\" value=\"" + escape(e.value) + "\" />\r\n";
  text += "</configuration>\r\n";
  return text;
}

void TConfig::save(const std::string& path) {
  if (!m_readWhole && !m_copyKept && (path == m_path || sameFile(path, m_path))) keepCopy();
  writeFileAtomic(path, bytesOf(toText()));
}

std::string TConfig::getString(const std::string& key) const {
  for (const auto& e : m_entries)
    if (e.key == key) return e.value;
  return {};
}

bool TConfig::contains(const std::string& key) const {
  for (const auto& e : m_entries)
    if (e.key == key) return true;
  return false;
}

bool TConfig::getBool(const std::string& key) const {
  const std::string v = getString(key);
  if (auto n = tryParseInt(v)) return *n != 0;
  return toUpper(v) == "TRUE";
}

std::int32_t TConfig::getInt(const std::string& key) const {
  return tryParseInt(getString(key)).value_or(0);
}

void TConfig::setString(const std::string& key, const std::string& value) {
  bool found = false;
  for (auto& e : m_entries) {
    if (e.key == key) {
      e.value = value;
      found = true;
      break;
    }
  }
  if (!found) m_entries.push_back({key, value});
  if (!m_path.empty()) save(m_path);
}

void TConfig::setBool(const std::string& key, bool value) { setString(key, value ? "-1" : "0"); }

void TConfig::setInt(const std::string& key, std::int32_t value) {
  setString(key, std::to_string(value));
}

}  // namespace quillotide
