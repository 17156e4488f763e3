#include "app/Config.h"

#include <expat.h>

#include <cstring>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Text.h"

namespace quillotide {

namespace {

struct ParseState {
  XML_Parser parser = nullptr;
  std::vector<TConfig::Entry> entries;
  // The config element whose start tag was seen last, with its depth; only an empty-element tag
  // (start and end with no bytes of their own for the end) makes an entry.
  bool pending = false;
  int depth = 0;
  int pendingDepth = -1;
  TConfig::Entry pendingEntry;
};

void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** attrs) {
  auto* s = static_cast<ParseState*>(data);
  ++s->depth;
  s->pending = false;
  if (std::strcmp(name, "config") != 0) return;
  const char* key = nullptr;
  const char* value = nullptr;
  for (int i = 0; attrs[i] != nullptr; i += 2) {
    if (!key && std::strcmp(attrs[i], "key") == 0) key = attrs[i + 1];
    else if (!value && std::strcmp(attrs[i], "value") == 0) value = attrs[i + 1];
  }
  if (!key || !value) return;
  s->pending = true;
  s->pendingDepth = s->depth;
  s->pendingEntry = {key, value};
}

void XMLCALL onEnd(void* data, const XML_Char*) {
  auto* s = static_cast<ParseState*>(data);
  // Expat reports an empty-element tag's end with a byte count of 0.
  if (s->pending && s->pendingDepth == s->depth && XML_GetCurrentByteCount(s->parser) == 0)
    s->entries.push_back(std::move(s->pendingEntry));
  s->pending = false;
  --s->depth;
}

void XMLCALL onOther(void* data, const XML_Char*, int) {
  // Text between a start and end tag means it was no empty-element tag.
  static_cast<ParseState*>(data)->pending = false;
}

std::string escape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '"': out += "&quot;"; break;
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      // Attribute values lose raw line ends and tabs to white space on reading.
      case '\n': out += "&#10;"; break;
      case '\r': out += "&#13;"; break;
      case '\t': out += "&#9;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

bool TConfig::loadText(const std::string& text) {
  ParseState state;
  XML_Parser parser = XML_ParserCreate(nullptr);
  if (!parser) return false;
  state.parser = parser;
  XML_SetUserData(parser, &state);
  XML_SetElementHandler(parser, onStart, onEnd);
  XML_SetCharacterDataHandler(parser, onOther);
  const bool ok = XML_Parse(parser, text.data(), static_cast<int>(text.size()), 1) == XML_STATUS_OK;
  XML_ParserFree(parser);
  if (!ok) return false;
  for (auto& e : state.entries) m_entries.push_back(std::move(e));
  return true;
}

void TConfig::load(const std::string& path) {
  m_path = path;
  Bytes bytes;
  try {
    bytes = readFile(path);
  } catch (const Error&) {
    return;
  }
  if (bytes.size() > 0x7FFFFFFF) return;
  loadText(std::string(bytes.begin(), bytes.end()));
}

std::string TConfig::toText() const {
  std::string text = "<configuration>\r\n";
  for (const auto& e : m_entries)
    text += "<config key=\"" + escape(e.key) + "\" value=\"" + escape(e.value) + "\" />\r\n";
  text += "</configuration>\r\n";
  return text;
}

void TConfig::save(const std::string& path) const {
  const std::string text = toText();
  writeFileAtomic(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
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
