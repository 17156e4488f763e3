#pragma once
// The index/data pair that most game files share: an index of 12-byte records (lookup, length,
// extra), one per slot, pointing into a data file that holds the slots back to back.
//
// Storage modes: memory (both files read whole; Save writes the copies), low-memory (both files
// open in place; every change written at once; Save writes nothing) and direct (as low-memory,
// without a Save). A pair that was never loaded answers every query with "empty" and counts 0.

#include <cstdint>
#include <map>
#include <set>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/Bytes.h"
#include "app/Error.h"
#include "app/Progress.h"
#include "app/Random.h"

namespace quillotide {

class UopContainer;
struct UopForm;

enum class StorageMode { Memory, LowMemory, Direct };

struct IndexRecord {
  std::int32_t lookup = -1;
  std::int32_t length = -1;
  std::int32_t extra = -1;

  // The common empty rule: no data when lookup is -1 or length is 0 or less.
  bool isEmpty() const { return lookup == -1 || length <= 0; }
  bool operator==(const IndexRecord&) const = default;
};

constexpr std::size_t kIndexRecordSize = 12;

// A record that points outside its data file, met while copying every slot (Rebuild). Carries the
// slot so that the caller can name it its own way and offer to leave it out.
class DamagedSlotError : public FormatError {
public:
  DamagedSlotError(std::int64_t slot, std::string detail, const std::string& message)
      : FormatError(message), m_slot(slot), m_detail(std::move(detail)) {}
  std::int64_t slot() const { return m_slot; }
  // What is wrong with it, without the slot's name ("the record (..) points outside ...").
  const std::string& detail() const { return m_detail; }
  // The same fault with the slot named as the model names it ("Static 0x5 is damaged: ...").
  DamagedSlotError named(const std::string& name) const {
    return {m_slot, m_detail, name + " is damaged: " + m_detail};
  }

private:
  std::int64_t m_slot;
  std::string m_detail;
};

// Byte storage of one file of a pair: a memory copy, or the file itself held open.
class Stream {
public:
  virtual ~Stream() = default;
  virtual std::uint64_t size() const = 0;
  // Exactly n bytes at offset; throws FormatError when the range is outside the stream.
  virtual void read(std::uint64_t offset, std::uint8_t* dst, std::size_t n) const = 0;
  virtual void write(std::uint64_t offset, std::span<const std::uint8_t> bytes) = 0;
  // Contiguous view of the whole stream for memory copies; empty span for open files.
  virtual std::span<const std::uint8_t> view() const { return {}; }
  Bytes read(std::uint64_t offset, std::size_t n) const {
    Bytes b(n);
    read(offset, b.data(), n);
    return b;
  }
};

std::unique_ptr<Stream> makeMemoryStream(Bytes bytes);
// Opens the file in place for reading and writing with exclusive access.
std::unique_ptr<Stream> openFileStream(const std::string& path);

class IndexedFile {
public:
  // Opens or reads both files in the given mode. All or nothing: when either file fails, the pair
  // keeps exactly what it had before and the FileError propagates.
  void load(const std::string& indexPath, const std::string& dataPath, StorageMode mode);
  // Reads a UOP container as the pair it stands for, in memory mode: each entry the form names
  // becomes its slot's data, back to back in slot order. The container is kept, so that a save
  // into a container copies every entry whose slot was not changed byte for byte. All or nothing
  // as load; FormatError naming the file and the entry when one cannot be read. With the form's
  // keepsUnreadable such an entry fails only its slot: the slot reads as empty and is unreadable
  // (see unreadable()), every other slot is loaded, one file note says which slots and why, and
  // every save into a container keeps the entry as it was stored while the slot is not written.
  void loadUop(const std::string& path, const UopForm& form);
  // Takes both streams directly (for models that build their data in memory).
  void adopt(std::unique_ptr<Stream> index, std::unique_ptr<Stream> data, StorageMode mode);

  bool isLoaded() const { return m_loaded; }
  StorageMode mode() const { return m_mode; }
  // False while the pair holds exactly what it loaded, or what it last saved into the files it
  // loaded; true after any write or delete since. (An edit taken back still counts.)
  bool changedSinceSaved() const { return m_changes != m_savedChanges; }
  // The files loaded; both are the container's path for a pair read from a container.
  const std::string& indexPath() const { return m_indexPath; }
  const std::string& dataPath() const { return m_dataPath; }
  // Whether the pair was read from a container, and which.
  bool isUop() const { return !m_uopPath.empty(); }
  const std::string& uopPath() const { return m_uopPath; }

  // For a pair read from a container, what happened to its file since it was read (truncated,
  // replaced or changed by another program: see UopSource::changedOnDisk); nullopt otherwise.
  std::optional<std::string> changedOnDisk() const;

  // Why slot n's entry could not be read, while the slot keeps the record it was loaded with;
  // nullopt for a readable slot, or one written or deleted since.
  std::optional<std::string> unreadable(std::int64_t n) const;
  // The slots unreadable() names, ascending.
  std::vector<std::int64_t> unreadableSlots() const;

  // Whole records in the index; a tail shorter than 12 bytes is not counted (and kept on save).
  std::int64_t recordCount() const;
  std::uint64_t indexSize() const { return m_loaded ? m_index->size() : 0; }
  std::uint64_t dataSize() const { return m_loaded ? m_data->size() : 0; }

  // The record at position n; nullopt when it lies beyond the index or nothing is loaded.
  std::optional<IndexRecord> record(std::int64_t n) const;
  // Not empty by the common rule.
  bool exists(std::int64_t n) const;
  // The data bytes of a record; throws FormatError when the record points outside the data file.
  Bytes readData(const IndexRecord& record) const;
  // The data of slot n, or nullopt when the slot is empty.
  std::optional<Bytes> readSlot(std::int64_t n) const;
  // n bytes of the data file from offset; throws FormatError when they lie outside it.
  void readDataAt(std::uint64_t offset, std::uint8_t* dst, std::size_t n) const;
  Bytes readDataAt(std::uint64_t offset, std::size_t n) const;
  // The data of a record where it lies, without a copy, for a pair held in memory; nullopt for a
  // pair of open files, or a record that points outside the data. The view lasts until the next
  // change or load.
  std::optional<std::span<const std::uint8_t>> dataView(const IndexRecord& record) const;
  // The records first .. first + count - 1 in one read; records beyond the index (all of them
  // when nothing is loaded) read as (-1, -1, -1).
  std::vector<IndexRecord> records(std::int64_t first, std::int64_t count) const;

  // Appends the bytes at the end of the data and points record n at them. With fillGap, a record
  // beyond the end of the index is reached by appending empty records (-1, -1, 0) first.
  void writeSlot(std::int64_t n, std::span<const std::uint8_t> bytes, std::int32_t extra,
                 bool fillGap = true);
  // Writes record n as given (gaps before it filled with (-1, -1, 0)).
  void writeRecord(std::int64_t n, const IndexRecord& record);
  // Writes the records from `first` on in one piece; an index that ends before them is first grown
  // with (-1, -1, 0) records (a partial record at its end is overwritten).
  void writeRecords(std::int64_t first, std::span<const IndexRecord> records);
  // Writes (-1, -1, -1) at record n; the data stays. A record beyond the index is left alone.
  void deleteSlot(std::int64_t n);
  // Appends bytes to the data stream; returns their offset.
  std::uint64_t appendData(std::span<const std::uint8_t> bytes);

  // Memory mode: writes both copies to the targets, each replaced whole (both written beside their
  // targets before either is renamed, see commitAll). A pair has no place for unreadable entries:
  // their slots are written empty and a file note names them. Low-memory mode: writes nothing and
  // returns false. Throws Error when nothing was loaded or both targets are one file, FileError
  // when a target cannot be written.
  bool save(const std::string& indexPath, const std::string& dataPath) const;
  // Writes the pair as a container, replaced whole. A pair read from a container starts from it:
  // the entries of unchanged slots stay as they were, a changed slot's entry gets its new payload
  // (stored as the old one was), a deleted slot's entry goes, new slots are added in slot order.
  // Saved onto another container that exists, the family's entries there are replaced and every
  // other entry it holds is kept.
  // Throws Error when nothing is loaded or a slot cannot be held (the form says why), FileError
  // when the target cannot be written; nothing is written then.
  void saveUop(const std::string& path, const UopForm& form) const;

  // Writes a compacted copy: every record in random order with 4..15 random bytes before each
  // slot's data. The loaded pair keeps using its own files. A record that points outside the data
  // file stops the rebuild with DamagedSlotError (the targets untouched) or, with skipDamaged, is
  // written as an empty record (-1, -1, -1); returns the slots so left out, in ascending order.
  // Throws Error when both targets are one file or (low-memory and direct mode) a target is one of
  // the files this pair holds open.
  std::vector<std::int64_t> rebuild(const std::string& indexPath, const std::string& dataPath,
                                    Progress& progress, Random& random,
                                    bool skipDamaged = false) const;

private:
  void requireLoaded() const;
  // Shared so that loading the files this pair already holds open reuses them.
  std::shared_ptr<Stream> m_index;
  std::shared_ptr<Stream> m_data;
  StorageMode m_mode = StorageMode::Memory;
  bool m_loaded = false;
  std::string m_indexPath;
  std::string m_dataPath;
  std::uint64_t m_changes = 0;
  mutable std::uint64_t m_savedChanges = 0;
  // The container a pair was read from and the index as it was then (or as last saved into it):
  // a record still equal to its old one means the slot's entry is unchanged.
  mutable std::shared_ptr<const UopContainer> m_uop;
  mutable Bytes m_uopIndex;
  std::string m_uopPath;
  // The slots whose entries could not be read: how messages name the slot, why (naming the
  // entry) and the entry's hash, to put it back as stored.
  struct Unreadable {
    std::string slot;
    std::string why;
    std::uint64_t hash = 0;
  };
  std::map<std::int64_t, Unreadable> m_unreadable;
  // Unreadable slots the user deleted: their records look as they did (empty), yet their entries
  // go on the next save.
  mutable std::set<std::int64_t> m_deletedUnreadable;
};

// The message raised when saving or changing a pair that was never loaded.
std::string notLoadedMessage(const std::string& what);

}  // namespace quillotide
