#pragma once
// The UOP containers of the current clients as another form of the index/data pairs: which entry
// holds which slot, and how an entry's payload becomes a slot's data and record and back.
//
// A container carries less than a pair: no record count, no `extra` except a gump's size, no
// empty records, no dead data. Read as a pair, its slots are laid out back to back in slot order
// with the family's `extra` and empty record (the form the sample set and a fresh import give);
// such a pair goes through a container and back byte for byte.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/Bytes.h"
#include "app/Uop.h"

namespace quillotide {

struct IndexRecord;

// True when the path names a container: its extension is ".uop" in any case.
bool isUopPath(const std::string& path);
// True when the file is a container by its name or by its first bytes ("MYP\0"), so that one
// renamed to ".mul" is not taken for the file it stands for. False when it cannot be read.
bool isUopFile(const std::string& path);
// How a model's load and save calls name a container instead of a pair: one .uop path given as
// the index with the data path empty or the same path.
bool isUopPair(const std::string& indexPath, const std::string& dataPath);

// The number of the map a file is named after ("map3LegacyMUL.uop", "map3.mul"); nullopt when
// the name says none.
std::optional<int> mapNumberOfName(const std::string& path);

// A slot's data and extra as one entry's payload gives them.
struct UopSlotData {
  Bytes data;
  std::int32_t extra = 0;
  // The entry stands for no slot at all (a gump of 0 x 0), whatever bytes follow its head.
  bool none = false;
};

// What one family needs to read and write a pair as a container. The standard forms handle the
// payload as it is; a model with more in its payloads (multis) supplies its own conversions.
struct UopForm {
  UopFamily family = UopFamily::Art;
  // Highest slot + 1 that can have an entry; entries are looked up by name up to here.
  std::int64_t slotLimit = 0;
  // A pair read from a container has at least this many records.
  std::int64_t minRecords = 0;
  // The record of a slot without an entry.
  std::int32_t emptyExtra = -1;
  // Whether new entries of a new container are stored as zlib streams (as the client's multis).
  bool compressNew = false;
  // Whether an entry that cannot be read (a compression this program does not know, a damaged
  // stream, a payload fromPayload refuses) leaves only its slot unreadable rather than failing
  // the whole load; see IndexedFile::loadUop.
  bool keepsUnreadable = false;
  // Whether a stored entry's slot is read where it lies in the container's file, when it is asked
  // for: the payload is `headBytes` of head (which fromPayload reads alone, for the slot's extra)
  // and then the slot's data as it is.
  bool readsInPlace = false;
  std::size_t headBytes = 0;
  // Payload -> data and extra of slot n. Throws FormatError (the caller names the entry).
  std::function<UopSlotData(std::int64_t n, std::span<const std::uint8_t> payload)> fromPayload;
  // Data and record of slot n -> payload. Throws Error when the slot cannot be held.
  std::function<Bytes(std::int64_t n, std::span<const std::uint8_t> data,
                      const IndexRecord& record)>
      toPayload;
};

// How messages name slot n of the family: "Gump 0x5", "Art 0x4005", "Sound 0x10", "Multi 0x2".
std::string uopSlotName(UopFamily family, std::int64_t n);

// The number of bytes of the map file a map container holds (its chunks' full sizes added up),
// read from the container's tables alone, without inflating a chunk: the map the name gives when
// the container has that map's first chunk, else the first map whose first chunk it has. Throws
// FileError when the file cannot be read, FormatError naming it when its tables are damaged or it
// holds no map.
std::uint64_t uopMapFileBytes(const std::string& path);

// The slot whose name has this hash in the family's container (slots below `slotLimit`), or
// nullopt. The names' hashes are worked out once per family, on the first call.
std::optional<std::int64_t> uopSlotOfHash(UopFamily family, std::int64_t slotLimit,
                                          std::uint64_t hash);

// The standard form of art, gumps and sounds; an entry that cannot be read leaves its slot
// unreadable (keepsUnreadable). Gumps: the payload is u32 width, u32 height, then
// the slot's bytes; a payload under 8 bytes, or one whose size claims more pixels than
// kMaxGumpPixels, is refused; 0 x 0 is read as an empty slot.
UopForm uopForm(UopFamily family);

// The most pixels a gump entry may claim: the largest picture any gump decoder here allocates.
constexpr std::int64_t kMaxGumpPixels = 0x1000000;

// Whether the `extra` of a full gump slot is a size its readers take back: a width and a height of
// 1 to 65535 each (so not -1, an empty record's extra, which would read as 65535 x 65535), and in
// a container (`inContainer`) at most kMaxGumpPixels. A 0 x 0 entry reads as no gump at all.
bool gumpSizeFits(std::int32_t extra, bool inContainer);
// "Gump 0x5 cannot be saved: ..." naming the slots whose size does not fit (up to 16 of them, then
// how many more), for the save that refuses them.
std::string gumpSizeMessage(const std::vector<std::int64_t>& slots, bool inContainer);
// Bytes of map file per map entry: 4096 blocks of 196 bytes.
constexpr std::size_t kUopMapChunk = 0xC4000;
// Chunks looked up per map, enough for a map file of 6.7 GB.
constexpr std::int64_t kUopMapChunkLimit = 0x2000;

}  // namespace quillotide
