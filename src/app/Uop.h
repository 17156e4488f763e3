#pragma once
// The UOP container of current clients ("MYP\0"): a header, a chain of tables of entry records,
// and each entry's data (a small data header, then the stored bytes, raw or a zlib stream). An
// entry is found by the hash of its lower-case name; the names of the families Quillotide edits
// can be made with uopEntryName.
//
// Reading keeps everything a writer needs to give the same bytes back: the header, the table
// chain with its capacity and the bytes of unused records, the entry order, each data header with
// its time stamp, the stored bytes, and any bytes between the pieces. Writing:
// - nothing changed: the same bytes as read;
// - only payloads of existing entries changed: the original layout is kept (every table, record
//   and entry in its place and order); a changed entry keeps its place and the pieces after it
//   move by the change in its size, with the offsets that point at them;
// - an entry added or removed: the file is written in the client's shape (each table followed by
//   its entries' data, `capacity` records a table), entries in their present order with new ones
//   after them in the order they were added.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/Bytes.h"

namespace quillotide {

// Bob Jenkins' lookup3 hashlittle2 over the name's bytes, both seeds 0: (pb << 32) | pc.
std::uint64_t uopHash(std::string_view name);

// The families whose containers Quillotide reads, for making entry names.
enum class UopFamily { Art, Gump, Map, Sound, Multi, AnimationFrame };

// The entry name of one slot: "build/artlegacymul/00000000.tga", "build/map2legacymul/00000005.dat"
// (`sub` is the map number), "build/multicollection/000012.bin",
// "build/animationlegacyframe/000400/03.bin" (`number` is the body, `sub` the action).
std::string uopEntryName(UopFamily family, std::uint32_t number, std::uint32_t sub = 0);
// The multi container's housing table, kept byte for byte and never read as a multi.
inline constexpr const char* kUopHousingName = "build/multicollection/housing.bin";

// The name of a hash when it is one of the known families' names (slot numbers up to the largest
// any client uses), else nullopt. The table is built once, on the first call.
std::optional<std::string> uopKnownName(std::uint64_t hash);

// Adler-32 of the bytes (1 for none).
std::uint32_t uopAdler32(std::span<const std::uint8_t> bytes);

// One entry's record as a table holds it, without the entry's bytes.
struct UopRecord {
  std::uint64_t hash = 0;
  std::uint32_t storedSize = 0;
  std::uint32_t fullSize = 0;
  std::uint16_t compression = 0;
};
// The records of every entry, in table and record order, read from the header and the tables
// alone: what a container holds can be sized without reading or inflating its data. Throws
// FileError when the file cannot be read and FormatError naming the file for a header or table
// that read() would refuse (a record pointing past the end included).
std::vector<UopRecord> readUopRecords(const std::string& path);

class UopSink;
std::optional<std::string> verifyUop(std::span<const std::uint8_t> bytes);

// One entry as stored, plus its bytes.
struct UopEntry {
  std::uint64_t hash = 0;
  std::uint16_t compression = 0;  // 0 stored, 1 zlib; others are kept but cannot be read
  std::uint32_t fullSize = 0;     // the payload's size once inflated
  std::uint32_t adler = 0;        // the record's Adler-32 field as stored
  Bytes header;                   // the data header bytes as stored (kept byte for byte)
  Bytes stored;                   // the stored (maybe compressed) bytes as stored
  std::uint32_t storedSize() const { return static_cast<std::uint32_t>(stored.size()); }
};

class UopContainer {
public:
  // Reads and checks a container: header, every table, every record's offsets and sizes against
  // the file. Throws FileError when the file cannot be read and FormatError naming the file and
  // the entry (position, hash, known name) and the value at fault.
  static UopContainer read(const std::string& path);
  static UopContainer parse(std::span<const std::uint8_t> bytes, const std::string& label);
  // An empty container of the client's shape.
  static UopContainer create(std::uint32_t version = 4, std::uint32_t capacity = 100);

  std::uint32_t version() const { return m_version; }
  std::uint32_t capacity() const { return m_capacity; }
  std::size_t tableCount() const;

  // The entries in table and record order.
  const std::vector<UopEntry>& entries() const { return m_entries; }
  // The entry with that name hash, or null.
  const UopEntry* find(std::uint64_t hash) const;
  const UopEntry* find(std::string_view name) const { return find(uopHash(name)); }
  // "entry 5 (hash 665FF35AC79D382B, build/multicollection/000005.bin)": how messages name it.
  std::string describe(const UopEntry& entry) const;

  // The entry's payload, inflated to its full size. Throws FormatError naming the file and the
  // entry when the compression is neither 0 nor 1, the zlib stream is damaged or inflates to
  // another size, or a stored entry's size differs from its full size.
  Bytes payload(const UopEntry& entry) const;
  // As payload, without throwing: false with `why` saying what is wrong (naming neither the file
  // nor the entry, so a caller that lists several names each once).
  bool readPayload(const UopEntry& entry, Bytes& out, std::string& why) const;

  // Replaces the payload of the entry with that hash, or adds a new entry after the others. The
  // entry gets a new data header (time stamp now) and its Adler-32; it is stored compressed when
  // the entry it replaces was, else as `compressNew` says. In a container whose entries go without
  // a data header it gets none, and the Adler-32 field such entries hold there (0 or 1).
  void setPayload(std::uint64_t hash, std::span<const std::uint8_t> payload,
                  bool compressNew = false);
  // Puts the entry in as stored (data header, Adler-32, compression and stored bytes untouched):
  // in the place of the entry with its hash, or after the others. For entries kept as they were
  // read, readable or not.
  void putEntry(const UopEntry& entry);
  // Removes the entry with that hash, if there is one.
  void remove(std::uint64_t hash);

  // The container's bytes (see the top of this file for the layout).
  Bytes serialize() const;
  // Writes the container beside `path` and renames it into place; throws FileError.
  void save(const std::string& path) const;

private:
  // A table as read: its records' raw bytes (kept for the unused ones) and the entry each used
  // record holds.
  struct Table {
    std::uint64_t offset = 0;
    std::uint32_t used = 0;           // the table's count field as stored
    Bytes records;                    // capacity x 34 bytes as read
    std::vector<std::int64_t> entry;  // entry index per record, -1 for an unused one
  };
  // A piece of the file as read, in file order, with the bytes that followed it up to the next.
  struct Piece {
    enum class Kind { Header, Table, Entry } kind = Kind::Header;
    std::size_t index = 0;  // table or entry index
    std::uint64_t offset = 0;
    Bytes gapAfter;
  };
  void writeAsRead(UopSink& sink) const;
  void writeClientShape(UopSink& sink) const;
  void reindex();
  friend std::optional<std::string> verifyUop(std::span<const std::uint8_t> bytes);

  std::string m_label;  // the file read, for messages

  std::uint32_t m_version = 4;
  std::uint32_t m_capacity = 100;
  Bytes m_header;  // the 40 header bytes as read (fields patched on writing)
  std::vector<UopEntry> m_entries;
  std::unordered_map<std::uint64_t, std::size_t> m_index;
  std::vector<Table> m_tables;  // the tables as read; empty once the shape is the client's
  std::vector<Piece> m_pieces;  // header, tables and entry data in file order, as read
  bool m_clientShape = true;    // written in the client's shape rather than as read
};

// The first fault of a container (header, tables, offsets, sizes, hashes, Adler-32 of the data
// headers, zlib streams), or nullopt when there is none.
std::optional<std::string> verifyUop(std::span<const std::uint8_t> bytes);

}  // namespace quillotide
