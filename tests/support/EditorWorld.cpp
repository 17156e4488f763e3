#include "support/EditorWorld.h"

#include "registry/Registry.h"
#include "sample/Sample.h"

namespace quillotide::test {

namespace {

Bitmap32 diamond(Pixel colour) {
  Bitmap32 tile(kLandTileSize, kLandTileSize, 0xFFFFFFFFu);
  for (int y = 0; y < kLandTileSize; ++y) {
    const int half = y < 22 ? y + 1 : 44 - y;
    for (int x = 22 - half; x < 22 + half; ++x) tile.at(x, y) = colour;
  }
  return tile;
}

std::string emptyFile(const TempDir& dir, const std::string& name) {
  writeBytes(dir.file(name), {});
  return dir.file(name);
}

}  // namespace

EditorWorld::EditorWorld(int worldSide, const std::vector<PlacedStatic>& placed,
                         const std::function<CellSpec(int, int)>& cell)
    : side(worldSide) {
  art.load(emptyFile(dir, "artidx.mul"), emptyFile(dir, "art.mul"), StorageMode::Memory);
  art.importLand(kRedLand, diamond(red()));
  art.importLand(kNoDrawLand, diamond(makePixel(0, 248, 0)));
  art.importLand(kTexturedLand, diamond(makePixel(96, 64, 32)));
  art.importStatic(kPost, Bitmap32(20, 40, yellow()));
  art.importStatic(kFloor, Bitmap32(44, 44, grey()));
  Bitmap32 frame(30, 30, 0xFFFFFFFFu);
  for (int y = 8; y < 22; ++y)
    for (int x = 8; x < 22; ++x) frame.at(x, y) = magenta();
  art.importStatic(kFrame, frame);
  art.importStatic(kAnimated, Bitmap32(10, 10, makePixel(0, 248, 248)));
  art.importStatic(kAnimated + 1, Bitmap32(10, 10, makePixel(0, 248, 248)));
  art.importStatic(kAnimated + 2, Bitmap32(10, 20, makePixel(248, 128, 0)));

  // Classic layout: 0x4000 land records, then 32 statics per group.
  tiledata.loadBytes(Bytes(428032 + 1188 * 4, 0));
  LandTileRecord textured;
  textured.textureId = 3;
  tiledata.writeLand(kTexturedLand, textured);
  StaticTileRecord floor;
  floor.flags = TileFlags::Background | TileFlags::Surface;
  tiledata.writeStatic(kFloor, floor);
  StaticTileRecord post;
  post.height = 10;
  tiledata.writeStatic(kPost, post);
  StaticTileRecord animated;
  animated.flags = TileFlags::Animation;
  tiledata.writeStatic(kAnimated, animated);

  textures.load(emptyFile(dir, "texidx.mul"), emptyFile(dir, "texmaps.mul"), StorageMode::Memory);
  textures.writeTexture(3, Bitmap32(64, 64, blue()));

  sample::writeHues(dir.path());
  hues.load(dir.file("hues.mul"));

  animdata.loadBytes(Bytes(548, 0));
  AnimdataRecord frames;
  frames.offsets[0] = 1;
  frames.offsets[1] = 2;
  frames.frameCount = 2;
  frames.frameInterval = 2;
  frames.startDelay = 0;
  animdata.writeEntry(kAnimated, frames);

  const WorldSources world{&art, &tiledata, &animdata, &textures, nullptr};
  map.setSources(world);
  statics.setSources(world);
  worldFile.setSources(world);
  const auto flat = [](int, int) { return CellSpec{kRedLand, 0}; };
  writeBytes(dir.file("map0.mul"), makeMapBytes(side, side, cell ? cell : flat));
  map.open(dir.file("map0.mul"), side, side);
  staticsFiles = makeStaticsFiles(side, side, placed);
  statics.openBytes(staticsFiles.index, staticsFiles.data, side, side);
}

void EditorWorld::loadInto(Registry& r) {
  art.save(dir.file("artidx.mul"), dir.file("art.mul"));
  textures.save(dir.file("texidx.mul"), dir.file("texmaps.mul"));
  tiledata.save(dir.file("tiledata.mul"));
  animdata.save(dir.file("animdata.mul"));
  writeBytes(dir.file("staidx0.mul"), staticsFiles.index);
  writeBytes(dir.file("statics0.mul"), staticsFiles.data);
  r.art->load(dir.file("artidx.mul"), dir.file("art.mul"), StorageMode::Memory);
  r.textures->load(dir.file("texidx.mul"), dir.file("texmaps.mul"), StorageMode::Memory);
  r.tiledata->load(dir.file("tiledata.mul"));
  r.animdata->load(dir.file("animdata.mul"));
  r.hues->load(dir.file("hues.mul"));
  r.wireWorldSources();
  // The world's own map holds its file; the registry's map gets a copy of its own.
  writeBytes(dir.file("registry-map0.mul"), readBytes(dir.file("map0.mul")));
  r.map->open(dir.file("registry-map0.mul"), side, side);
  r.statics->open(dir.file("staidx0.mul"), dir.file("statics0.mul"), side, side,
                  StorageMode::Memory);
  r.config->setInt("MapWidth", side);
  r.config->setInt("MapHeight", side);
}

SampleEditorWorld::SampleEditorWorld() {
  sample::writeSampleSet(dir.path());
  art.load(dir.file("artidx.mul"), dir.file("art.mul"), StorageMode::Memory);
  textures.load(dir.file("texidx.mul"), dir.file("texmaps.mul"), StorageMode::Memory);
  tiledata.load(dir.file("tiledata.mul"));
  hues.load(dir.file("hues.mul"));
  animdata.load(dir.file("animdata.mul"));
  const WorldSources world{&art, &tiledata, &animdata, &textures, nullptr};
  map.setSources(world);
  statics.setSources(world);
  worldFile.setSources(world);
  const int n = sample::kSampleWorldSize;
  map.open(dir.file("map0.mul"), n, n);
  statics.open(dir.file("staidx0.mul"), dir.file("statics0.mul"), n, n, StorageMode::Memory);
  worldFile.loadText(dir.file("world.txt"));
}

std::vector<PlacedStatic> denseStatics(int side, int perCell) {
  std::vector<PlacedStatic> out;
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x)
      for (int k = 0; k < perCell; ++k)
        out.push_back({static_cast<std::uint16_t>(k % 2 ? EditorWorld::kFloor : EditorWorld::kPost),
                       x, y, static_cast<std::int8_t>(k * 3), 0});
  return out;
}

}  // namespace quillotide::test
