// The "multimap" group: the overview picture of Multimap.rle, monochrome with a header or
// headerless colour. The colour variant does not store its width: --width gives it, otherwise the
// model infers it and the commands say so. The file is opened through the owner of open files.

#include <algorithm>

#include "app/Bytes.h"
#include "app/Png.h"
#include "app/Text.h"
#include "cli/Cli.h"
#include "cli/OpenArgs.h"
#include "models/Multimap.h"

namespace quillotide::cli {

namespace {

constexpr int kMaxMonochromeSide = 65536;

std::optional<int> widthOption(Args& args) {
  const auto w = args.intOption("width");
  if (!w) return std::nullopt;
  if (*w < 1) throw Error("--width is at least 1, not " + std::to_string(*w) + ".");
  return static_cast<int>(*w);
}

const char* variantWord(MultimapLayout layout) {
  return layout == MultimapLayout::Monochrome ? "monochrome" : "colour";
}

// Opens the file in the registry's owner. A width given is handed to the model's own load (the
// owner's load infers it), and the owner is told of the file it then holds.
TMultimap& opened(Registry& registry, const std::string& path, std::optional<int> width,
                  const Context& ctx) {
  if (width) {
    registry.multimap->load(path, width);
    registry.openFiles().adopt("Multimap", {path}, {});
  } else {
    openFamily(registry, "Multimap", {path});
  }
  TMultimap& map = *registry.multimap;
  ctx.noteProblems(path, map.problems());
  if (width && map.layout() == MultimapLayout::Monochrome && map.width() != *width)
    ctx.note(path + ": the header gives the width " + std::to_string(map.width()) +
             "; --width is not used.");
  return map;
}

bool inferred(const TMultimap& map, std::optional<int> width) {
  return map.layout() == MultimapLayout::Colour && !width;
}

// "300 x 200, width inferred": the size and how it was found, for every command's report.
std::string sizeText(const TMultimap& map, std::optional<int> width) {
  return std::to_string(map.width()) + " x " + std::to_string(map.height()) +
         (inferred(map, width) ? ", width inferred" : "");
}

int info(Args& args, Context& ctx) {
  const auto width = widthOption(args);
  const auto p = args.positionals(1, 1);
  Registry registry;
  const TMultimap& map = opened(registry, p[0], width, ctx);
  const bool mono = map.layout() == MultimapLayout::Monochrome;
  std::string text = std::string("variant: ") + variantWord(map.layout()) +
                     (mono ? " (with a header)" : " (no header)") +
                     "\nsize: " + sizeText(map, width) +
                     (mono ? "\npixels on: " + std::to_string(map.pixelsOn())
                           : "\ncolours: " + std::to_string(map.colourCount()));
  for (const std::string& line : map.problems()) text += "\n" + line;
  Json::Object json{{"width", map.width()},
                    {"height", map.height()},
                    {"variant", variantWord(map.layout())},
                    {"widthInferred", inferred(map, width)}};
  if (mono)
    json.emplace_back("pixelsOn", map.pixelsOn());
  else
    json.emplace_back("colours", map.colourCount());
  json.emplace_back("problems", stringsJson(map.problems()));
  ctx.report(json, text);
  return 0;
}

int exportPng(Args& args, Context& ctx) {
  const auto width = widthOption(args);
  const auto p = args.positionals(2, 2);
  Registry registry;
  const TMultimap& map = opened(registry, p[0], width, ctx);
  map.exportPng(p[1]);
  ctx.report(Json::Object{{"file", p[1]},
                          {"width", map.width()},
                          {"height", map.height()},
                          {"variant", variantWord(map.layout())},
                          {"widthInferred", inferred(map, width)}},
             "wrote the " + std::string(variantWord(map.layout())) + " map (" +
                 sizeText(map, width) + ") to " + p[1]);
  return 0;
}

// A monochrome map of the size with every pixel off, as the file's runs give it.
Bytes blankMonochrome(int width, int height) {
  if (width > kMaxMonochromeSide || height > kMaxMonochromeSide)
    throw Error(
        formatMessage("A monochrome Multimap.rle is at most %d x %d; the picture is %d x %d.",
                      {std::to_string(kMaxMonochromeSide), std::to_string(kMaxMonochromeSide),
                       std::to_string(width), std::to_string(height)}));
  const std::int64_t total = std::int64_t{width} * height;
  if (total > TMultimap::kMaxPixels)
    throw Error(formatMessage("The picture holds %d pixels; Multimap.rle holds at most %d.",
                              {std::to_string(total), std::to_string(TMultimap::kMaxPixels)}));
  ByteWriter out(8 + static_cast<std::size_t>(total / 127) + 1);
  out.u32(static_cast<std::uint32_t>(width));
  out.u32(static_cast<std::uint32_t>(height));
  for (std::int64_t left = total; left > 0; left -= 127)
    out.u8(static_cast<std::uint8_t>(std::min<std::int64_t>(left, 127)));
  return out.take();
}

int importPng(Args& args, Context& ctx) {
  const auto like = args.option("like");
  const auto width = widthOption(args);
  const auto p = args.positionals(2, 2);
  if (width && !like) throw UsageError("--width goes with --like FILE (the file it reads).");
  const Bitmap32 picture = readPngFile(p[0]);
  Registry registry;
  std::string text;
  if (like) {
    TMultimap& map = opened(registry, *like, width, ctx);
    map.setPicture(picture);
    saveFamily(registry, "Multimap", {p[1]});
    text = "wrote " + p[0] + " as a " + variantWord(map.layout()) + " map like " + *like + " (" +
           sizeText(map, width) + ") to " + p[1];
    ctx.report(Json::Object{{"file", p[1]},
                            {"width", map.width()},
                            {"height", map.height()},
                            {"variant", variantWord(map.layout())},
                            {"widthInferred", inferred(map, width)}},
               text);
    return 0;
  }
  // No file to take after: the variant with a header, which stores its own size. The new file is
  // the command's own and no family of the owner holds it.
  TMultimap map;
  map.loadBytes(blankMonochrome(picture.width, picture.height));
  map.setPicture(picture);
  map.save(p[1]);
  ctx.report(Json::Object{{"file", p[1]},
                          {"width", map.width()},
                          {"height", map.height()},
                          {"variant", variantWord(map.layout())},
                          {"widthInferred", false}},
             "wrote " + p[0] + " as a monochrome map (" + sizeText(map, width) + ") to " + p[1]);
  return 0;
}

int save(Args& args, Context& ctx) {
  const auto width = widthOption(args);
  const auto p = args.positionals(2, 2);
  Registry registry;
  const TMultimap& map = opened(registry, p[0], width, ctx);
  saveFamily(registry, "Multimap", {p[1]});
  ctx.report(Json::Object{{"file", p[1]},
                          {"width", map.width()},
                          {"height", map.height()},
                          {"variant", variantWord(map.layout())},
                          {"widthInferred", inferred(map, width)}},
             "saved the " + std::string(variantWord(map.layout())) + " map (" +
                 sizeText(map, width) + ") to " + p[1]);
  return 0;
}

}  // namespace

Group multimapGroup() {
  return {
      "multimap",
      "The overview picture of Multimap.rle: monochrome with a header, or colour without one, "
      "whose width --width gives (otherwise it is inferred: the narrowest width at which every "
      "row ends a run, and the output says so).",
      {
          {"info", "[--width W] MULTIMAP",
           "The variant (monochrome or colour), the size and whether the width was inferred.",
           info},
          {"export", "[--width W] MULTIMAP OUT.png", "Writes the picture as a PNG.", exportPng},
          {"import", "[--like FILE [--width W]] IN.png OUT",
           "Writes the picture as a new Multimap.rle: in the variant of FILE (the picture of its "
           "size), otherwise monochrome with a header. Dark pixels are on in monochrome; colours "
           "are kept to 15 bits.",
           importPng},
          {"save", "[--width W] MULTIMAP NEW",
           "Loads the file and saves it to NEW; an unchanged picture comes out as it was.", save},
      }};
}

}  // namespace quillotide::cli
