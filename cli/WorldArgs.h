#pragma once
// The world size every map and statics command needs: the files do not hold it.

#include "app/Text.h"
#include "cli/Cli.h"
#include "world/Item.h"

namespace quillotide::cli {

struct WorldSize {
  int width = 0;
  int height = 0;
};

// Takes the required --width W --height H; both must be multiples of 8 (kWorldSizeMessage).
inline WorldSize worldSizeOf(Args& args) {
  const auto w = args.intOption("width");
  const auto h = args.intOption("height");
  if (!w || !h) throw UsageError("Give the world size with --width W --height H.");
  checkWorldSize(*w, *h);
  return {static_cast<int>(*w), static_cast<int>(*h)};
}

inline int intArg(const std::string& text, const std::string& what) {
  const std::int64_t v = parseIntArg(text, what);
  if (v < INT32_MIN || v > INT32_MAX) throw UsageError(what + " is out of range.");
  return static_cast<int>(v);
}

inline std::uint16_t u16Arg(const std::string& text, const std::string& what) {
  const std::int64_t v = parseIntArg(text, what);
  if (v < 0 || v > 0xFFFF) throw UsageError(what + " must be 0 to 0xFFFF.");
  return static_cast<std::uint16_t>(v);
}

// An item (a static or a placed item) as a JSON object: id, x, y, z, hue.
inline Json itemJson(const TItem& s) {
  return Json::Object{{"id", static_cast<int>(s.tileId)},
                      {"x", static_cast<int>(s.x)},
                      {"y", static_cast<int>(s.y)},
                      {"z", static_cast<int>(s.z)},
                      {"hue", static_cast<int>(s.hue)}};
}

}  // namespace quillotide::cli
