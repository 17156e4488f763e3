#include <sstream>

#include "app/Text.h"
#include "cli/Cli.h"
#include "cli/OpenArgs.h"
#include "models/Animdata.h"

namespace quillotide::cli {

namespace {

int tileArg(const std::string& text) {
  const std::int64_t t = parseIntArg(text, "TILE");
  if (t < 0 || t > animdatalayout::kMaxTile) throw UsageError("TILE must be 0 to 0xFFFF.");
  return static_cast<int>(t);
}

Json entryJson(const TAnimdata& a, int tile, const AnimdataRecord& r) {
  Json::Array offsets;
  Json::Array artIds;
  for (int k = 0; k < a.playableFrames(tile); ++k) {
    // Built in place: moving a temporary Json trips GCC 12's false maybe-uninitialized warning.
    offsets.emplace_back(static_cast<int>(r.offsets[static_cast<std::size_t>(k)]));
    artIds.emplace_back(a.frameArtId(tile, k));
  }
  return Json::Object{{"tile", tile},
                      {"label", hexLabel(static_cast<std::uint32_t>(tile))},
                      {"animated", a.isAnimated(tile)},
                      {"frameCount", static_cast<int>(r.frameCount)},
                      {"frameInterval", static_cast<int>(r.frameInterval)},
                      {"startDelay", static_cast<int>(r.startDelay)},
                      {"offsets", offsets},
                      {"artIds", artIds}};
}

std::string entryText(const TAnimdata& a, int tile, const AnimdataRecord& r) {
  std::ostringstream text;
  text << hexLabel(static_cast<std::uint32_t>(tile)) << ": " << static_cast<int>(r.frameCount)
       << " frames every " << 50 * r.frameInterval << " ms after " << 50 * r.startDelay << " ms"
       << (a.isAnimated(tile) ? "" : " (not animated)") << "\n  art ids:";
  for (int k = 0; k < a.playableFrames(tile); ++k)
    text << ' ' << hexLabel(static_cast<std::uint32_t>(a.frameArtId(tile, k)));
  return text.str();
}

int list(Args& args, Context& ctx) {
  const auto p = args.positionals(1, 1);
  Registry registry;
  openFamily(registry, "Animdata", {p[0]});
  TAnimdata& a = *registry.animdata;
  Json::Array rows;
  std::ostringstream text;
  const auto tiles = a.animatedTiles();
  for (int t : tiles) {
    rows.push_back(Json::Object{{"tile", t},
                                {"label", hexLabel(static_cast<std::uint32_t>(t))},
                                {"frameCount", a.frameCount(t)},
                                {"frameInterval", a.frameInterval(t)},
                                {"startDelay", a.startDelay(t)}});
    text << hexLabel(static_cast<std::uint32_t>(t)) << ' ' << a.frameCount(t)
         << " frames, interval " << a.frameInterval(t) << ", delay " << a.startDelay(t) << '\n';
  }
  text << tiles.size() << " animated tiles of " << a.tileCount();
  ctx.report(Json::Object{{"tileCount", a.tileCount()}, {"animated", rows}}, text.str());
  return 0;
}

int show(Args& args, Context& ctx) {
  const auto p = args.positionals(2, 2);
  Registry registry;
  openFamily(registry, "Animdata", {p[0]});
  TAnimdata& a = *registry.animdata;
  const int tile = tileArg(p[1]);
  const auto r = a.readEntry(tile);
  if (!r)
    throw Error(
        formatMessage("Tile %s lies past the end of the file (%d tiles).",
                      {hexLabel(static_cast<std::uint32_t>(tile)), std::to_string(a.tileCount())}));
  ctx.report(entryJson(a, tile, *r), entryText(a, tile, *r));
  return 0;
}

int set(Args& args, Context& ctx) {
  const FileTarget out = takeFileTarget(args);
  const auto frames = args.option("frames");
  const auto interval = args.intOption("interval");
  const auto delay = args.intOption("delay");
  const auto unknown = args.intOption("unknown");
  const auto p = args.positionals(2, 2);
  Registry registry;
  openFamily(registry, "Animdata", {p[0]});
  TAnimdata& a = *registry.animdata;
  const int tile = tileArg(p[1]);
  AnimdataRecord r = a.readEntry(tile).value_or(AnimdataRecord{});
  if (frames) {
    // The frame offsets in order; the count follows the list.
    const auto pieces = frames->empty() ? std::vector<std::string>{} : split(*frames, ",");
    if (pieces.size() > animdatalayout::kFrameOffsets)
      throw UsageError("--frames takes at most 64 offsets.");
    r.offsets.fill(0);
    for (std::size_t k = 0; k < pieces.size(); ++k) {
      const std::int64_t v = parseIntArg(pieces[k], "--frames");
      if (v < -128 || v > 127) throw UsageError("Frame offsets must be -128 to 127.");
      r.offsets[k] = static_cast<std::int8_t>(v);
    }
    r.frameCount = static_cast<std::uint8_t>(pieces.size());
  }
  auto byteOf = [](const std::optional<std::int64_t>& v, const char* name, std::uint8_t current) {
    if (!v) return current;
    if (*v < 0 || *v > 255) throw UsageError(std::string("--") + name + " must be 0 to 255.");
    return static_cast<std::uint8_t>(*v);
  };
  r.frameInterval = byteOf(interval, "interval", r.frameInterval);
  r.startDelay = byteOf(delay, "delay", r.startDelay);
  r.unknown = byteOf(unknown, "unknown", r.unknown);
  a.writeEntry(tile, r);
  const std::string target = out.path(p[0]);
  saveFamily(registry, "Animdata", {target});
  ctx.report(entryJson(a, tile, r), entryText(a, tile, r) + "\nsaved " + target);
  return 0;
}

}  // namespace

Group animdataGroup() {
  return {
      "animdata",
      "The animated-static table animdata.mul.",
      {
          {"list", "FILE", "The animated tiles with frame count, interval and delay.", list},
          {"show", "FILE TILE", "One record with its frames as art ids.", show},
          {"set",
            "FILE TILE [--frames O1,O2,...] [--interval N] [--delay N] [--unknown N] [--out "
            "FILE]",
           "Edits a record (frame offsets relative to the tile, units of 50 ms) and saves.", set},
      }};
}

}  // namespace quillotide::cli
