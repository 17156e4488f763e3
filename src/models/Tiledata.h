#pragma once
// TTiledata: the land and static records of tiledata.mul, held as the file's byte image. Every
// accessor reads its record from the image, so group headers and bytes past the last whole group
// survive a load and save unchanged.
//
// Two layouts exist: the older one (32-bit flags, land records of 26 bytes, static records of 37)
// and the newer one of current clients (64-bit flags, 30 and 41 bytes). Both keep 0x4000 land
// records in groups of a 4-byte header and 32 records, followed by the static groups to the end
// of the file. A load tells them apart by what the records hold, then by whole groups; the user
// can name the layout instead.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/Bytes.h"

namespace quillotide {

// The flag bits of land and static records. The newer layout adds 32 bits above these.
namespace TileFlags {
constexpr std::uint64_t Background = 0x1;
constexpr std::uint64_t Weapon = 0x2;
constexpr std::uint64_t Transparent = 0x4;
constexpr std::uint64_t Translucent = 0x8;
constexpr std::uint64_t Wall = 0x10;
constexpr std::uint64_t Damaging = 0x20;
constexpr std::uint64_t Impassable = 0x40;
constexpr std::uint64_t Wet = 0x80;
constexpr std::uint64_t Unknown1 = 0x100;
constexpr std::uint64_t Surface = 0x200;
constexpr std::uint64_t Bridge = 0x400;
constexpr std::uint64_t Generic = 0x800;
constexpr std::uint64_t Window = 0x1000;
constexpr std::uint64_t NoShoot = 0x2000;
constexpr std::uint64_t PrefixA = 0x4000;
constexpr std::uint64_t PrefixAn = 0x8000;
constexpr std::uint64_t Internal = 0x10000;
constexpr std::uint64_t Foliage = 0x20000;
constexpr std::uint64_t PartialHue = 0x40000;
constexpr std::uint64_t Unknown2 = 0x80000;
constexpr std::uint64_t Map = 0x100000;
constexpr std::uint64_t Container = 0x200000;
constexpr std::uint64_t Wearable = 0x400000;
constexpr std::uint64_t LightSource = 0x800000;
constexpr std::uint64_t Animation = 0x1000000;
constexpr std::uint64_t NoDiagonal = 0x2000000;
constexpr std::uint64_t Unknown3 = 0x4000000;
constexpr std::uint64_t Armor = 0x8000000;
constexpr std::uint64_t Roof = 0x10000000;
constexpr std::uint64_t Door = 0x20000000;
constexpr std::uint64_t StairBack = 0x40000000;
constexpr std::uint64_t StairRight = 0x80000000;

// Column titles of the land and static text files for bits 0..31, and the captions of the
// static tab's check boxes, in bit order.
const std::array<std::string_view, 32>& landColumns();
const std::array<std::string_view, 32>& staticColumns();
const std::array<std::string_view, 32>& staticCaptions();
// The land tab's five check boxes: (mask, caption).
const std::array<std::pair<std::uint64_t, std::string_view>, 5>& landCaptions();
// Column title of an upper bit (32..63) of the newer layout: "Flag32" .. "Flag63".
std::string upperColumn(int bit);
// The mask named by a static column title, static caption, land check box caption or "FlagN"
// (N = 0..63), ignoring letter case; nullopt for any other text.
std::optional<std::uint64_t> flagByName(std::string_view name);
}  // namespace TileFlags

enum class TiledataLayout {
  Classic,  // 32-bit flags: land 26 bytes, static 37 bytes
  Wide,     // 64-bit flags: land 30 bytes, static 41 bytes
};

// How a load chose its layout.
enum class TiledataLayoutReason {
  Given,        // named by the caller (the user's setting, --layout)
  Records,      // the records' names start their fields in this layout, not in the other
  WholeGroups,  // no help from the records; the file is the land section and whole groups
  Remainder,    // neither helped; the layout whose partial last group is shorter
};

// "older" / "newer"; tiledataLayoutFromName also takes "old" / "new" and any letter case, and
// answers nullopt for anything else.
std::string tiledataLayoutName(TiledataLayout layout);
std::optional<TiledataLayout> tiledataLayoutFromName(std::string_view name);

// The byte sizes of one layout. A loaded file has one set, chosen at load and used by every
// offset, count and flag access.
struct TiledataSizes {
  std::size_t flagSize;      // bytes of the flag word: 4 or 8
  std::size_t landRecord;    // 26 or 30
  std::size_t staticRecord;  // 37 or 41
  std::size_t landSection;   // 512 groups of 4 + 32 land records: 428032 or 493568
  std::size_t staticGroup;   // 4 + 32 static records: 1188 or 1316
  static const TiledataSizes& of(TiledataLayout layout);
};

constexpr std::size_t kTileNameSize = 20;
using TileName = std::array<std::uint8_t, kTileNameSize>;

// The name up to its first zero byte (at most 20 characters), as UTF-8; the file holds
// Windows-1252.
std::string tileNameText(const TileName& name);
// The first up to 20 characters of the UTF-8 text, the rest zero. Throws Error naming a
// character that Windows-1252 cannot hold.
TileName makeTileName(std::string_view text);
// The same for the 8-bit bytes as the file holds them (the text files keep them so).
std::string tileNameBytes(const TileName& name);
TileName tileNameFromBytes(std::string_view bytes);

struct LandTileRecord {
  std::uint64_t flags = 0;
  std::uint16_t textureId = 0;
  TileName name{};
  bool operator==(const LandTileRecord&) const = default;
};

struct StaticTileRecord {
  std::uint64_t flags = 0;
  std::uint8_t weight = 0;
  std::uint8_t quality = 0;
  std::uint16_t unknown1 = 0;
  std::uint8_t unknown2 = 0;
  std::uint8_t quantity = 0;
  std::uint16_t animId = 0;
  std::uint8_t unknown3 = 0;
  std::uint8_t hue = 0;
  std::uint8_t unknown4 = 0;
  std::uint8_t unknown5 = 0;
  std::uint8_t height = 0;
  TileName name{};
  bool operator==(const StaticTileRecord&) const = default;
};

// What a static text import did: the file line numbers (header = line 1) it could not take, each
// with its reason; the UI shows "Bug in Zeile: " and the number for each.
struct StaticImportResult {
  std::size_t written = 0;
  std::vector<std::pair<int, std::string>> failedLines;
};

class TTiledata {
 public:
  static constexpr int kLandCount = 0x4000;
  static constexpr int kFilledStaticCount = 0x8000;

  // Reads the whole file and chooses its layout (see loadBytes). Throws FileError when the file
  // cannot be read and FormatError when it is too short for the land section; the model then
  // keeps what it had.
  void load(const std::string& path, std::optional<TiledataLayout> layout = std::nullopt);
  // The same from bytes. A given layout is taken as it is. Otherwise, of the layouts whose land
  // section the bytes hold: the one in whose records names start their fields (printable text up
  // to a zero byte, right after the number before the field) many times more often than in the
  // other's; failing that, the one that takes the file as whole groups (the older when both do);
  // failing that, the one with the shorter partial last group. Bytes past the last whole group
  // are kept as they are.
  void loadBytes(std::span<const std::uint8_t> bytes,
                 std::optional<TiledataLayout> layout = std::nullopt);
  // Reads the image again in the given layout, or chooses again as a load does (nullopt);
  // unsaved changes stay in the image. Throws FormatError, changing nothing, when the image is
  // too short for that layout.
  void setLayout(std::optional<TiledataLayout> layout);
  // Replaces the file whole with the image; throws Error when nothing was loaded.
  void save(const std::string& path) const;
  const Bytes& image() const { return m_image; }
  bool isLoaded() const { return m_loaded; }
  TiledataLayout layout() const { return m_layout; }
  TiledataLayoutReason layoutReason() const { return m_reason; }
  // The layout and why it was chosen, for the pages and the CLI: "older (32-bit flags), told by
  // the records' names".
  std::string layoutDescription() const;
  const TiledataSizes& sizes() const { return *m_sizes; }
  // Bits in a flag word of this layout: 32 or 64.
  int flagBits() const { return static_cast<int>(m_sizes->flagSize * 8); }

  // Full static records (whole groups only); 0 when not loaded.
  std::uint32_t staticCount() const;
  bool hasLand(std::int64_t id) const { return m_loaded && id >= 0 && id < kLandCount; }
  bool hasStatic(std::int64_t id) const { return m_loaded && id >= 0 && id < staticCount(); }

  // Records and single fields. An id outside its section answers nullopt, 0 or "". Names are
  // UTF-8.
  std::optional<LandTileRecord> readLand(std::int64_t id) const;
  std::optional<StaticTileRecord> readStatic(std::int64_t id) const;
  std::string landName(std::int64_t id) const;
  std::uint16_t landTextureId(std::int64_t id) const;
  std::uint64_t landFlags(std::int64_t id) const;
  bool landHasFlags(std::int64_t id, std::uint64_t mask) const;
  std::string staticName(std::int64_t id) const;
  std::uint64_t staticFlags(std::int64_t id) const;
  bool staticHasFlags(std::int64_t id, std::uint64_t mask) const;
  std::uint16_t staticAnimId(std::int64_t id) const;
  std::uint16_t staticUnknown1(std::int64_t id) const;
  std::uint8_t staticHeight(std::int64_t id) const;
  std::uint8_t staticHue(std::int64_t id) const;
  std::uint8_t staticQuality(std::int64_t id) const;
  std::uint8_t staticQuantity(std::int64_t id) const;
  std::uint8_t staticWeight(std::int64_t id) const;
  std::uint8_t staticUnknown2(std::int64_t id) const;
  std::uint8_t staticUnknown3(std::int64_t id) const;
  std::uint8_t staticUnknown4(std::int64_t id) const;
  std::uint8_t staticUnknown5(std::int64_t id) const;

  // Replace a record in the image. Throw Error when the id lies outside its section, or when flag
  // bits above 31 are set in the older layout. Deleting a static writes an all-zero record.
  void writeLand(std::int64_t id, const LandTileRecord& record);
  void writeStatic(std::int64_t id, const StaticTileRecord& record);

  // The text files: TAB-separated, a header line, then one line per record, CR LF. The newer
  // layout adds 32 columns "Flag32".."Flag63" after the 32 described flag columns.
  std::vector<std::string> landText() const;
  std::vector<std::string> staticText() const;
  // The header line and the line of one record ("" for an id outside its section).
  std::string landTextHeader() const;
  std::string staticTextHeader() const;
  std::string landTextLine(std::int64_t id) const;
  std::string staticTextLine(std::int64_t id) const;
  // The whole text file, CR LF after every line.
  std::string landTextFile() const;
  std::string staticTextFile() const;
  void exportLandText(const std::string& path) const;
  void exportStaticText(const std::string& path) const;
  // Values are read with the integer rule and refused, never cut, when their field cannot hold
  // them; messages name the line and the field by its column title.
  // Land import stops at the first line that fails and throws Error; lines before it stay written.
  // Returns the number of records written.
  std::size_t importLandLines(const std::vector<std::string>& lines);
  std::size_t importLandText(const std::string& path);
  // Static import skips failing lines (reported in the result) and goes on.
  StaticImportResult importStaticLines(const std::vector<std::string>& lines);
  StaticImportResult importStaticText(const std::string& path);

  // Grows the static section by zero groups until it holds 0x8000 records, bytes past the last
  // whole group kept after them; nothing when not loaded or already that large.
  void fillStaticSlots();

 private:
   class LandImport;
   class StaticImport;
   void appendLandLine(std::string& out, std::int64_t id) const;
   void appendStaticLine(std::string& out, std::int64_t id) const;
   std::size_t landOffset(std::int64_t id) const;
   std::size_t staticOffset(std::int64_t id) const;
   // The bytes of a record after its flag word; nullptr for an id outside its section.
   const std::uint8_t* landFields(std::int64_t id) const;
   const std::uint8_t* staticFields(std::int64_t id) const;
   std::uint8_t staticU8(std::int64_t id, std::size_t field) const;
   std::uint16_t staticU16(std::int64_t id, std::size_t field) const;
   std::uint64_t readFlags(std::size_t offset) const;
   void writeFlags(std::size_t offset, std::uint64_t flags);
   void checkFlags(std::uint64_t flags) const;

   Bytes m_image;
   TiledataLayout m_layout = TiledataLayout::Classic;
   TiledataLayoutReason m_reason = TiledataLayoutReason::Given;
   const TiledataSizes* m_sizes = &TiledataSizes::of(TiledataLayout::Classic);
   bool m_loaded = false;
};

}  // namespace quillotide
