#include "app/Text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <limits>

#include "app/Error.h"
#include "app/FileIO.h"

namespace quillotide {

std::optional<std::int32_t> tryParseInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < text.size() && text[i] == '$') {
    hex = true;
    ++i;
  } else if (i < text.size() && (text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= text.size()) return std::nullopt;
  std::uint64_t value = 0;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(text.data() + i, last, value, hex ? 16 : 10);
  if (error != std::errc{} || end != last || value > 0xFFFFFFFFull) return std::nullopt;
  if (hex) {
    auto v = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    return negative ? static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(v)) : v;
  }
  const std::uint64_t limit = negative ? 0x80000000ull : 0x7FFFFFFFull;
  if (value > limit) return std::nullopt;
  const std::int64_t s = negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
  return static_cast<std::int32_t>(s);
}

std::int32_t parseInt(std::string_view text) {
  if (auto v = tryParseInt(text)) return *v;
  throw Error(formatMessage("'%s' is not a valid integer value", {text}));
}

std::string hexDigits(std::uint32_t value) {
  char digits[8];
  const char* end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
  std::string out(digits, static_cast<std::size_t>(end - digits));
  for (char& c : out)
    if (c >= 'a') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::string hexLabel(std::uint32_t value) { return "0x" + hexDigits(value); }

std::string formatMessage(std::string_view pattern, std::initializer_list<std::string_view> args) {
  std::string out;
  auto next = args.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() &&
        (pattern[i + 1] == 's' || pattern[i + 1] == 'd' || pattern[i + 1] == 'x') &&
        next != args.end()) {
      out += *next++;
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

std::vector<std::string> split(std::string_view text, std::string_view separator) {
  std::vector<std::string> pieces;
  if (separator.empty()) return {std::string(text)};
  for (;;) {
    const auto at = text.find(separator);
    if (at == std::string_view::npos) {
      pieces.emplace_back(text);
      return pieces;
    }
    pieces.emplace_back(text.substr(0, at));
    text.remove_prefix(at + separator.size());
  }
}

// Code points of the bytes 0x80..0x9F; the rest of the code page is Latin-1.
constexpr char32_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t windows1252CodePoint(unsigned char b) {
  return b >= 0x80 && b < 0xA0 ? kWindows1252High[b - 0x80] : char32_t{b};
}

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::optional<char32_t> nextUtf8(std::string_view text, std::size_t& i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char b0 = byte(i);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  std::size_t length;
  char32_t c;
  char32_t least;
  if ((b0 & 0xE0) == 0xC0) {
    length = 2, c = b0 & 0x1Fu, least = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    length = 3, c = b0 & 0x0Fu, least = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    length = 4, c = b0 & 0x07u, least = 0x10000;
  } else {
    return std::nullopt;
  }
  if (i + length > text.size()) return std::nullopt;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return std::nullopt;
    c = (c << 6) | (byte(i + k) & 0x3Fu);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
  i += length;
  return c;
}

namespace {

std::optional<unsigned char> windows1252Byte(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
  for (unsigned k = 0; k < 32; ++k)
    if (kWindows1252High[k] == c) return static_cast<unsigned char>(0x80 + k);
  return std::nullopt;
}

}  // namespace

std::string codePointLabel(char32_t c) {
  std::string digits = hexDigits(static_cast<std::uint32_t>(c));
  if (digits.size() < 4) digits.insert(0, 4 - digits.size(), '0');
  return "U+" + digits;
}

bool isUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      ++i;
      continue;
    }
    if (!nextUtf8(text, i)) return false;
  }
  return true;
}

std::string fromWindows1252(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    appendUtf8(out, windows1252CodePoint(b));
  }
  return out;
}

std::string toWindows1252(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const std::size_t start = i;
    const auto c = nextUtf8(utf8, i);
    if (!c) throw Error("The text '" + toValidUtf8(utf8) + "' is not UTF-8 text.");
    const auto b = windows1252Byte(*c);
    if (!b)
      throw Error("The character '" + std::string(utf8.substr(start, i - start)) + "' (" +
                  codePointLabel(*c) +
                  ") cannot be stored: names in the game's files hold only the characters of "
                  "the Windows-1252 code page.");
    out += static_cast<char>(*b);
  }
  return out;
}

std::string toValidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t start = i;
    if (nextUtf8(text, i)) {
      out.append(text.substr(start, i - start));
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}

std::string toUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string trim(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
  return std::string(text.substr(b, e - b));
}

bool nextLine(std::string_view text, std::size_t& pos, std::string_view& line) {
  if (pos >= text.size()) return false;
  // memchr in bounded steps, so files of any line end cost the same: the line ends at the first
  // CR or LF.
  constexpr std::size_t kStep = 4096;
  std::size_t end = text.size();
  for (std::size_t from = pos; from < text.size(); from += kStep) {
    const char* begin = text.data() + from;
    const std::size_t n = std::min(kStep, text.size() - from);
    const auto* lf = static_cast<const char*>(std::memchr(begin, '\n', n));
    const std::size_t upTo = lf ? static_cast<std::size_t>(lf - begin) : n;
    const auto* cr = static_cast<const char*>(std::memchr(begin, '\r', upTo));
    if (cr || lf) {
      end = from + (cr ? static_cast<std::size_t>(cr - begin) : upTo);
      break;
    }
  }
  line = text.substr(pos, end - pos);
  if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
    ++end;
  pos = end + 1;
  return true;
}

std::vector<std::string> splitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  std::string_view line;
  while (nextLine(text, pos, line)) lines.emplace_back(line);
  return lines;
}

std::vector<std::string> readTextLines(const std::string& path) {
  const Bytes bytes = readFile(path);
  return splitLines(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

namespace {

std::string joinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

}  // namespace

void writeTextLines(const std::string& path, const std::vector<std::string>& lines) {
  const std::string text = joinLines(lines);
  writeFileAtomic(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void writeTextLines(const std::string& path, const std::vector<std::string>& lines,
                    WriteBatch& batch) {
  const std::string text = joinLines(lines);
  batch.write(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace quillotide
