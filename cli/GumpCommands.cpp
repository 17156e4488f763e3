#include "cli/PictureSlotCommands.h"
#include "models/Gump.h"

namespace quillotide::cli {

namespace {

struct GumpTraits : PairSaveAndRebuild<TGump> {
  static constexpr const char* kGroup = "gump";
  static constexpr const char* kSummary =
      "Interface pictures of gumpidx.mul / gumpart.mul; gumpartLegacyMUL.uop may stand for the "
      "pair (GUMPIDX GUMPART) wherever one is read or written.";
  static constexpr const char* kNoun = "Gump";
  static constexpr const char* kFiles = "GUMPIDX GUMPART";
  static constexpr bool kLowMemory = false;
  static constexpr bool kUop = true;

  static constexpr const char* kFamily = "Gumps";
  static Model& model(Registry& registry) { return *registry.gumps; }
  static std::int64_t count(const Model& m) { return m.gumpCount(); }
  static bool exists(const Model& m, std::int64_t i) { return m.gumpExists(i); }
  static std::pair<int, int> size(const Model& m, std::int64_t i) {
    return {m.gumpWidth(i), m.gumpHeight(i)};
  }
  static Bitmap32 picture(const Model& m, std::int64_t i, std::string* problem) {
    return m.gumpPicture(i, problem);
  }
  static std::optional<std::string> write(Model& m, std::int64_t i, const std::string& path) {
    m.importGump(i, path);
    return std::nullopt;
  }
  static void remove(Model& m, std::int64_t i) { m.deleteGump(i); }
};

}  // namespace

Group gumpGroup() { return PictureSlotCommands<GumpTraits>::group(); }

}  // namespace quillotide::cli
