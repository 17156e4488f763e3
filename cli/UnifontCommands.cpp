// The "unifont" group: a Unicode font (unifont.mul .. unifont12.mul), one-bit glyphs by code
// point with signed offsets. The file is opened through the owner of open files; a change is
// written back over it or to --out.

#include <cctype>
#include <sstream>

#include "app/Bytes.h"
#include "app/FileIO.h"
#include "app/Png.h"
#include "app/Text.h"
#include "cli/Cli.h"
#include "cli/OpenArgs.h"
#include "models/Unifont.h"

namespace quillotide::cli {

namespace {

TUnifont& opened(Registry& registry, const std::string& path, const Context& ctx) {
  openFamily(registry, "Unifont", {path});
  ctx.noteProblems(path, registry.unifont->problems());
  return *registry.unifont;
}

bool isHexDigits(const std::string& text) {
  if (text.empty() || text.size() > 6) return false;
  for (const char c : text)
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

// A code point as U+XXXX, a number (0x41, 65) or the character itself; a digit alone is a number.
char32_t codeOf(const std::string& text) {
  if (text.size() > 2 && (text[0] == 'U' || text[0] == 'u') && text[1] == '+') {
    const std::string digits = text.substr(2);
    if (!isHexDigits(digits))
      throw UsageError("'" + text + "' is no code point (U+ and one to six hexadecimal digits).");
    return static_cast<char32_t>(std::stoul(digits, nullptr, 16));
  }
  std::size_t i = 0;
  const auto c = nextUtf8(text, i);
  if (c && i == text.size() && !(*c >= U'0' && *c <= U'9')) return *c;
  const std::int64_t n = parseIntArg(text, "CODE");
  if (n < 0) throw Error("'" + text + "' is no code point: they start at U+0000.");
  return static_cast<char32_t>(n);
}

std::string rowText(const UniGlyph& g, int y) {
  std::string row;
  for (int x = 0; x < g.width; ++x) row += g.ink(x, y) ? '#' : '.';
  return row;
}

std::string glyphText(char32_t code, const UniGlyph& g) {
  return codePointLabel(code) + " (" + std::to_string(g.width) + "x" + std::to_string(g.height) +
         ", offsets x " + std::to_string(g.xOffset) + ", y " + std::to_string(g.yOffset) + ")";
}

Json::Object glyphJson(char32_t code, const UniGlyph& g) {
  return Json::Object{{"code", static_cast<std::uint32_t>(code)},
                      {"label", codePointLabel(code)},
                      {"xOffset", int{g.xOffset}},
                      {"yOffset", int{g.yOffset}},
                      {"width", int{g.width}},
                      {"height", int{g.height}}};
}

int list(Args& args, Context& ctx) {
  const auto p = args.positionals(1, 1);
  Registry registry;
  const TUnifont& font = opened(registry, p[0], ctx);
  Json::Array rows;
  std::ostringstream text;
  for (const auto& [code, g] : font.glyphs()) {
    rows.push_back(glyphJson(code, g));
    text << glyphText(code, g) << '\n';
  }
  ctx.report(rows, text.str());
  return 0;
}

int save(Args& args, Context& ctx) {
  const auto p = args.positionals(2, 2);
  Registry registry;
  const TUnifont& font = opened(registry, p[0], ctx);
  saveFamily(registry, "Unifont", {p[1]});
  ctx.report(
      Json::Object{{"glyphs", static_cast<std::int64_t>(font.glyphs().size())}, {"file", p[1]}},
      "saved " + std::to_string(font.glyphs().size()) + " glyphs to " + p[1]);
  return 0;
}

int show(Args& args, Context& ctx) {
  const auto p = args.positionals(2, 2);
  const char32_t code = codeOf(p[1]);
  Registry registry;
  const TUnifont& font = opened(registry, p[0], ctx);
  const UniGlyph& g = font.glyph(code);
  Json::Array rows;
  std::string text = glyphText(code, g) + " " + TUnifont::blockName(code);
  for (int y = 0; y < g.height; ++y) {
    rows.emplace_back(rowText(g, y));
    text.append(1, '\n').append(rowText(g, y));
  }
  Json::Object json = glyphJson(code, g);
  json.emplace_back("block", std::string(TUnifont::blockName(code)));
  json.emplace_back("rows", rows);
  ctx.report(json, text);
  return 0;
}

int exportPng(Args& args, Context& ctx) {
  const auto p = args.positionals(3, 3);
  const char32_t code = codeOf(p[1]);
  Registry registry;
  const TUnifont& font = opened(registry, p[0], ctx);
  const UniGlyph& g = font.glyph(code);
  if (g.width == 0 || g.height == 0)
    throw Error("The glyph of " + codePointLabel(code) + " has no pixels (" +
                std::to_string(g.width) + " x " + std::to_string(g.height) +
                "); nothing was written.");
  writeFileAtomic(p[2], encodeOneBitPng(font.picture(code)));
  Json::Object json = glyphJson(code, g);
  json.emplace_back("file", p[2]);
  ctx.report(json, "wrote " + glyphText(code, g) + " to " + p[2]);
  return 0;
}

int importPng(Args& args, Context& ctx) {
  const auto x = args.intOption("x-offset");
  const auto y = args.intOption("y-offset");
  const FileTarget target = takeFileTarget(args);
  const auto p = args.positionals(3, 3);
  const char32_t code = codeOf(p[1]);
  Registry registry;
  TUnifont& font = opened(registry, p[0], ctx);
  const bool had = font.has(code);
  // Offsets not given stay as the glyph had them (0 for a new glyph).
  const int xOffset = x ? static_cast<int>(*x) : had ? font.glyph(code).xOffset : 0;
  const int yOffset = y ? static_cast<int>(*y) : had ? font.glyph(code).yOffset : 0;
  const Bitmap32 picture = readPngFile(p[2]);
  forRecord("The glyph of " + codePointLabel(code),
            [&] { font.setPicture(code, picture, xOffset, yOffset); });
  const std::string out = target.path(p[0]);
  saveFamily(registry, "Unifont", {out});
  const UniGlyph& g = font.glyph(code);
  Json::Object json = glyphJson(code, g);
  json.emplace_back("added", !had);
  json.emplace_back("file", out);
  ctx.report(
      json, std::string(had ? "replaced " : "added ") + glyphText(code, g) + "\nwritten to " + out);
  return 0;
}

int remove(Args& args, Context& ctx) {
  const FileTarget target = takeFileTarget(args);
  const auto p = args.positionals(2, 2);
  const char32_t code = codeOf(p[1]);
  Registry registry;
  TUnifont& font = opened(registry, p[0], ctx);
  font.remove(code);
  const std::string out = target.path(p[0]);
  saveFamily(registry, "Unifont", {out});
  ctx.report(Json::Object{{"deleted", static_cast<std::uint32_t>(code)}, {"file", out}},
             "deleted the glyph of " + codePointLabel(code) + "\nwritten to " + out);
  return 0;
}

int render(Args& args, Context& ctx) {
  const auto space = args.intOption("space");
  const auto p = args.positionals(3, 3);
  if (space && (*space < 0 || *space > 255))
    throw Error("--space is 0 to 255 pixels, not " + std::to_string(*space) + ".");
  Registry registry;
  const TUnifont& font = opened(registry, p[0], ctx);
  const Bitmap32 picture = font.renderText(p[1], space ? static_cast<int>(*space) : 4);
  if (picture.empty()) throw Error("The text drawn has no pixels; nothing was written.");
  writePngFile(p[2], picture);
  ctx.report(Json::Object{{"file", p[2]}, {"width", picture.width}, {"height", picture.height}},
             "drew the text (" + std::to_string(picture.width) + "x" +
                 std::to_string(picture.height) + ") to " + p[2]);
  return 0;
}

}  // namespace

Group unifontGroup() {
  return {
      "unifont",
      "A Unicode font (unifont.mul .. unifont12.mul): one-bit glyphs of U+0000 to U+FFFF with "
      "signed x and y offsets. CODE is U+XXXX, a number (0x41, 65) or the character itself.",
      {
          {"list", "UNIFONT", "Every glyph: code point, offsets, width and height.", list},
          {"save", "UNIFONT NEW",
           "Loads the font and saves it to NEW; an unchanged font comes out as it was.", save},
          {"show", "UNIFONT CODE", "A glyph's offsets and size, and its pixels as # and .", show},
          {"export", "UNIFONT CODE OUT.png",
           "Writes a glyph as a one-bit PNG (ink black, the rest transparent) and says its "
           "offsets.",
           exportPng},
          {"import", "[--x-offset N] [--y-offset N] [--out FILE] UNIFONT CODE IN.png",
           "The picture becomes the glyph (added or replaced): ink where a pixel is opaque and "
           "dark, at most 255 x 255. Offsets (-128 to 127) not given stay as they were, 0 for a "
           "new glyph.",
           importPng},
          {"delete", "[--out FILE] UNIFONT CODE", "Removes a glyph and writes the font.", remove},
          {"render", "[--space N] UNIFONT TEXT OUT.png",
           "Draws a line of text; a character without a glyph moves on by N pixels (4).", render},
      }};
}

}  // namespace quillotide::cli
