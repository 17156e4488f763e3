#include "app/Text.h"

#include <cctype>
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
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    value = value * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
    if (value > 0xFFFFFFFFull) return std::nullopt;
  }
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
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  do {
    out.insert(out.begin(), kDigits[value & 15]);
    value >>= 4;
  } while (value != 0);
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

std::vector<std::string> splitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      lines.emplace_back(text.substr(start, i - start));
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
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
