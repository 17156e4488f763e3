#pragma once
// TAnimation and its variants TAnim2 ... TAnim5: the creature, people and equipment animations of
// anim*.idx / anim*.mul. The files are opened in place (direct mode): every change goes into them
// at once and there is no save step. A body owns a run of consecutive index slots, five directions
// per action; each slot points to a frame block (models/AnimFrame.h).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/IndexedFile.h"
#include "app/Progress.h"
#include "app/Random.h"
#include "models/AnimExchange.h"
#include "models/AnimFrame.h"

namespace quillotide {

// The five animation files.
enum class AnimKind { Anim = 1, Anim2, Anim3, Anim4, Anim5 };

// "anim", "anim2", ... "anim5".
std::string animKindName(AnimKind kind);
// The kind of file variant 1..5; nullopt for any other number.
std::optional<AnimKind> animKindOf(int variant);

// The slot table of one animation file. Bodies below type1From are type 0 (110 slots from b x 110),
// below type2From type 1 (65 slots from b x 65 + type1Base), the rest type 2 (175 slots from
// b x 175 - type2Base). A file without type 2 has type2From = INT_MAX.
struct AnimSlotTable {
  int type1From;
  int type2From;
  std::int64_t type1Base;
  std::int64_t type2Base;

  int bodyType(int body) const;
  int slotsPerBody(int body) const;
  std::int64_t firstSlot(int body) const;
  // 400 + trunc((index size - 420000) / 2100) for anim.mul and its like: the first body of the last
  // type plus the whole bodies of that type the index holds. An index that ends before the last
  // type counts the bodies whose slots it holds whole, never fewer than 0.
  int bodyCount(std::uint64_t indexSize) const;
};

const AnimSlotTable& animSlotTable(AnimKind kind);

// Every slot of a body holds one direction of one action.
constexpr int kAnimDirections = 5;

// The colour problems of a folder import and the closing message the user sees.
struct AnimImportReport {
  std::int64_t colourProblems = 0;
  // "There were N problems regarding the number of colors you used." (also for 0)
  std::string message() const;
};

class TAnimation {
public:
  TAnimation();
  virtual ~TAnimation() = default;
  TAnimation(const TAnimation&) = delete;
  TAnimation& operator=(const TAnimation&) = delete;

  // Opens both files in place for reading and writing, with exclusive access. Loading again closes
  // the files of the previous load (the same files are taken over as they are). Throws FileError
  // when either cannot be opened; the model then keeps what it had.
  void load(const std::string& indexPath, const std::string& dataPath);
  bool isLoaded() const { return m_files.isLoaded(); }

  AnimKind kind() const { return m_kind; }
  const AnimSlotTable& table() const { return animSlotTable(m_kind); }
  int bodyType(int body) const { return table().bodyType(body); }
  int slotsPerBody(int body) const { return table().slotsPerBody(body); }
  std::int64_t firstSlot(int body) const { return table().firstSlot(body); }
  int actionCount(int body) const { return slotsPerBody(body) / kAnimDirections; }
  // 0 when not loaded.
  int bodyCount() const;
  // False when not loaded or the body's first slot is empty.
  bool bodyExists(int body) const;
  bool slotExists(int body, int offset) const;
  std::optional<IndexRecord> slotRecord(int body, int offset) const;

  // The frame block of one slot of the body; nullopt when the slot is empty. Throws FormatError
  // when the record points outside the data file.
  std::optional<Bytes> slotBlock(int body, int offset) const;
  // Every frame of one slot on a picture filled with `background`; empty when the slot is empty.
  // Throws FormatError (naming the slot) for a damaged block or frame.
  std::vector<AnimFrame> slotFrames(int body, int offset, Pixel background = 0) const;
  // Frame 0 of the body's slot 0 on a transparent picture, for previews; an empty frame when the
  // body does not exist or its block has no frames. Throws FormatError for a damaged block.
  AnimFrame firstFrame(int body) const;
  Bitmap32 firstFramePicture(int body) const { return firstFrame(body).picture; }

  // Writes the ".kx" file of the body (replaced whole). Throws FormatError for a record that points
  // outside the data file; the target is then untouched.
  void exportToFile(int body, const std::string& path, Progress& progress) const;
  // Reads a ".kx" file into the body. The whole file is checked before anything is written; a
  // rejected file ("Not an Anim File.", "Wrong Anim Id ( Type ).", cut short) leaves the body as
  // it was.
  void importFromFile(int body, const std::string& path, Progress& progress);
  // Writes the animation folder of the body: palette files, frame bitmaps on white (a zero-size
  // frame as a bitmap of its zero-size picture), liste.txt. Returns the run pixels that fell
  // outside their frames, for the one message the user sees about them.
  AnimStrayReport exportToDirectory(int body, const std::string& folder, Progress& progress) const;
  // Reads an animation folder into the body: every slot is rewritten, slots without frames become
  // empty. All slots are encoded before the first byte goes to the files, so a failed import
  // (missing liste.txt, bad line, short palette file, unreadable bitmap) changes nothing.
  AnimImportReport importFromDirectory(int body, const std::string& folder, bool usePalette,
                                       Progress& progress);

  // Copies the index records of the source body to the target body (both then share the data).
  // Throws Error "Animtypes dont match." when the types differ. When the model is not loaded, the
  // index file at indexPath is opened for the copy and closed afterwards.
  void copyBody(int source, int target, const std::string& indexPath);
  // Writes (-1, -1, -1) to every slot of the body that the index holds.
  void deleteBody(int body);
  // Grows the index with (-1, -1, 0) records until it holds 0x1000 bodies.
  void fillBodies();
  // Writes a compacted copy of both files (random slot order, 4..15 random bytes before each
  // slot); the model keeps working on its own files, which cannot be the targets.
  void rebuild(const std::string& indexPath, const std::string& dataPath, Progress& progress,
               Random& random) const;

  const IndexedFile& files() const { return m_files; }

protected:
  explicit TAnimation(AnimKind kind);

private:
  void requireLoaded() const;
  void checkBody(int body) const;
  // "Animation slot 0x... (body b, slot offset k)", for the errors of that slot.
  std::string slotName(int body, int offset) const;
  // Writes the records of a whole body in one piece, growing the index when it ends before them.
  void writeBodyRecords(int body, const std::vector<IndexRecord>& records);
  // Appends the blocks in one piece and writes the body's records pointing at them; slots without
  // a block get `emptyRecords[k]`.
  void storeBody(int body, const std::vector<std::optional<Bytes>>& blocks,
                 const std::vector<IndexRecord>& emptyRecords,
                 const std::vector<std::int32_t>& extras);
  ZeroSizeRuns previewZeroSize() const;

  AnimKind m_kind;
  IndexedFile m_files;
};

class TAnim2 : public TAnimation {
public:
  TAnim2() : TAnimation(AnimKind::Anim2) {}
};
class TAnim3 : public TAnimation {
public:
  TAnim3() : TAnimation(AnimKind::Anim3) {}
};
class TAnim4 : public TAnimation {
public:
  TAnim4() : TAnimation(AnimKind::Anim4) {}
};
class TAnim5 : public TAnimation {
public:
  TAnim5() : TAnimation(AnimKind::Anim5) {}
};

// A model of the given variant, nothing loaded.
std::unique_ptr<TAnimation> makeAnimationModel(AnimKind kind);

}  // namespace quillotide
