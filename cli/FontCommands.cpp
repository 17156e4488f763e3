// The "font" group: the classic fonts of fonts.mul, each 224 characters of byte codes 0x20 to
// 0xFF. The file is opened through the owner of open files; a change is written back over it or
// to --out.

#include <algorithm>
#include <sstream>

#include "app/Png.h"
#include "app/Text.h"
#include "cli/Cli.h"
#include "cli/OpenArgs.h"
#include "models/Fonts.h"

namespace quillotide::cli {

namespace {

TFonts& opened(Registry& registry, const std::string& path, const Context& ctx) {
  openFamily(registry, "Fonts", {path});
  ctx.noteProblems(path, registry.fonts->problems());
  return *registry.fonts;
}

std::size_t fontOf(const std::string& text) {
  const std::int64_t n = parseIntArg(text, "FONT");
  if (n < 0) throw Error("There is no font " + text + ": fonts are numbered from 0.");
  return static_cast<std::size_t>(n);
}

// A byte code as a number (0x41, 65) or as the one character it stands for in Windows-1252 ("A",
// "é"); a digit alone is a number. The model refuses codes outside 0x20..0xFF.
int codeOf(const std::string& text) {
  std::size_t i = 0;
  const bool oneCharacter = nextUtf8(text, i) && i == text.size();
  if (oneCharacter && !(text.size() == 1 && text[0] >= '0' && text[0] <= '9')) {
    std::string byte;
    try {
      byte = toWindows1252(text);
    } catch (const Error&) {
      throw Error("'" + text + "' has no byte code in Windows-1252, so no font holds it.");
    }
    return static_cast<unsigned char>(byte[0]);
  }
  return static_cast<int>(parseIntArg(text, "CODE"));
}

std::string charName(std::size_t font, int code) {
  return "Font " + std::to_string(font) + ", character " +
         hexLabel(static_cast<std::uint32_t>(code));
}

int list(Args& args, Context& ctx) {
  const auto p = args.positionals(1, 1);
  Registry registry;
  const TFonts& fonts = opened(registry, p[0], ctx);
  Json::Array rows;
  std::ostringstream text;
  for (std::size_t f = 0; f < fonts.fontCount(); ++f) {
    const Font& font = fonts.font(f);
    Json::Array chars;
    int widest = 0, tallest = 0, drawn = 0;
    for (int k = 0; k < Font::kChars; ++k) {
      const FontChar& c = font.chars[static_cast<std::size_t>(k)];
      chars.push_back(Json::Object{{"code", k + Font::kFirstCode},
                                   {"width", int{c.width}},
                                   {"height", int{c.height}},
                                   {"third", int{c.third}}});
      widest = std::max(widest, int{c.width});
      tallest = std::max(tallest, int{c.height});
      drawn += c.width > 0 && c.height > 0 ? 1 : 0;
    }
    rows.push_back(Json::Object{{"font", static_cast<std::int64_t>(f)},
                                {"header", int{font.header}},
                                {"characters", chars}});
    text << "font " << f << ": header " << int{font.header} << ", " << drawn
         << " characters with pixels, at most " << widest << " x " << tallest << '\n';
  }
  if (!fonts.trailer().empty())
    text << fonts.trailer().size() << " bytes after the last font, kept as they are\n";
  ctx.report(rows, text.str());
  return 0;
}

int save(Args& args, Context& ctx) {
  const auto p = args.positionals(2, 2);
  Registry registry;
  const TFonts& fonts = opened(registry, p[0], ctx);
  saveFamily(registry, "Fonts", {p[1]});
  ctx.report(Json::Object{{"fonts", static_cast<std::int64_t>(fonts.fontCount())},
                          {"trailerBytes", static_cast<std::int64_t>(fonts.trailer().size())},
                          {"file", p[1]}},
             "saved " + std::to_string(fonts.fontCount()) + " fonts to " + p[1]);
  return 0;
}

int exportPng(Args& args, Context& ctx) {
  const auto ch = args.option("char");
  const auto p = args.positionals(3, 3);
  const std::size_t f = fontOf(p[1]);
  Registry registry;
  const TFonts& fonts = opened(registry, p[0], ctx);
  if (!ch) {
    const Bitmap32 sheet = fonts.sheet(f);
    writePngFile(p[2], sheet);
    ctx.report(Json::Object{{"font", static_cast<std::int64_t>(f)},
                            {"file", p[2]},
                            {"width", sheet.width},
                            {"height", sheet.height}},
               "wrote the sheet of font " + std::to_string(f) + " (" + std::to_string(sheet.width) +
                   "x" + std::to_string(sheet.height) + ") to " + p[2]);
    return 0;
  }
  const int code = codeOf(*ch);
  const Bitmap32 picture = fonts.picture(f, code);
  if (picture.empty())
    throw Error(charName(f, code) + " has no pixels (" + std::to_string(picture.width) + " x " +
                std::to_string(picture.height) + "); nothing was written.");
  writePngFile(p[2], picture);
  ctx.report(Json::Object{{"font", static_cast<std::int64_t>(f)},
                          {"code", code},
                          {"file", p[2]},
                          {"width", picture.width},
                          {"height", picture.height}},
             "wrote " + charName(f, code) + " (" + std::to_string(picture.width) + "x" +
                 std::to_string(picture.height) + ") to " + p[2]);
  return 0;
}

int importPng(Args& args, Context& ctx) {
  const FileTarget target = takeFileTarget(args);
  const auto p = args.positionals(4, 4);
  const std::size_t f = fontOf(p[1]);
  const int code = codeOf(p[2]);
  Registry registry;
  TFonts& fonts = opened(registry, p[0], ctx);
  fonts.character(f, code);  // a font or code it lacks is said before the picture is read
  const Bitmap32 picture = readPngFile(p[3]);
  forRecord(charName(f, code), [&] { fonts.setPicture(f, code, picture); });
  const std::string out = target.path(p[0]);
  saveFamily(registry, "Fonts", {out});
  const FontChar& c = fonts.character(f, code);
  ctx.report(Json::Object{{"font", static_cast<std::int64_t>(f)},
                          {"code", code},
                          {"width", int{c.width}},
                          {"height", int{c.height}},
                          {"third", int{c.third}},
                          {"file", out}},
             "imported " + p[3] + " as " + charName(f, code) + " (" + std::to_string(c.width) +
                 "x" + std::to_string(c.height) + ")\nwritten to " + out);
  return 0;
}

int render(Args& args, Context& ctx) {
  const auto p = args.positionals(4, 4);
  const std::size_t f = fontOf(p[1]);
  Registry registry;
  const TFonts& fonts = opened(registry, p[0], ctx);
  const Bitmap32 picture = fonts.renderText(f, p[2]);
  if (picture.empty())
    throw Error("The text drawn in font " + std::to_string(f) +
                " has no pixels; nothing was written.");
  writePngFile(p[3], picture);
  ctx.report(Json::Object{{"font", static_cast<std::int64_t>(f)},
                          {"file", p[3]},
                          {"width", picture.width},
                          {"height", picture.height}},
             "drew the text in font " + std::to_string(f) + " (" + std::to_string(picture.width) +
                 "x" + std::to_string(picture.height) + ") to " + p[3]);
  return 0;
}

}  // namespace

Group fontGroup() {
  return {
      "font",
      "The classic fonts of fonts.mul: each font a header byte and 224 characters, byte codes "
      "0x20 to 0xFF. CODE is a number (0x41, 65) or the character itself (A, é) as Windows-1252 "
      "has it.",
      {
          {"list", "FONTS",
           "Every font with its header byte and each character's code, width, "
           "height and third byte.",
           list},
          {"save", "FONTS NEW",
           "Loads the file and saves it to NEW; unchanged fonts and the bytes after the last "
           "font come out as they were.",
           save},
          {"export", "[--char CODE] FONTS FONT OUT.png",
           "Writes the font as a sheet of 16 x 14 cells headed by their codes in hex, or with "
           "--char one character's picture.",
           exportPng},
          {"import", std::string("[--out FILE] FONTS FONT CODE IN.png"),
           "The picture becomes the character: its size the character's size (at most 255 x "
           "255), transparent and black pixels empty; the third byte is kept.",
           importPng},
          {"render", "FONTS FONT TEXT OUT.png",
           "Draws a line of text in the font (characters Windows-1252 or the font lacks as ?).",
           render},
      }};
}

}  // namespace quillotide::cli
