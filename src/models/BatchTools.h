#pragma once
// The slot file batch tools: work on whole index/data pairs rather than single slots. Autopatch
// imports and empties many slots from a list file, Extract writes every full slot as a bitmap with
// a list in Autopatch form, Create empty writes fresh file sets, and the small tools cut a file,
// write the bound tables, list missing animations and mark or fix bitmaps. The UI and the CLI call
// the same functions; none shows anything, every failure is an Error with the user's text.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/Bytes.h"
#include "app/Colour.h"
#include "app/Progress.h"

namespace quillotide {

class TAnimation;
class TArt;
class TGump;
class TTextures;
class TTiledata;

// The picture kinds of Extract (and of Autopatch, which adds the animations).
enum class PictureKind { ArtLand, ArtStatic, Gumps, Textures };
enum class AutopatchKind { Animations, ArtLand, ArtStatic, Gumps, Textures };

// The models a tool works on; a null model counts as not loaded.
struct BatchModels {
  TAnimation* animation = nullptr;
  TArt* art = nullptr;
  TGump* gumps = nullptr;
  TTextures* textures = nullptr;
};

// The slot number in "%x" digits after "0x000", "0x00", "0x0" or "0x", so that it has at least
// four digits: 0x5 -> "0x0005", 0xEEFF -> "0xEEFF".
std::string slotName(std::int64_t slot);

// Ids a list line or a typed id may name, per kind: land 0x0 ... 0x3FFF, statics, gumps and
// textures 0x0 ... 0xFFFF (the game addresses them with 16 bits). Throws Error naming the id and
// the range otherwise, so that nothing is written or deleted for it.
void requireSlotInRange(PictureKind kind, std::int64_t id);

// ---- Autopatch

// One list line that could not be applied: its number (from 1) and why.
struct AutopatchFailure {
  int line = 0;
  std::string message;
};

struct AutopatchResult {
  AutopatchKind kind = AutopatchKind::ArtLand;
  int patched = 0;
  std::vector<AutopatchFailure> failures;
  // "%d Arttiles patched." (both art kinds), "%d Gumps patched.", "%d Textures patched." or
  // "%d Animations patched." with the lines applied; then, when lines failed, "%d lines failed:"
  // and one "Line %d: ..." per failure.
  std::string message() const;
};

// Applies every line of the list file to the kind's model. Art, gumps, textures: "ID NAME" imports
// the picture file NAME into the slot, "ID remove" and "ID delete" empty it. Animations: "BODY PATH
// [KIND [PALETTE]]" imports a ".kx" file (kind missing or 1) or an animation folder (any other
// kind; palette missing or 1 uses its palette files). A relative NAME or PATH is taken from the
// folder of the list file, so an Extract folder can be fed back as it is. A line that cannot be
// applied (no id, an id out of range, a missing or unusable picture) is counted as failed and the
// run goes on; empty lines are skipped. `afterLine` runs after every line (the window lets its
// events run there). The models are not saved. Throws FileError when the list file cannot be read,
// Error when the kind's model is not loaded.
AutopatchResult autopatch(const BatchModels& models, AutopatchKind kind,
                          const std::string& listPath, Progress& progress,
                          const std::function<void()>& afterLine = {});

// ---- Extract

// "Artmap", "Artstatic", "Gumps" or "Textures": the folder Extract writes beside the program.
const char* extractFolderName(PictureKind kind);

struct ExtractResult {
  std::size_t pictures = 0;
  // Slots whose data is damaged, left out with the model's message.
  std::vector<std::string> damaged;
  std::string listPath;
};

// Writes every full slot of the kind as folder/<slot name>.bmp and the list "list.txt" of lines
// "<slot name> <slot name>.bmp" (Autopatch form). Land tiles 0 ... 0x3FFF; statics, gumps and
// textures every slot the file holds up to 0xFFFF (gumps at least to 0xEEFF). The folder is created
// when missing. The files are new files of one job, flushed once at its end. Throws Error when the
// kind's model is not loaded, FileError when a file cannot be written.
ExtractResult extractPictures(const BatchModels& models, PictureKind kind,
                              const std::string& folder, Progress& progress);

// ---- Create empty

enum class EmptyKind { Anim, Art, Gumps, Textures, Sound, Statics, Map, Tiledata, Verdata };

// The file names the kind writes ("anim.mul", "anim.idx"; "map0.mul"; ...).
std::vector<std::string> emptyFileNames(EmptyKind kind);
// Those of them that exist in the folder already (the UI asks before replacing them).
std::vector<std::string> existingEmptyFiles(EmptyKind kind, const std::string& folder);
// Writes the kind's empty files into the folder: index files of empty records (-1, -1, -1) in the
// kind's count with an empty data file, or the zero-filled map, tile data and patch file. Each file
// replaces an existing one whole (a pair together). Throws FileError when a file cannot be written.
void createEmptyFiles(EmptyKind kind, const std::string& folder);

// ---- Cut File

// Copies the first `size` bytes of the file into path + ".new" (replaced whole); the file itself
// stays. Throws Error, writing nothing, when size is negative or beyond the file's end; FileError
// when the file cannot be read. Returns the new file's path.
std::string cutFile(const std::string& path, std::int64_t size);

// ---- Bound files

// One record of four u16 per slot from 0: 0, 0, width, height, or four zeros for an empty slot.
// Art: every static id the index holds; gumps: every gump slot. Throws Error when not loaded.
Bytes artBoundFile(const TArt& art);
Bytes gumpBoundFile(const TGump& gumps);

// ---- Missing animations

// "0x%x 0x%x" (gump, body) for every full gump slot g from 50000 whose body g - 50000 the animation
// file lacks.
std::vector<std::string> missingAnimLines(const TGump& gumps, const TAnimation& animation);
// "0x%x" for every static tile whose tile data animation id is not 0 and names a body the animation
// file lacks.
std::vector<std::string> artIdsWithMissingAnims(const TTiledata& tiledata,
                                                const TAnimation& animation);

// ---- Bitmap tools

// The colour typed into "Color:" as a picture pixel: red in bits 0-7, green 8-15, blue 16-23;
// 0xFF0080 when the text is not an integer.
Pixel markColourOf(const std::string& text);
// Every pixel whose 15-bit game colour is white (0x7FFF) or black (0) painted in the mark colour,
// columns outer, rows inner.
Bitmap32 markInvisiblePixels(Bitmap32 picture, Pixel mark, Progress& progress);

// Writes the whole image-size field (offset 34) of a BMP with an info header of 40 bytes or more:
// row bytes x rows for uncompressed pictures, the bytes from the pixel offset to the end for
// compressed ones. The file is replaced whole. Throws FormatError, the file untouched, when it is
// not such a BMP (no "BM", a shorter header, sizes that do not fit); FileError when it cannot be
// read or written. Returns the value written.
std::uint32_t fixBitmapImageSize(const std::string& path);

}  // namespace quillotide
