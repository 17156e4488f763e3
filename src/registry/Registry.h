#pragma once
// The registry of long-lived models: one instance of each, created in a fixed order at start and
// alive for the whole run. Windows and tools reach the models through it. Teardown releases the
// configuration store first, then every model in creation order.

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "app/Config.h"
#include "app/Facet.h"
#include "app/Random.h"
#include "models/Animation.h"
#include "models/Animdata.h"
#include "models/Art.h"
#include "models/Cliloc.h"
#include "models/Fonts.h"
#include "models/Gump.h"
#include "models/Hues.h"
#include "world/Items.h"
#include "models/Light.h"
#include "world/Map.h"
#include "models/Multi.h"
#include "models/Multimap.h"
#include "models/ProgressArchive.h"
#include "models/Radarcol.h"
#include "models/Skills.h"
#include "models/Sound.h"
#include "models/Speech.h"
#include "world/StaticDiff.h"
#include "world/Statics.h"
#include "models/Textures.h"
#include "models/Tiledata.h"
#include "models/Unifont.h"
#include "models/Verdata.h"
#include "registry/OpenFiles.h"
#include "world/WorldFile.h"

namespace quillotide {

class Registry {
public:
  // Creates the store (not yet loaded) and every model in registry order; no file is opened.
  Registry();
  ~Registry();
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  // New models join at the end, in the order the program creates them.
  std::unique_ptr<TConfig> config;
  std::unique_ptr<TAnimation> animation;
  std::unique_ptr<TVerdata> verdata;
  std::unique_ptr<TGump> gumps;
  std::unique_ptr<TArt> art;
  std::unique_ptr<TTextures> textures;
  std::unique_ptr<TRadarcol> radarcol;
  std::unique_ptr<THues> hues;
  std::unique_ptr<THues> hues2;
  std::unique_ptr<TLight> light;
  std::unique_ptr<TTiledata> tiledata;
  std::unique_ptr<TAnim2> anim2;
  std::unique_ptr<TAnim3> anim3;
  std::unique_ptr<TAnim4> anim4;
  std::unique_ptr<TAnim5> anim5;
  std::unique_ptr<TAnimdata> animdata;
  std::unique_ptr<TMulti> multis;
  std::unique_ptr<TSound> sound;
  std::unique_ptr<TStatics> statics;
  std::unique_ptr<TMap> map;
  std::unique_ptr<TItems> items;
  std::unique_ptr<TWorldFile> worldFile;
  std::unique_ptr<TStaticDiff> staticDiff;
  std::unique_ptr<TProgress> progress;
  std::unique_ptr<TCliloc> cliloc;
  std::unique_ptr<TFonts> fonts;
  std::unique_ptr<TUnifont> unifont;
  std::unique_ptr<TSkills> skills;
  std::unique_ptr<TSkillGroups> skillGroups;
  std::unique_ptr<TSpeech> speech;
  std::unique_ptr<TMultimap> multimap;

  // The models the world models take pictures, flags, frame counts, textures and radar colours
  // from. wireWorldSources hands them to the world models again, after a model was replaced.
  WorldSources worldSources() const;
  void wireWorldSources();

  // The facet of the settings ("Facet", 0 to 5); 0 while unset or no facet.
  int settingsFacet() const;
  // The world size the facet of the settings has for the map and statics index of the settings
  // ("Map", "StaticIdx"), from their sizes; nullopt when they fit no size of the facet. Throws
  // Error naming both sizes when the two files belong to different worlds.
  std::optional<FacetSize> settingsFacetSize() const;
  // The world size of the settings: the facet's size for its files when they give one, else
  // MapWidth x MapHeight; 6144 x 4096 while neither gives a world size.
  std::pair<int, int> settingsWorldSize() const;
  // Gives the diff store the world its block numbers refer to: the loaded statics' world, so that
  // a diff block hides the statics block it replaces, else the world size of the settings; and
  // the facet of the settings, whose diff files it reads and writes.
  void alignDiffWorld();

  // The LowMemory setting as read once at start; it picks the storage mode of art, textures and
  // statics at every load of this run.
  bool lowMemory = false;
  StorageMode pairMode() const { return lowMemory ? StorageMode::LowMemory : StorageMode::Memory; }

  // The run's random generator, seeded from the clock (tests seed it).
  Random random;

  // The owner of every open file: every open, save, save as, close and whole-file tool goes
  // through it.
  OpenFiles& openFiles() { return *m_openFiles; }
  const OpenFiles& openFiles() const { return *m_openFiles; }

private:
  std::unique_ptr<OpenFiles> m_openFiles;
};

}  // namespace quillotide
