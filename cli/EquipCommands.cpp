// The "equip" group: the equipment patch of a new wearable item. Every field of the patcher page
// is an option; the files of each family are named by their own options, and each family given
// is loaded, patched and written back over the files it was read from (the animation index is
// changed in place, as the animation files always are).

#include <cctype>
#include <sstream>

#include "app/Text.h"
#include "cli/Cli.h"
#include "cli/OpenArgs.h"
#include "models/Animation.h"
#include "models/Art.h"
#include "models/EquipPatch.h"
#include "models/Gump.h"
#include "models/ProgressArchive.h"
#include "models/Tiledata.h"

namespace quillotide::cli {

namespace {

// Both files of a pair or neither; the family stays unloaded without them.
std::optional<std::pair<std::string, std::string>> pairOption(Args& args, const std::string& name) {
  auto index = args.option(name + "-idx");
  auto data = args.option(name + "-mul");
  if (index.has_value() != data.has_value())
    throw UsageError("--" + name + "-idx and --" + name + "-mul go together.");
  if (!index) return std::nullopt;
  return std::make_pair(*index, *data);
}

// A layer by its position in the list (integer rule) or by its name ("Layer_Hat", any case).
std::optional<int> layerOption(Args& args) {
  const auto text = args.option("layer");
  if (!text) return std::nullopt;
  const auto& layers = equipLayers();
  for (std::size_t i = 0; i < layers.size(); ++i)
    if (toUpper(layers[i]) == toUpper(*text)) return static_cast<int>(i);
  if (const auto n = tryParseInt(*text); n && *n >= 0 && *n < equipLayout::kLayerCount) return *n;
  throw UsageError("--layer takes 0 ... 22 or a layer name such as Layer_Hat, not '" + *text +
                   "'.");
}

std::optional<TiledataLayout> layoutOption(Args& args) {
  const auto l = args.option("layout");
  if (!l || *l == "auto") return std::nullopt;
  if (const auto layout = tiledataLayoutFromName(*l)) return layout;
  throw UsageError("--layout takes 'older', 'newer' or 'auto', not '" + *l + "'.");
}

int patch(Args& args, Context& ctx) {
  const auto gumpFiles = pairOption(args, "gump");
  const auto artFiles = pairOption(args, "art");
  const auto progressFiles = pairOption(args, "progress");
  const auto animFiles = pairOption(args, "anim");
  const auto tiledataFile = args.option("tiledata");
  const auto layout = layoutOption(args);

  EquipPatch p;
  p.gumpPicture = args.option("gump").value_or("");
  p.femaleGumpPicture = args.option("gump-w").value_or("");
  p.artPicture = args.option("art").value_or("");
  p.gumpToProgress = args.flag("progress-gump");
  p.femaleGumpToProgress = args.flag("progress-gump-w");
  p.artToProgress = args.flag("progress-art");
  p.gumpId = args.option("gump-id").value_or("");
  p.artId = args.option("art-id").value_or("");
  p.animId = args.option("anim-id").value_or("");
  p.weight = args.option("weight").value_or("0");
  p.name = args.option("name").value_or("");
  for (const auto& [mask, caption] : equipFlags()) {
    std::string name;
    for (const char c : caption) {
      if (std::isupper(static_cast<unsigned char>(c)) && !name.empty()) name += '-';
      name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (args.flag(name)) p.flags |= mask;
  }
  p.layer = layerOption(args);
  args.positionals(0, 0);

  // Each family given is opened in the registry's owner; a family not given stays unloaded.
  Registry registry;
  if (gumpFiles) openFamily(registry, "Gumps", {gumpFiles->first, gumpFiles->second});
  if (artFiles) openFamily(registry, "Art", {artFiles->first, artFiles->second});
  if (progressFiles)
    openFamily(registry, "Progress", {progressFiles->first, progressFiles->second});
  if (animFiles) openFamily(registry, "Anim", {animFiles->first, animFiles->second});
  if (tiledataFile) openTiledata(registry, *tiledataFile, layout);

  const EquipPatchResult r =
      patchEquipment(p, {*registry.gumps, *registry.art, *registry.progress, *registry.animation,
                         *registry.tiledata, animFiles ? animFiles->first : ""});
  // The patch checked that every family it wrote into is open.
  const bool gumpModel =
      !p.gumpToProgress || (!p.femaleGumpPicture.empty() && !p.femaleGumpToProgress);
  if (gumpModel) saveFamily(registry, "Gumps", {gumpFiles->first, gumpFiles->second});
  if (!p.artToProgress) saveFamily(registry, "Art", {artFiles->first, artFiles->second});
  if (p.gumpToProgress || p.femaleGumpToProgress || p.artToProgress)
    saveFamily(registry, "Progress", {progressFiles->first, progressFiles->second});
  saveFamily(registry, "Tiledata", {*tiledataFile});

  const auto hex = [](std::int64_t v) { return hexLabel(static_cast<std::uint32_t>(v)); };
  std::ostringstream text;
  text << "gump " << r.gumpId << (p.gumpToProgress ? " (progress)" : "");
  if (r.femaleGumpId)
    text << ", female gump " << *r.femaleGumpId << (p.femaleGumpToProgress ? " (progress)" : "");
  text << ", static " << hex(r.artId) << (p.artToProgress ? " (progress)" : "") << ", body "
       << hex(r.body) << " copied from " << hex(r.sourceBody) << ", layer "
       << equipLayers()[r.record.quality] << ", flags "
       << hex(static_cast<std::int64_t>(r.record.flags)) << ", weight " << int{r.record.weight}
       << ", name \"" << tileNameText(r.record.name) << '"';
  ctx.report(Json::Object{{"gumpId", r.gumpId},
                          {"femaleGumpId", r.femaleGumpId ? Json(*r.femaleGumpId) : Json()},
                          {"artId", r.artId},
                          {"sourceBody", r.sourceBody},
                          {"body", r.body},
                          {"layer", int{r.record.quality}},
                          {"layerName", std::string(equipLayers()[r.record.quality])},
                          {"flags", r.record.flags},
                          {"weight", int{r.record.weight}},
                          {"name", tileNameText(r.record.name)}},
             text.str());
  return 0;
}

}  // namespace

Group equipGroup() {
  return {
      "equip",
      "The equipment patcher: gumps, art, a copied body and the tile data record of a new item.",
      {
          {"patch",
           "[--gump-idx F --gump-mul F] [--art-idx F --art-mul F] [--progress-idx F "
           "--progress-mul F] --anim-idx F --anim-mul F --tiledata F [--layout older|newer] "
           "--gump PICTURE [--gump-w PICTURE] --art PICTURE [--progress-gump] [--progress-gump-w] "
           "[--progress-art] --gump-id G --art-id A --anim-id S [--wearable] [--weapon] [--armor] "
           "[--partial-hue] [--light-source] --layer N|NAME [--weight W] [--name TEXT]",
           "Writes the male gump G (and the female gump G + 10000), the static art A, body "
           "G - 50000 copied from body S and the tile data record of A; every family given is "
           "written back over its files.",
           patch},
      }};
}

}  // namespace quillotide::cli
