#pragma once
// A small generated world for the world editor's tests and benchmarks: solid-coloured land tiles,
// statics and a texture, so that every drawn pixel tells which item it belongs to.
//
// Land tile 1 is a flat red diamond, land tile 2 the "nothing drawn" tile (green), land tile 3 a
// textured ground (its texture 3 is solid blue) used on the slope; static 1 is a 20 x 40 yellow
// post, static 2 a 44 x 44 grey floor flagged background and surface, static 3 a 30 x 30 white
// frame around a magenta square (the white is transparent), static 4 animated through statics 5
// and 6 (cyan, then orange).

#include <memory>
#include <vector>

#include "app/Colour.h"
#include "models/Animdata.h"
#include "models/Art.h"
#include "world/EditorScene.h"
#include "models/Hues.h"
#include "world/Map.h"
#include "world/Statics.h"
#include "models/Textures.h"
#include "models/Tiledata.h"
#include "world/WorldFile.h"
#include "support/TestFiles.h"
#include "support/WorldFiles.h"

namespace quillotide {
class Registry;
}

namespace quillotide::test {

// The models the editor's scene reads, in a folder of their own.
struct EditorModels {
  // A scene's sources over all these models.
  SceneSources sources() {
    return SceneSources{&map, &statics, &worldFile, {}, &art, &textures, &hues, &tiledata,
                        &animdata};
  }

  TempDir dir;
  TArt art;
  TTiledata tiledata;
  TTextures textures;
  THues hues;
  TAnimdata animdata;
  TMap map;
  TStatics statics;
  TWorldFile worldFile;
};

struct EditorWorld : EditorModels {
  static constexpr std::uint16_t kRedLand = 1;
  static constexpr std::uint16_t kNoDrawLand = 2;
  static constexpr std::uint16_t kTexturedLand = 3;
  static constexpr std::uint16_t kPost = 1;
  static constexpr std::uint16_t kFloor = 2;
  static constexpr std::uint16_t kFrame = 3;
  static constexpr std::uint16_t kAnimated = 4;
  static Pixel red() { return makePixel(248, 0, 0); }
  static Pixel blue() { return makePixel(0, 0, 248); }
  static Pixel yellow() { return makePixel(248, 248, 0); }
  static Pixel grey() { return makePixel(128, 128, 128); }
  static Pixel magenta() { return makePixel(248, 0, 248); }

  // A world of side x side cells (a multiple of 8), every cell flat red land at z 0, with the
  // given statics. No statics and no slope unless asked for.
  explicit EditorWorld(int side = 64, const std::vector<PlacedStatic>& statics = {},
                       const std::function<CellSpec(int, int)>& cell = {});

  // Writes every file of the world into dir and loads them into the registry's models, as the
  // Settings page would (the world size stored as MapWidth and MapHeight).
  void loadInto(Registry& registry);

  int side = 0;
  StaticsFiles staticsFiles;
};

// The sample world with the models the editor reads, loaded from a freshly written sample set.
struct SampleEditorWorld : EditorModels {
  SampleEditorWorld();
};

// A dense area for speed measurements: every cell of a side x side world holds `perCell` statics
// of the post and floor kinds on red land.
std::vector<PlacedStatic> denseStatics(int side, int perCell);

}  // namespace quillotide::test
