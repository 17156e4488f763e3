#include "registry/Registry.h"

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/FileNames.h"

namespace quillotide {

Registry::Registry()
    : config(std::make_unique<TConfig>()),
      animation(std::make_unique<TAnimation>()),
      verdata(std::make_unique<TVerdata>()),
      gumps(std::make_unique<TGump>()),
      art(std::make_unique<TArt>()),
      textures(std::make_unique<TTextures>()),
      radarcol(std::make_unique<TRadarcol>()),
      hues(std::make_unique<THues>()),
      hues2(std::make_unique<THues>()),
      light(std::make_unique<TLight>()),
      tiledata(std::make_unique<TTiledata>()),
      anim2(std::make_unique<TAnim2>()),
      anim3(std::make_unique<TAnim3>()),
      anim4(std::make_unique<TAnim4>()),
      anim5(std::make_unique<TAnim5>()),
      animdata(std::make_unique<TAnimdata>()),
      multis(std::make_unique<TMulti>()),
      sound(std::make_unique<TSound>()),
      statics(std::make_unique<TStatics>()),
      map(std::make_unique<TMap>()),
      items(std::make_unique<TItems>()),
      worldFile(std::make_unique<TWorldFile>()),
      staticDiff(std::make_unique<TStaticDiff>()),
      progress(std::make_unique<TProgress>()),
      cliloc(std::make_unique<TCliloc>()),
      fonts(std::make_unique<TFonts>()),
      unifont(std::make_unique<TUnifont>()),
      skills(std::make_unique<TSkills>()),
      skillGroups(std::make_unique<TSkillGroups>()),
      speech(std::make_unique<TSpeech>()),
      multimap(std::make_unique<TMultimap>()),
      m_openFiles(std::make_unique<OpenFiles>(*this)) {
  wireWorldSources();
}

WorldSources Registry::worldSources() const {
  return {art.get(), tiledata.get(), animdata.get(), textures.get(), radarcol.get()};
}

void Registry::wireWorldSources() {
  const WorldSources sources = worldSources();
  if (statics) statics->setSources(sources);
  if (map) map->setSources(sources);
  if (worldFile) worldFile->setSources(sources);
  if (staticDiff) staticDiff->setSources(sources);
  // Read at each query, so a diff store or statics model put in place later is still wired.
  if (statics)
    statics->setReplacedBlocks(
        [this](std::int32_t b) { return staticDiff && staticDiff->hasBlock(b); });
  if (items) items->setOwners(statics.get(), staticDiff.get(), worldFile.get());
}

int Registry::settingsFacet() const {
  if (!config || !config->contains("Facet")) return 0;
  const std::int32_t facet = config->getInt("Facet");
  return facet >= 0 && facet < kFacetCount ? facet : 0;
}

std::optional<FacetSize> Registry::settingsFacetSize() const {
  if (!config) return std::nullopt;
  // A map container counts by the map it holds, added up from its chunk table.
  const auto sizeOf = [this](const std::string& key) {
    return worldFileBytes(config->getString(key));
  };
  const auto name = [this](const std::string& key) {
    const std::string path = config->getString(key);
    return path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
  };
  return facetWorldSize(settingsFacet(), sizeOf("Map"), sizeOf("StaticIdx"), name("Map"),
                        name("StaticIdx"));
}

std::pair<int, int> Registry::settingsWorldSize() const {
  const std::pair<int, int> classic{StaticDiffLayout::kDefaultWidth,
                                    StaticDiffLayout::kDefaultHeight};
  try {
    if (const std::optional<FacetSize> facet = settingsFacetSize())
      return {facet->width, facet->height};
  } catch (const Error&) {
    // Files of two worlds: their open refuses them; the size typed stays the answer here.
  }
  if (!config || !config->contains("MapWidth") || !config->contains("MapHeight")) return classic;
  const int width = config->getInt("MapWidth");
  const int height = config->getInt("MapHeight");
  try {
    checkWorldSize(width, height);
  } catch (const Error&) {
    return classic;
  }
  return {width, height};
}

void Registry::alignDiffWorld() {
  if (!staticDiff) return;
  staticDiff->setFacet(settingsFacet());
  if (statics && statics->isLoaded()) {
    staticDiff->setWorldSize(statics->width(), statics->height());
    return;
  }
  const auto [width, height] = settingsWorldSize();
  staticDiff->setWorldSize(width, height);
}

Registry::~Registry() {
  m_openFiles.reset();
  config.reset();
  animation.reset();
  verdata.reset();
  gumps.reset();
  art.reset();
  textures.reset();
  radarcol.reset();
  hues.reset();
  hues2.reset();
  light.reset();
  tiledata.reset();
  anim2.reset();
  anim3.reset();
  anim4.reset();
  anim5.reset();
  animdata.reset();
  multis.reset();
  sound.reset();
  statics.reset();
  map.reset();
  items.reset();
  worldFile.reset();
  staticDiff.reset();
  progress.reset();
  cliloc.reset();
  fonts.reset();
  unifont.reset();
  skills.reset();
  skillGroups.reset();
  speech.reset();
  multimap.reset();
}

}  // namespace quillotide
