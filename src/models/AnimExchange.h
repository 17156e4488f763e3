#pragma once
// The two exchange forms of one animation body, shared by the animation files and verdata:
// the animation folder ("liste.txt", "palette_<s>.txt", "<s>_<f>.bmp" per slot offset s and frame
// f) and the ".kx" file (file id 6, body type, one index record per slot offset, the frame blocks).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/Bytes.h"
#include "app/FileIO.h"
#include "app/IndexedFile.h"
#include "app/Progress.h"
#include "models/AnimFrame.h"

namespace quillotide {

namespace kxlayout {
constexpr std::uint16_t kFileId = 6;
constexpr std::size_t kTable = 4;
}  // namespace kxlayout

// The frame numbers one slot of a folder may use; liste.txt entries beyond are not frames of the
// body.
constexpr int kMaxFolderFrames = 1000;

// One slot of a body as it goes into a folder.
struct AnimFolderSlot {
  int offset = 0;  // slot offset within the body
  AnimPalette palette{};
  std::vector<AnimFrame> frames;
};

// Writes an animation folder slot by slot: for each slot its palette file and frame bitmaps, and at
// the end "liste.txt" (CR LF). A frame of zero width or height is written as a bitmap of its
// zero-size picture, so the frames after it keep their numbers on import. Each file is replaced
// whole; throws FileError when one cannot be written.
class AnimFolderWriter {
public:
  explicit AnimFolderWriter(std::string folder) : m_folder(std::move(folder)) {}
  void writeSlot(const AnimFolderSlot& slot);
  void finish();

private:
  std::string m_folder;
  std::vector<std::string> m_list;
  // The folder's files are new: flushed once, by finish(), not one by one.
  WriteBatch m_batch;
};

// All slots at once, with progress.
void writeAnimFolder(const std::string& folder, const std::vector<AnimFolderSlot>& slots,
                     Progress& progress);

// The folder encoded into one frame block per slot offset.
struct AnimFolderImport {
  std::vector<std::optional<Bytes>> blocks;  // nullopt: the folder has no frame for that slot
  std::int64_t colourProblems = 0;           // colours that found no place in a full palette
  int firstProblemSlot = -1;
  int firstProblemFrame = -1;
  Colour16 firstProblemColour = 0;
};

// Reads "liste.txt", the palette files (when usePalette is set; a missing one clears the flag for
// that and every later slot) and the bitmaps of slot offsets 0 .. slots-1, and encodes them. A
// slot's frames are its bitmaps numbered from 0 up to the first missing number; a slot without
// bitmap 0 has no block. A bitmap of zero width or height is a frame without runs. Nothing is
// written anywhere. Throws FileError for a missing liste.txt or unreadable bitmap, Error for a line
// that does not parse, a palette file of fewer than 256 lines, or a picture the frame format cannot
// hold.
AnimFolderImport readAnimFolder(const std::string& folder, int slots, bool usePalette,
                                AnimTransparency transparency, Progress& progress);

// One slot of a ".kx" file: its record and, when the record is not empty, its frame block.
struct KxSlot {
  IndexRecord record;
  Bytes data;
};

// The ".kx" file of a body: records with lookups counted from the start of the file, then the
// blocks of the non-empty slots in slot order. Empty records are written unchanged.
Bytes encodeKx(std::uint16_t bodyType, const std::vector<KxSlot>& slots);
// The head of that file alone (file id, body type, records), for slots whose records give their
// blocks' sizes; the blocks, in slot order, are to follow it. Throws Error when the file would
// grow past 2 GB.
Bytes encodeKxHead(std::uint16_t bodyType, std::span<const IndexRecord> records);

// Reads the first `slots` records and their blocks. Throws Error "Not an Anim File." when the first
// word is not 6, "Wrong Anim Id ( Type )." when the type differs from bodyType, and FormatError
// when the file is cut short or a record points outside it. An empty record keeps no data.
std::vector<KxSlot> decodeKx(std::span<const std::uint8_t> bytes, std::uint16_t bodyType,
                             int slots);

}  // namespace quillotide
