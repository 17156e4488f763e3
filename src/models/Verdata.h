#pragma once
// TVerdata: the patch file verdata.mul. One file holds replacement entries for slots of other files,
// each tagged with the id of the file it patches and the slot ("block") it replaces:
//   int32 N, N records of 20 bytes (file id, block, lookup, length, extra), then the data.
// The model holds the whole file in memory; new patches are appended to that image and Save writes
// a compacted file. Records of file ids the model does not know are carried through unchanged.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/Bytes.h"
#include "app/Colour.h"
#include "app/Progress.h"
#include "models/AnimFrame.h"

namespace quillotide {

namespace verdatalayout {
constexpr std::size_t kHeader = 4;
constexpr std::size_t kRecordSize = 20;
}  // namespace verdatalayout

// The file ids of the patched files this model decodes.
namespace verdatafile {
constexpr std::int32_t kArt = 4;
constexpr std::int32_t kAnimations = 6;
constexpr std::int32_t kTextures = 10;
constexpr std::int32_t kGumps = 12;
// Block of static id s in the art file.
constexpr std::int32_t kStaticBlockBase = 0x4000;
}  // namespace verdatafile

// The kinds of slot a patch replaces, each with its file id and its range of ids.
enum class VerdataKind { Land, Static, Gump, Texture, Anim };

// Where a patch of one slot lives in the list.
struct VerdataSlot {
  std::int32_t fileId = 0;
  std::int32_t block = 0;
};

// The file id and block of slot `id` of a kind (anim: the block of the body's first slot). Throws
// Error naming the id and the range ("Land tile 0x4021 is out of range (0x0 to 0x3FFF).") when the
// id lies outside the kind's range: land tiles and textures 0 to 0x3FFF, statics, gumps and bodies
// 0 to 0xFFFF.
VerdataSlot verdataSlotOf(VerdataKind kind, std::int64_t id);

// One patch record, in file order.
struct TVerIndex {
  std::int32_t fileId = 0;
  std::int32_t block = 0;
  std::int32_t lookup = -1;  // from the start of the file (of the image in memory); -1: no data
  std::int32_t length = -1;
  std::int32_t extra = 0;
  bool hasData() const { return lookup != -1 && length > 0; }
  bool operator==(const TVerIndex&) const = default;
};

// The colour problems of an animation folder patch: colours that found no place in a full palette
// are stored with entry 0; the first is described in one message.
struct VerdataAnimReport {
  std::int64_t colourProblems = 0;
  // "Farbe Zuviel: slot:frame:colour" for the first such pixel, with the total when there are
  // more; empty when every colour fitted.
  std::string message;
};

class TVerdata {
public:
  // Reads the whole file and its records. Throws FileError when it cannot be read, FormatError when
  // its record count does not fit the file; the model then keeps what it had.
  void load(const std::string& path);
  // The same for a file image already in memory; `what` names it in messages.
  void loadBytes(Bytes image, const std::string& what = "verdata.mul");
  // Writes a compacted file (each live record's data once, in record order; records without data
  // as (file id, block, -1, -1, -1)); replaced whole. Throws Error when nothing was loaded and
  // FormatError, naming the record by its number and its patch, when a record points outside the
  // image; removeRecord of that number lets the rest be saved.
  void save(const std::string& path) const;
  void save(const std::string& path, Progress& progress) const;
  // The compacted file Save writes; errors as Save.
  Bytes compacted(Progress& progress) const;
  bool isLoaded() const { return m_loaded; }

  const std::vector<TVerIndex>& records() const { return m_records; }
  // The first record with this file id and block.
  std::optional<TVerIndex> findPatch(std::int32_t fileId, std::int32_t block) const;
  // False when not loaded; else true when a record with this file id and block has data (lookup
  // not -1). For file id 6 the block is a body, and its first slot's record is searched.
  bool isPatched(std::int32_t fileId, std::int32_t block) const;
  // The data of the first record; nullopt when there is none or it has no data. Throws FormatError
  // when the record points outside the image.
  std::optional<Bytes> patchData(std::int32_t fileId, std::int32_t block) const;
  // Removes the first record with this file id and block; false when there is none.
  bool removePatch(std::int32_t fileId, std::int32_t block);
  // Removes record `index` of the list (counted from 0 in file order), whatever it holds, so a
  // damaged record can go; throws Error when there is no such record.
  void removeRecord(std::size_t index);
  // Whether a record's data lies outside the image (such a record keeps the file from saving).
  bool isDamaged(const TVerIndex& record) const;
  // Stores bytes as the patch of (file id, block): the first such record takes the new lookup,
  // length and extra, otherwise a record is appended.
  void storePatch(std::int32_t fileId, std::int32_t block, std::span<const std::uint8_t> bytes,
                  std::int32_t extra);

  // Patched pictures; an empty picture when there is no patch. A damaged patch throws one
  // FormatError naming it; an id outside its kind's range throws Error (as verdataSlotOf).
  // 44 x 44; pixels outside the diamond stay 0 (transparent black).
  Bitmap32 landPicture(int tile) const;
  // W x H on 0; 0x7FFF pixels are drawn like any colour.
  Bitmap32 staticPicture(int id) const;
  Bitmap32 texturePicture(int id) const;
  Bitmap32 gumpPicture(int id) const;
  // Frame 0 of the body's first slot on a transparent picture.
  AnimFrame animFrame(int body) const;
  Bitmap32 animPicture(int body) const { return animFrame(body).picture; }
  // Every frame of one slot of the body (slot offset within the body) on a transparent picture,
  // for playing an action; nullopt when that slot has no patch. A damaged patch throws one
  // FormatError naming it.
  std::optional<std::vector<AnimFrame>> animSlotFrames(int body, int offset) const;

  // Adding patches from pictures. Errors (an id outside its kind's range, a picture the format
  // cannot hold, the texture size message "Bitmap muss 64x64 oder 128x128 sein.") leave the list
  // unchanged.
  // Only colour 0 is transparent; white stays an ordinary colour. Fully transparent pixels
  // (alpha 0) become colour 0 in statics and gumps.
  void addStatic(int id, const Bitmap32& picture);
  void addLand(int tile, const Bitmap32& picture);
  void addTexture(int id, const Bitmap32& picture);
  void addGump(int id, const Bitmap32& picture);
  // The same from a BMP or PNG file; the reader's error leaves the list unchanged.
  void addStaticFile(int id, const std::string& path);
  void addLandFile(int tile, const std::string& path);
  void addTextureFile(int id, const std::string& path);
  void addGumpFile(int id, const std::string& path);

  // Patches the slots of an animation body (of anim.mul) from an animation folder: each slot
  // offset with frames in the folder gets a patch; the others keep theirs. The whole folder is read
  // and encoded before any patch is stored; errors leave the list unchanged.
  VerdataAnimReport addAnimFromDirectory(int body, const std::string& folder, bool usePalette,
                                         Progress& progress);
  // Patches the body's slots from a ".kx" file ("Not an Anim File.", "Wrong Anim Id ( Type )." or
  // a file cut short leave the list unchanged).
  void addAnimFromFile(int body, const std::string& path, Progress& progress);
  // The body's patches as a ".kx" file; slots without a patch are written as (-1, 0, 0).
  void exportAnimToFile(int body, const std::string& path, Progress& progress) const;
  // The body's patches as an animation folder, frames decoded on black; returns the run pixels
  // that fell outside their frames.
  AnimStrayReport exportAnimToDirectory(int body, const std::string& folder,
                                        Progress& progress) const;

private:
  void requireLoaded() const;
  const TVerIndex* first(std::int32_t fileId, std::int32_t block) const;
  std::span<const std::uint8_t> dataOf(const TVerIndex& record) const;

  Bytes m_image;
  std::vector<TVerIndex> m_records;
  bool m_loaded = false;
};

// The label of a file id as the patch list shows it ("Art", "Animations", "Textures", "Gumps"), or
// the number for others.
std::string verdataFileName(std::int32_t fileId);

}  // namespace quillotide
