#include "cli/PictureSlotCommands.h"
#include "models/Textures.h"

namespace quillotide::cli {

namespace {

struct TextureTraits : PairSaveAndRebuild<TTextures> {
  static constexpr const char* kGroup = "texture";
  static constexpr const char* kSummary = "Ground textures of texidx.mul / texmaps.mul.";
  static constexpr const char* kNoun = "Texture";
  static constexpr const char* kFiles = "TEXIDX TEXMAPS";
  static constexpr bool kLowMemory = true;

  static constexpr const char* kFamily = "Textures";
  static Model& model(Registry& registry) { return *registry.textures; }
  static std::int64_t count(const Model& m) { return m.textureCount(); }
  static bool exists(const Model& m, std::int64_t i) { return m.textureExists(i); }
  static std::pair<int, int> size(const Model& m, std::int64_t i) {
    const int side = m.textureSide(i);
    return {side, side};
  }
  static Bitmap32 picture(const Model& m, std::int64_t i, std::string*) {
    return m.texturePicture(i);
  }
  static std::optional<std::string> write(Model& m, std::int64_t i, const std::string& path) {
    return m.importTexture(i, path);
  }
  static void remove(Model& m, std::int64_t i) { m.deleteTexture(i); }
};

}  // namespace

Group textureGroup() { return PictureSlotCommands<TextureTraits>::group(); }

}  // namespace quillotide::cli
