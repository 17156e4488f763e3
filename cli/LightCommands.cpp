#include "cli/PictureSlotCommands.h"
#include "models/Light.h"

namespace quillotide::cli {

namespace {

struct LightTraits : PairSaveAndRebuild<TLight> {
  static constexpr const char* kGroup = "light";
  static constexpr const char* kSummary = "Light masks of lightidx.mul / light.mul.";
  static constexpr const char* kNoun = "Light";
  static constexpr const char* kFiles = "LIGHTIDX LIGHT";
  static constexpr bool kLowMemory = false;

  static constexpr const char* kFamily = "Light";
  static Model& model(Registry& registry) { return *registry.light; }
  static std::int64_t count(const Model& m) { return m.lightCount(); }
  // Light's own presence rule: a record of length 0 still holds a picture.
  static bool exists(const Model& m, std::int64_t i) { return m.lightExists(i); }
  static std::pair<int, int> size(const Model& m, std::int64_t i) {
    return {m.lightWidth(i), m.lightHeight(i)};
  }
  static Bitmap32 picture(const Model& m, std::int64_t i, std::string*) {
    return m.lightPicture(i);
  }
  static std::optional<std::string> write(Model& m, std::int64_t i, const std::string& path) {
    m.importLight(i, path);
    return std::nullopt;
  }
  static void remove(Model& m, std::int64_t i) { m.deleteLight(i); }
};

}  // namespace

Group lightGroup() { return PictureSlotCommands<LightTraits>::group(); }

}  // namespace quillotide::cli
