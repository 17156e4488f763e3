#include "app/Registry.h"

#include "app/FileIO.h"

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
      worldFile(std::make_unique<TWorldFile>()),
      progress(std::make_unique<TProgress>()) {
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
}

Registry::~Registry() {
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
  worldFile.reset();
  progress.reset();
}

std::string defaultConfigPath() { return joinPath(executableDir(), "config.xml"); }

}  // namespace quillotide
