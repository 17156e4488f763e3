#pragma once
// The UOP container of current clients ("MYP\0"): a header, a chain of tables of entry records,
// and each entry's data (a small data header, then the stored bytes, raw or a zlib stream). An
// entry is found by the hash of its lower-case name; the names of the families Quillotide edits
// can be made with uopEntryName.
//
// Reading keeps everything a writer needs to give the same bytes back: the header, the table
// chain with its capacity and the bytes of unused records, the entry order, each data header with
// its time stamp, the stored bytes, and any bytes between the pieces. A container read from a file
// reads only its header and tables: every entry's bytes stay in the file, which is held open and
// read where they lie when a payload is asked for, and a save copies the entries that did not
// change from it (in the kernel where the file system can). Writing:
// - nothing changed: the same bytes as read;
// - only payloads of existing entries changed: the original layout is kept (every table, record
//   and entry in its place and order); a changed entry keeps its place and the pieces after it
//   move by the change in its size, with the offsets that point at them;
// - an entry added or removed: the file is written in the client's shape (each table followed by
//   its entries' data, `capacity` records a table), entries in their present order with new ones
//   after them in the order they were added.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/Bytes.h"
#include "app/Error.h"

namespace quillotide {

class AtomicFile;

// A file read in place that another program has since truncated, replaced or changed: what was
// read from it no longer holds. The message names the file and says to read it again.
class FileChangedError : public FormatError {
public:
  using FormatError::FormatError;
};

// The bytes of a container read: its file, held open and read where the bytes lie (the program
// keeps no copy of them), or bytes given in memory. Reads go through pread, so a file truncated
// under the program is a FileChangedError, never a fault of the process.
class UopSource {
public:
  // Opens the file for reading; throws FileError when it cannot be opened or is no regular file.
  static std::shared_ptr<const UopSource> openFile(const std::string& path);
  static std::shared_ptr<const UopSource> inMemory(Bytes bytes, std::string label);
  ~UopSource();
  UopSource(const UopSource&) = delete;
  UopSource& operator=(const UopSource&) = delete;

  // The size when it was opened.
  std::uint64_t size() const { return m_size; }
  const std::string& path() const { return m_path; }
  bool isFile() const { return m_fd >= 0; }
  // Exactly n bytes at offset. Throws FileChangedError when the file no longer holds them,
  // FileError when the system cannot read it.
  void read(std::uint64_t offset, std::uint8_t* dst, std::size_t n) const;
  Bytes read(std::uint64_t offset, std::size_t n) const;
  // Appends n bytes from offset to the file being written; throws as read.
  void copyTo(AtomicFile& file, std::uint64_t offset, std::uint64_t n) const;
  // What happened to the file since it was opened (gone, replaced by another file, or another
  // size or time stamp), or nullopt while it is as it was; always nullopt for bytes in memory.
  std::optional<std::string> changedOnDisk() const;
  // After this program replaced the file with a save: the file now at the path is the one
  // changedOnDisk compares with. The bytes are still read from the file as it was opened.
  void expectOnDisk() const;

private:
  UopSource() = default;
  [[noreturn]] void changed() const;
  std::string m_path;
  int m_fd = -1;
  Bytes m_bytes;
  std::uint64_t m_size = 0;
  // What the path should lead to: the file opened, or the one a save put there since.
  mutable std::uint64_t m_device = 0;
  mutable std::uint64_t m_inode = 0;
  mutable std::uint64_t m_onDisk = 0;
  mutable std::int64_t m_modified = 0;  // nanoseconds
};

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

// One entry as stored. Its data header and stored bytes are held here once the entry was set
// (and for a container built in memory), else they lie in the container's source, the data header
// at `at` and the stored bytes right after it; UopContainer::header and ::stored give them either
// way.
struct UopEntry {
  std::uint64_t hash = 0;
  std::uint16_t compression = 0;  // 0 stored, 1 zlib; others are kept but cannot be read
  std::uint32_t fullSize = 0;     // the payload's size once inflated
  std::uint32_t adler = 0;        // the record's Adler-32 field as stored
  Bytes header;                   // the data header bytes as stored (kept byte for byte)
  Bytes stored;                   // the stored (maybe compressed) bytes as stored
  bool inSource = false;
  std::uint64_t at = 0;
  std::uint32_t sourceHeader = 0;
  std::uint32_t sourceStored = 0;

  std::uint32_t storedSize() const {
    return inSource ? sourceStored : static_cast<std::uint32_t>(stored.size());
  }
  std::uint32_t headerSize() const {
    return inSource ? sourceHeader : static_cast<std::uint32_t>(header.size());
  }
  // Where the stored bytes begin in the source.
  std::uint64_t storedAt() const { return at + sourceHeader; }
};

class UopContainer {
public:
  // Reads and checks a container: header, every table, every record's offsets and sizes against
  // the file. Throws FileError when the file cannot be read and FormatError naming the file and
  // the entry (position, hash, known name) and the value at fault.
  // The file stays open (shared by copies of the container) and is read where the entries lie.
  static UopContainer read(const std::string& path);
  static UopContainer parse(std::span<const std::uint8_t> bytes, const std::string& label);
  static UopContainer readFrom(std::shared_ptr<const UopSource> source, const std::string& label);
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

  // The file read, or null for a container built in memory.
  const std::shared_ptr<const UopSource>& source() const { return m_source; }
  // The entry's data header and stored bytes, read from the source when they lie there.
  Bytes header(const UopEntry& entry) const;
  Bytes stored(const UopEntry& entry) const;

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
  // Puts the entry of `from` in as stored (data header, Adler-32, compression and stored bytes
  // untouched): in the place of the entry with its hash, or after the others. For entries kept as
  // they were read, readable or not.
  void putEntry(const UopContainer& from, const UopEntry& entry);
  // The same for an entry of this container, or one whose bytes it holds itself.
  void putEntry(const UopEntry& entry) { putEntry(*this, entry); }
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
  // A piece of the file as read, in file order, with the bytes that followed it up to the next
  // (in the source, at gapAt).
  struct Piece {
    enum class Kind { Header, Table, Entry } kind = Kind::Header;
    std::size_t index = 0;  // table or entry index
    std::uint64_t offset = 0;
    std::uint64_t gapAt = 0;
    std::uint64_t gapSize = 0;
  };
  void writeAsRead(UopSink& sink) const;
  void writeClientShape(UopSink& sink) const;
  void reindex();
  void write(UopSink& sink) const;
  friend std::optional<std::string> verifyUop(std::span<const std::uint8_t> bytes);

  std::string m_label;  // the file read, for messages
  std::shared_ptr<const UopSource> m_source;

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
