#include "app/Uop.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>

#include "app/FileIO.h"
#include "app/Text.h"

namespace quillotide {

namespace {

namespace UopLayout {
constexpr std::uint32_t kMagic = 0x0050594D;  // "MYP\0"
constexpr std::uint32_t kSignature = 0xFD23EC43;
constexpr std::size_t kHeaderSize = 40;
constexpr std::size_t kVersionAt = 4;
constexpr std::size_t kSignatureAt = 8;
constexpr std::size_t kFirstTableAt = 12;
constexpr std::size_t kCapacityAt = 20;
constexpr std::size_t kCountAt = 24;
// A table: u32 records used, u64 offset of the next table, then `capacity` records.
constexpr std::size_t kTableHeadSize = 12;
constexpr std::size_t kRecordSize = 34;
constexpr std::size_t kRecordOffsetAt = 0;
constexpr std::size_t kRecordHeaderLengthAt = 8;
constexpr std::size_t kRecordStoredAt = 12;
constexpr std::size_t kRecordFullAt = 16;
constexpr std::size_t kRecordHashAt = 20;
constexpr std::size_t kRecordAdlerAt = 28;
constexpr std::size_t kRecordCompressionAt = 32;
static_assert(kRecordCompressionAt + 2 == kRecordSize);
// The data header the client writes: u16 3, u16 8 (the size of what follows), u64 FILETIME.
constexpr std::size_t kDataHeaderSize = 12;
constexpr std::uint16_t kDataHeaderKind = 3;
constexpr std::uint16_t kDataHeaderLength = 8;
constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kZlib = 1;
// zlib cannot inflate one byte to more than 1032 (deflate's largest ratio): a larger full size is
// a lie, refused before it is allocated.
constexpr std::uint64_t kMaxInflateRatio = 1032;
// FILETIME counts 100 ns steps from 1601; the Unix epoch is this many steps later.
constexpr std::uint64_t kFileTimeUnixEpoch = 116444736000000000ULL;
}  // namespace UopLayout

using namespace UopLayout;

std::string hex16(std::uint64_t v) {
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(v));
  return buf;
}

std::string at(std::uint64_t offset) { return "offset " + std::to_string(offset); }

// ---- lookup3 -------------------------------------------------------------------------------

constexpr std::uint32_t rot(std::uint32_t x, int k) { return (x << k) | (x >> (32 - k)); }

// clang-format off
inline void mix(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c) {
  a -= c; a ^= rot(c, 4);  c += b;
  b -= a; b ^= rot(a, 6);  a += c;
  c -= b; c ^= rot(b, 8);  b += a;
  a -= c; a ^= rot(c, 16); c += b;
  b -= a; b ^= rot(a, 19); a += c;
  c -= b; c ^= rot(b, 4);  b += a;
}

inline void finalMix(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c) {
  c ^= b; c -= rot(b, 14);
  a ^= c; a -= rot(c, 11);
  b ^= a; b -= rot(a, 25);
  c ^= b; c -= rot(b, 16);
  a ^= c; a -= rot(c, 4);
  b ^= a; b -= rot(a, 14);
  c ^= b; c -= rot(b, 24);
}
// clang-format on

// ---- known names ---------------------------------------------------------------------------

struct KnownName {
  std::uint64_t hash;
  std::uint32_t number;
  std::uint16_t sub;
  std::uint8_t family;
};
constexpr std::uint8_t kHousing = 0xFF;

// Slot ranges of each family as far as any client goes: art records up to static 0xFFFF, gumps
// and sounds up to 0xFFFF, map chunks of the largest map, multis up to 0x3FFF, animation bodies up
// to 2047 with up to 100 actions.
struct FamilyRange {
  UopFamily family;
  std::uint32_t numbers;
  std::uint32_t subs;
};
constexpr std::array<FamilyRange, 6> kFamilyRanges{{
    {UopFamily::Multi, 0x4000, 1},
    {UopFamily::Map, 128, 10},
    {UopFamily::Sound, 0x10000, 1},
    {UopFamily::Gump, 0x10000, 1},
    {UopFamily::Art, 0x14000, 1},
    {UopFamily::AnimationFrame, 2048, 100},
}};

// Each family's table is built on the first lookup that the families built before it cannot
// answer, so a container of one family costs the names of that family and those before it.
class KnownNames {
public:
  std::optional<std::string> lookup(std::uint64_t hash) {
    std::lock_guard lock(m_mutex);
    for (std::size_t f = 0; f < kFamilyRanges.size(); ++f) {
      if (f == m_tables.size()) build(f);
      const auto& t = m_tables[f];
      auto it = std::lower_bound(t.begin(), t.end(), hash,
                                 [](const KnownName& k, std::uint64_t h) { return k.hash < h; });
      if (it != t.end() && it->hash == hash) {
        if (it->family == kHousing) return std::string(kUopHousingName);
        return uopEntryName(static_cast<UopFamily>(it->family), it->number, it->sub);
      }
    }
    return std::nullopt;
  }

private:
  void build(std::size_t f) {
    const FamilyRange& r = kFamilyRanges[f];
    std::vector<KnownName> t;
    t.reserve(std::size_t{r.numbers} * r.subs + 1);
    for (std::uint32_t sub = 0; sub < r.subs; ++sub)
      for (std::uint32_t n = 0; n < r.numbers; ++n)
        t.push_back({uopHash(uopEntryName(r.family, n, sub)), n, static_cast<std::uint16_t>(sub),
                     static_cast<std::uint8_t>(r.family)});
    if (r.family == UopFamily::Multi) t.push_back({uopHash(kUopHousingName), 0, 0, kHousing});
    std::sort(t.begin(), t.end(),
              [](const KnownName& a, const KnownName& b) { return a.hash < b.hash; });
    m_tables.push_back(std::move(t));
  }

  std::mutex m_mutex;
  std::vector<std::vector<KnownName>> m_tables;
};

// ---- data headers and zlib -----------------------------------------------------------------

std::uint64_t fileTimeNow() {
  using namespace std::chrono;
  const auto steps = duration_cast<duration<std::int64_t, std::ratio<1, 10000000>>>(
                         system_clock::now().time_since_epoch())
                         .count();
  return kFileTimeUnixEpoch + static_cast<std::uint64_t>(std::max<std::int64_t>(steps, 0));
}

Bytes newDataHeader() {
  Bytes h(kDataHeaderSize);
  storeU16(h.data(), kDataHeaderKind);
  storeU16(h.data() + 2, kDataHeaderLength);
  storeU64(h.data() + 4, fileTimeNow());
  return h;
}

Bytes deflateBytes(std::span<const std::uint8_t> payload) {
  uLongf size = compressBound(static_cast<uLong>(payload.size()));
  Bytes out(size);
  if (compress2(out.data(), &size, payload.data(), static_cast<uLong>(payload.size()),
                Z_DEFAULT_COMPRESSION) != Z_OK)
    throw Error("Cannot compress a UOP entry of " + std::to_string(payload.size()) + " bytes");
  out.resize(size);
  return out;
}

// Inflates exactly `fullSize` bytes from the whole stream, or says what is wrong with it. The
// caller has refused a full size no stream of that length can give.
Bytes inflateBytes(std::span<const std::uint8_t> stored, std::uint32_t fullSize,
                   std::string& fault) {
  // One byte more than the full size shows a stream that inflates to more.
  Bytes out(std::size_t{fullSize} + 1);
  z_stream z{};
  if (inflateInit(&z) != Z_OK) {
    fault = "zlib cannot start";
    return {};
  }
  z.next_in = const_cast<Bytef*>(stored.data());
  z.avail_in = static_cast<uInt>(stored.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = inflate(&z, Z_FINISH);
  const std::uint64_t produced = z.total_out;
  const std::uint64_t left = z.avail_in;
  const std::string message = z.msg ? z.msg : "";
  inflateEnd(&z);
  if (rc == Z_STREAM_END) {
    if (produced != fullSize)
      fault = "zlib stream inflates to " + std::to_string(produced) + " bytes, not its full size " +
              std::to_string(fullSize);
    else if (left != 0)
      fault = "zlib stream ends " + std::to_string(left) + " bytes before its stored size " +
              std::to_string(stored.size());
  } else if (rc == Z_DATA_ERROR || rc == Z_NEED_DICT) {
    fault = "zlib stream is damaged" + (message.empty() ? "" : " (" + message + ")");
  } else if (produced > fullSize) {
    fault = "zlib stream inflates to more than its full size " + std::to_string(fullSize);
  } else {
    fault = "zlib stream of " + std::to_string(stored.size()) + " bytes ends after " +
            std::to_string(produced) + " of its full size " + std::to_string(fullSize);
  }
  if (!fault.empty()) return {};
  out.resize(fullSize);
  return out;
}

[[noreturn]] void fault(const std::string& label, const std::string& text) {
  throw FormatError(label.empty() ? text : label + ": " + text);
}

}  // namespace

// ---- the source -----------------------------------------------------------------------------

std::shared_ptr<const UopSource> UopSource::openFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throwCannotOpen(path, errno);
  std::shared_ptr<UopSource> s(new UopSource);
  s->m_fd = fd;
  s->m_path = path;
  struct stat st {};
  if (::fstat(fd, &st) != 0) throwCannotOpen(path, errno);
  if (!S_ISREG(st.st_mode)) throwCannotOpen(path, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
  s->m_size = s->m_onDisk = static_cast<std::uint64_t>(st.st_size);
  s->m_device = static_cast<std::uint64_t>(st.st_dev);
  s->m_inode = static_cast<std::uint64_t>(st.st_ino);
  s->m_modified = std::int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
  // The entries are read in file order more often than not.
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return s;
}

std::shared_ptr<const UopSource> UopSource::inMemory(Bytes bytes, std::string label) {
  std::shared_ptr<UopSource> s(new UopSource);
  s->m_size = bytes.size();
  s->m_bytes = std::move(bytes);
  s->m_path = std::move(label);
  return s;
}

UopSource::~UopSource() {
  if (m_fd >= 0) ::close(m_fd);
}

void UopSource::changed() const {
  std::string what = changedOnDisk().value_or(
      formatMessage("%s no longer holds the bytes it held when it was read", {m_path}));
  throw FileChangedError(what + ". Read it again.");
}

void UopSource::read(std::uint64_t offset, std::uint8_t* dst, std::size_t n) const {
  if (offset > m_size || n > m_size - offset)
    throw FormatError(formatMessage("%s: a read of %d bytes at offset %d lies past its end (%d bytes)",
                                    {m_path, std::to_string(n), std::to_string(offset),
                                     std::to_string(m_size)}));
  if (n == 0) return;
  if (m_fd < 0) {
    std::memcpy(dst, m_bytes.data() + offset, n);
    return;
  }
  int err = 0;
  if (readAt(m_fd, dst, n, offset, err) == n) return;
  if (err != 0) throwCannotOpen(m_path, err);
  changed();
}

Bytes UopSource::read(std::uint64_t offset, std::size_t n) const {
  Bytes b(n);
  read(offset, b.data(), n);
  return b;
}

void UopSource::copyTo(AtomicFile& file, std::uint64_t offset, std::uint64_t n) const {
  if (offset > m_size || n > m_size - offset)
    throw FormatError(formatMessage("%s: a copy of %d bytes at offset %d lies past its end (%d bytes)",
                                    {m_path, std::to_string(n), std::to_string(offset),
                                     std::to_string(m_size)}));
  if (m_fd < 0) {
    file.write(std::span<const std::uint8_t>(m_bytes).subspan(static_cast<std::size_t>(offset),
                                                              static_cast<std::size_t>(n)));
    return;
  }
  if (file.copyFrom(m_fd, m_path, offset, n) != n) changed();
}

std::optional<std::string> UopSource::changedOnDisk() const {
  if (m_fd < 0) return std::nullopt;
  struct stat now {};
  if (::stat(m_path.c_str(), &now) != 0)
    return formatMessage("%s is gone from the disk since it was read", {m_path});
  if (static_cast<std::uint64_t>(now.st_dev) != m_device ||
      static_cast<std::uint64_t>(now.st_ino) != m_inode)
    return formatMessage("%s was replaced by another file since it was read", {m_path});
  const std::int64_t modified = std::int64_t{now.st_mtim.tv_sec} * 1000000000 + now.st_mtim.tv_nsec;
  if (static_cast<std::uint64_t>(now.st_size) != m_onDisk)
    return formatMessage("%s changed on disk since it was read: it holds %d bytes, not %d",
                         {m_path, std::to_string(now.st_size), std::to_string(m_onDisk)});
  if (modified != m_modified)
    return formatMessage("%s changed on disk since it was read", {m_path});
  return std::nullopt;
}

void UopSource::expectOnDisk() const {
  struct stat now {};
  if (m_fd < 0 || ::stat(m_path.c_str(), &now) != 0) return;
  m_device = static_cast<std::uint64_t>(now.st_dev);
  m_inode = static_cast<std::uint64_t>(now.st_ino);
  m_onDisk = static_cast<std::uint64_t>(now.st_size);
  m_modified = std::int64_t{now.st_mtim.tv_sec} * 1000000000 + now.st_mtim.tv_nsec;
}

// Bytes go to memory (serialize) or to a file being written beside its target (save). Bytes that
// lie in the source one after another are copied from it in one piece.
class UopSink {
public:
  UopSink(Bytes* bytes, AtomicFile* file, const UopSource* source)
      : m_bytes(bytes), m_file(file), m_source(source) {}
  void write(std::span<const std::uint8_t> s) {
    flushCopy();
    if (m_file)
      m_file->write(s);
    else
      m_bytes->insert(m_bytes->end(), s.begin(), s.end());
  }
  void copy(std::uint64_t offset, std::uint64_t n) {
    if (n == 0) return;
    if (m_copyN != 0 && m_copyAt + m_copyN == offset) {
      m_copyN += n;
      return;
    }
    flushCopy();
    m_copyAt = offset;
    m_copyN = n;
  }
  void finish() { flushCopy(); }

private:
  void flushCopy() {
    if (m_copyN == 0) return;
    const std::uint64_t at = m_copyAt, n = m_copyN;
    m_copyN = 0;
    if (m_file) {
      m_source->copyTo(*m_file, at, n);
    } else {
      const std::size_t old = m_bytes->size();
      m_bytes->resize(old + static_cast<std::size_t>(n));
      m_source->read(at, m_bytes->data() + old, static_cast<std::size_t>(n));
    }
  }
  Bytes* m_bytes;
  AtomicFile* m_file;
  const UopSource* m_source;
  std::uint64_t m_copyAt = 0;
  std::uint64_t m_copyN = 0;
};

namespace {

void writeRecord(UopSink& sink, const UopEntry& e, std::uint64_t offset) {
  std::array<std::uint8_t, kRecordSize> r{};
  storeU64(r.data() + kRecordOffsetAt, offset);
  storeU32(r.data() + kRecordHeaderLengthAt, e.headerSize());
  storeU32(r.data() + kRecordStoredAt, e.storedSize());
  storeU32(r.data() + kRecordFullAt, e.fullSize);
  storeU64(r.data() + kRecordHashAt, e.hash);
  storeU32(r.data() + kRecordAdlerAt, e.adler);
  storeU16(r.data() + kRecordCompressionAt, e.compression);
  sink.write(r);
}

void writeTableHead(UopSink& sink, std::uint32_t used, std::uint64_t next) {
  std::array<std::uint8_t, kTableHeadSize> h{};
  storeU32(h.data(), used);
  storeU64(h.data() + 4, next);
  sink.write(h);
}

void writeData(UopSink& sink, const UopEntry& e) {
  if (e.inSource) {
    sink.copy(e.at, std::uint64_t{e.sourceHeader} + e.sourceStored);
    return;
  }
  sink.write(e.header);
  sink.write(e.stored);
}

std::uint64_t dataSize(const UopEntry& e) { return std::uint64_t{e.headerSize()} + e.storedSize(); }

}  // namespace

// ---- names and checksums -------------------------------------------------------------------

std::uint64_t uopHash(std::string_view name) {
  const auto* k = reinterpret_cast<const std::uint8_t*>(name.data());
  std::size_t length = name.size();
  std::uint32_t a, b, c;
  a = b = c = 0xDEADBEEFu + static_cast<std::uint32_t>(length);
  while (length > 12) {
    a += loadU32(k);
    b += loadU32(k + 4);
    c += loadU32(k + 8);
    mix(a, b, c);
    length -= 12;
    k += 12;
  }
  if (length == 0) return (std::uint64_t{b} << 32) | c;
  // The last 1..12 bytes, zero-padded, as the little-endian words lookup3 reads.
  std::array<std::uint8_t, 12> tail{};
  std::copy(k, k + length, tail.begin());
  a += loadU32(tail.data());
  b += loadU32(tail.data() + 4);
  c += loadU32(tail.data() + 8);
  finalMix(a, b, c);
  return (std::uint64_t{b} << 32) | c;
}

namespace {
void appendNumber(std::string& s, std::uint32_t n, std::size_t width) {
  char digits[10];
  std::size_t len = 0;
  do {
    digits[len++] = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n != 0);
  if (len < width) s.append(width - len, '0');
  while (len != 0) s += digits[--len];
}
}  // namespace

std::string uopEntryName(UopFamily family, std::uint32_t number, std::uint32_t sub) {
  // Text before the number, its digits, and the ending. A map's number goes into its folder's
  // name, an animation's action into a folder of the body.
  struct Form {
    const char* folder;
    std::size_t digits;
    const char* ending;
  };
  static constexpr Form kForms[] = {
      {"build/artlegacymul/", 8, ".tga"},
      {"build/gumpartlegacymul/", 8, ".tga"},
      {"legacymul/", 8, ".dat"},
      {"build/soundlegacymul/", 8, ".dat"},
      {"build/multicollection/", 6, ".bin"},
      {"build/animationlegacyframe/", 6, ".bin"},
  };
  static_assert(std::size(kForms) == static_cast<std::size_t>(UopFamily::AnimationFrame) + 1);
  const Form& form = kForms[static_cast<std::size_t>(family)];
  std::string s;
  s.reserve(48);
  if (family == UopFamily::Map) {
    s = "build/map";
    appendNumber(s, sub, 1);
  }
  s += form.folder;
  appendNumber(s, number, form.digits);
  if (family == UopFamily::AnimationFrame) {
    s += '/';
    appendNumber(s, sub, 2);
  }
  return s += form.ending;
}

std::optional<std::string> uopKnownName(std::uint64_t hash) {
  static KnownNames names;
  return names.lookup(hash);
}

std::uint32_t uopAdler32(std::span<const std::uint8_t> bytes) {
  return static_cast<std::uint32_t>(
      adler32(adler32(0, nullptr, 0), bytes.data(), static_cast<uInt>(bytes.size())));
}

// ---- reading -------------------------------------------------------------------------------

UopContainer UopContainer::read(const std::string& path) {
  return readFrom(UopSource::openFile(path), path);
}

std::vector<UopRecord> readUopRecords(const std::string& path) {
  // A container read from a file reads its header and tables alone.
  const UopContainer c = UopContainer::read(path);
  std::vector<UopRecord> out;
  out.reserve(c.entries().size());
  for (const UopEntry& e : c.entries())
    out.push_back({e.hash, e.storedSize(), e.fullSize, e.compression});
  return out;
}

UopContainer UopContainer::parse(std::span<const std::uint8_t> bytes, const std::string& label) {
  return readFrom(UopSource::inMemory(Bytes(bytes.begin(), bytes.end()), label), label);
}

UopContainer UopContainer::readFrom(std::shared_ptr<const UopSource> source,
                                    const std::string& label) {
  const UopSource& src = *source;
  const std::uint64_t size = src.size();
  if (size < kHeaderSize)
    fault(label, "too short for a UOP container (" + std::to_string(size) + " bytes)");
  Bytes header = src.read(0, kHeaderSize);
  if (loadU32(header.data()) != kMagic) fault(label, "not a UOP container (no MYP header)");

  UopContainer c;
  c.m_label = label;
  c.m_clientShape = false;
  c.m_header = std::move(header);
  c.m_version = loadU32(c.m_header.data() + kVersionAt);
  c.m_capacity = loadU32(c.m_header.data() + kCapacityAt);
  const std::uint64_t firstTable = loadU64(c.m_header.data() + kFirstTableAt);
  if (c.m_capacity == 0) fault(label, "table capacity is 0");
  const std::uint64_t tableSize = kTableHeadSize + kRecordSize * std::uint64_t{c.m_capacity};
  if (tableSize > size)
    fault(label, "table capacity " + std::to_string(c.m_capacity) + " does not fit in the file (" +
                     std::to_string(size) + " bytes)");

  auto entryName = [&](std::size_t position, std::uint64_t hash) {
    std::string s = "entry " + std::to_string(position) + " (hash " + hex16(hash);
    if (auto name = uopKnownName(hash)) s += ", " + *name;
    return s + ")";
  };

  // Tables by start, to refuse a next-table offset into any table already read (which would
  // also loop for ever).
  std::map<std::uint64_t, std::uint64_t> tableSpans;
  Bytes head(kTableHeadSize);
  for (std::uint64_t offset = firstTable; offset != 0;) {
    const std::string table = "table " + std::to_string(c.m_tables.size());
    if (offset < kHeaderSize) fault(label, table + " at " + at(offset) + " points into the header");
    if (offset > size || tableSize > size - offset)
      fault(label, table + " at " + at(offset) + " runs past the end of the file (" +
                       std::to_string(size) + " bytes)");
    auto after = tableSpans.upper_bound(offset);
    const bool hitsNext = after != tableSpans.end() && after->first < offset + tableSize;
    const bool hitsPrevious = after != tableSpans.begin() && std::prev(after)->second > offset;
    if (hitsNext || hitsPrevious) {
      const std::uint64_t other = hitsPrevious ? std::prev(after)->first : after->first;
      fault(label, table + " at " + at(offset) + " points back into the table at " + at(other));
    }
    tableSpans.emplace(offset, offset + tableSize);

    Table t;
    t.offset = offset;
    src.read(offset, head.data(), kTableHeadSize);
    t.used = loadU32(head.data());
    if (t.used > c.m_capacity)
      fault(label, table + " counts " + std::to_string(t.used) + " entries in a table of " +
                       std::to_string(c.m_capacity));
    const std::uint64_t next = loadU64(head.data() + 4);
    t.records = src.read(offset + kTableHeadSize, static_cast<std::size_t>(tableSize - kTableHeadSize));
    t.entry.assign(c.m_capacity, -1);
    for (std::uint32_t r = 0; r < c.m_capacity; ++r) {
      const std::uint8_t* rec = t.records.data() + std::size_t{r} * kRecordSize;
      const std::uint64_t dataOffset = loadU64(rec + kRecordOffsetAt);
      if (dataOffset == 0) continue;  // an unused record
      const std::uint32_t headerLength = loadU32(rec + kRecordHeaderLengthAt);
      const std::uint32_t storedSize = loadU32(rec + kRecordStoredAt);
      const std::uint64_t hash = loadU64(rec + kRecordHashAt);
      const std::size_t position = c.m_entries.size();
      if (auto it = c.m_index.find(hash); it != c.m_index.end())
        fault(label, entryName(position, hash) + " has the same hash as entry " +
                         std::to_string(it->second));
      if (dataOffset > size || headerLength > size - dataOffset)
        fault(label, entryName(position, hash) + ": data header of " +
                         std::to_string(headerLength) + " bytes at " + at(dataOffset) +
                         " runs past the end of the file (" + std::to_string(size) + " bytes)");
      if (storedSize > size - dataOffset - headerLength)
        fault(label, entryName(position, hash) + ": stored size " + std::to_string(storedSize) +
                         " at " + at(dataOffset + headerLength) +
                         " runs past the end of the file (" + std::to_string(size) + " bytes)");
      UopEntry e;
      e.hash = hash;
      e.compression = loadU16(rec + kRecordCompressionAt);
      e.fullSize = loadU32(rec + kRecordFullAt);
      e.adler = loadU32(rec + kRecordAdlerAt);
      e.inSource = true;
      e.at = dataOffset;
      e.sourceHeader = headerLength;
      e.sourceStored = storedSize;
      t.entry[r] = static_cast<std::int64_t>(position);
      c.m_index.emplace(hash, position);
      c.m_entries.push_back(std::move(e));
    }
    c.m_tables.push_back(std::move(t));
    offset = next;
  }

  // The pieces in file order; what lies between two of them is kept with the first.
  c.m_pieces.reserve(1 + c.m_tables.size() + c.m_entries.size());
  c.m_pieces.push_back({Piece::Kind::Header, 0, 0, 0, 0});
  for (std::size_t t = 0; t < c.m_tables.size(); ++t)
    c.m_pieces.push_back({Piece::Kind::Table, t, c.m_tables[t].offset, 0, 0});
  for (std::size_t e = 0; e < c.m_entries.size(); ++e)
    c.m_pieces.push_back({Piece::Kind::Entry, e, c.m_entries[e].at, 0, 0});
  auto pieceSize = [&](const Piece& p) -> std::uint64_t {
    switch (p.kind) {
      case Piece::Kind::Header:
        return kHeaderSize;
      case Piece::Kind::Table:
        return tableSize;
      case Piece::Kind::Entry:
        return dataSize(c.m_entries[p.index]);
    }
    return 0;
  };
  std::sort(c.m_pieces.begin(), c.m_pieces.end(), [&](const Piece& a, const Piece& b) {
    if (a.offset != b.offset) return a.offset < b.offset;
    return pieceSize(a) < pieceSize(b);
  });
  auto pieceName = [&](const Piece& p) {
    switch (p.kind) {
      case Piece::Kind::Header:
        return std::string("the header");
      case Piece::Kind::Table:
        return "table " + std::to_string(p.index);
      case Piece::Kind::Entry:
        return entryName(p.index, c.m_entries[p.index].hash);
    }
    return std::string();
  };
  for (std::size_t i = 0; i < c.m_pieces.size(); ++i) {
    const std::uint64_t end = c.m_pieces[i].offset + pieceSize(c.m_pieces[i]);
    const std::uint64_t nextStart = i + 1 < c.m_pieces.size() ? c.m_pieces[i + 1].offset : size;
    if (nextStart < end) {
      const Piece& later = c.m_pieces[i + 1];
      fault(label, pieceName(later) + " at " + at(later.offset) + " overlaps " +
                       pieceName(c.m_pieces[i]) + " at " + at(c.m_pieces[i].offset));
    }
    c.m_pieces[i].gapAt = end;
    c.m_pieces[i].gapSize = nextStart - end;
  }
  c.m_source = std::move(source);
  return c;
}

namespace {
Bytes freshHeader(std::uint32_t version) {
  Bytes h(kHeaderSize, 0);
  storeU32(h.data(), kMagic);
  storeU32(h.data() + kVersionAt, version);
  storeU32(h.data() + kSignatureAt, kSignature);
  return h;
}
}  // namespace

UopContainer UopContainer::create(std::uint32_t version, std::uint32_t capacity) {
  if (capacity == 0) throw Error("A UOP container needs a table capacity of at least 1");
  UopContainer c;
  c.m_version = version;
  c.m_capacity = capacity;
  c.m_header = freshHeader(version);
  return c;
}

std::size_t UopContainer::tableCount() const {
  if (!m_clientShape) return m_tables.size();
  return std::max<std::size_t>(1, (m_entries.size() + m_capacity - 1) / m_capacity);
}

const UopEntry* UopContainer::find(std::uint64_t hash) const {
  auto it = m_index.find(hash);
  return it == m_index.end() ? nullptr : &m_entries[it->second];
}

std::string UopContainer::describe(const UopEntry& entry) const {
  std::string s = "entry ";
  if (&entry >= m_entries.data() && &entry < m_entries.data() + m_entries.size())
    s += std::to_string(&entry - m_entries.data()) + " ";
  s += "(hash " + hex16(entry.hash);
  if (auto name = uopKnownName(entry.hash)) s += ", " + *name;
  return s + ")";
}

Bytes UopContainer::payload(const UopEntry& entry) const {
  Bytes out;
  std::string why;
  if (!readPayload(entry, out, why)) fault(m_label, describe(entry) + ": " + why);
  return out;
}

Bytes UopContainer::header(const UopEntry& entry) const {
  if (!entry.inSource) return entry.header;
  return m_source->read(entry.at, entry.sourceHeader);
}

Bytes UopContainer::stored(const UopEntry& entry) const {
  if (!entry.inSource) return entry.stored;
  return m_source->read(entry.storedAt(), entry.sourceStored);
}

bool UopContainer::readPayload(const UopEntry& entry, Bytes& out, std::string& why) const {
  why.clear();
  out.clear();
  if (entry.compression == kStored) {
    if (entry.storedSize() == entry.fullSize) {
      out = stored(entry);
      return true;
    }
    why = "stored size " + std::to_string(entry.storedSize()) + " differs from its full size " +
          std::to_string(entry.fullSize);
  } else if (entry.compression == kZlib) {
    // Refused before the stored bytes are read when the full size is a lie.
    if (entry.fullSize > std::uint64_t{entry.storedSize()} * kMaxInflateRatio + 64) {
      why = "full size " + std::to_string(entry.fullSize) + " cannot come from a zlib stream of " +
            std::to_string(entry.storedSize()) + " bytes";
      return false;
    }
    const Bytes streamBytes = stored(entry);
    out = inflateBytes(streamBytes, entry.fullSize, why);
    if (why.empty()) return true;
    out.clear();
  } else {
    why = "compression " + std::to_string(entry.compression) +
          " is not supported (only 0, stored, and 1, zlib)";
  }
  return false;
}

// ---- changing ------------------------------------------------------------------------------

void UopContainer::setPayload(std::uint64_t hash, std::span<const std::uint8_t> payload,
                              bool compressNew) {
  if (payload.size() > std::numeric_limits<std::uint32_t>::max())
    throw Error("A UOP entry cannot hold " + std::to_string(payload.size()) + " bytes");
  auto it = m_index.find(hash);
  UopEntry* old = it == m_index.end() ? nullptr : &m_entries[it->second];
  UopEntry e;
  e.hash = hash;
  const bool compress = old ? old->compression != kStored : compressNew;
  e.compression = compress ? kZlib : kStored;
  e.fullSize = static_cast<std::uint32_t>(payload.size());
  e.stored = compress ? deflateBytes(payload) : Bytes(payload.begin(), payload.end());
  if (e.stored.size() > std::numeric_limits<std::uint32_t>::max())
    throw Error("A UOP entry cannot hold " + std::to_string(e.stored.size()) + " stored bytes");
  // A container whose entries go without a data header keeps going without; a header of a kind
  // this program does not know is kept as it is.
  const UopEntry* model = old ? old : (m_entries.empty() ? nullptr : &m_entries.front());
  const Bytes oldHeader = old ? header(*old) : Bytes();
  if (model && model->headerSize() == 0) {
    // no data header
  } else if (old && !(oldHeader.size() == kDataHeaderSize &&
                      loadU16(oldHeader.data()) == kDataHeaderKind &&
                      loadU16(oldHeader.data() + 2) == kDataHeaderLength)) {
    e.header = oldHeader;
  } else {
    e.header = newDataHeader();
  }
  // An entry without a data header has no bytes to check: the field keeps the value the
  // container's header-less entries hold (0 in the files seen), not the Adler-32 of nothing.
  e.adler = e.header.empty() && model && model->headerSize() == 0 ? model->adler
                                                                  : uopAdler32(e.header);
  if (old) {
    *old = std::move(e);
    return;
  }
  m_clientShape = true;
  m_index.emplace(hash, m_entries.size());
  m_entries.push_back(std::move(e));
}

void UopContainer::putEntry(const UopContainer& from, const UopEntry& given) {
  UopEntry entry = given;
  // An entry of another file is held here: this container's source is not where it lies.
  if (entry.inSource && from.m_source != m_source) {
    entry.header = from.header(given);
    entry.stored = from.stored(given);
    entry.inSource = false;
  }
  if (auto it = m_index.find(entry.hash); it != m_index.end()) {
    m_entries[it->second] = std::move(entry);
    return;
  }
  m_clientShape = true;
  m_index.emplace(entry.hash, m_entries.size());
  m_entries.push_back(std::move(entry));
}

void UopContainer::remove(std::uint64_t hash) {
  auto it = m_index.find(hash);
  if (it == m_index.end()) return;
  m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(it->second));
  m_clientShape = true;
  reindex();
}

void UopContainer::reindex() {
  m_index.clear();
  m_index.reserve(m_entries.size());
  for (std::size_t i = 0; i < m_entries.size(); ++i) m_index.emplace(m_entries[i].hash, i);
}

// ---- writing -------------------------------------------------------------------------------

void UopContainer::writeAsRead(UopSink& sink) const {
  const std::uint64_t tableSize = kTableHeadSize + kRecordSize * std::uint64_t{m_capacity};
  std::vector<std::uint64_t> tableAt(m_tables.size()), entryAt(m_entries.size());
  std::uint64_t offset = 0;
  for (const Piece& p : m_pieces) {
    std::uint64_t n = kHeaderSize;
    if (p.kind == Piece::Kind::Table) {
      tableAt[p.index] = offset;
      n = tableSize;
    } else if (p.kind == Piece::Kind::Entry) {
      entryAt[p.index] = offset;
      n = dataSize(m_entries[p.index]);
    }
    offset += n + p.gapSize;
  }
  for (const Piece& p : m_pieces) {
    if (p.kind == Piece::Kind::Header) {
      Bytes h = m_header;
      if (!m_tables.empty()) storeU64(h.data() + kFirstTableAt, tableAt[0]);
      sink.write(h);
    } else if (p.kind == Piece::Kind::Table) {
      const Table& t = m_tables[p.index];
      writeTableHead(sink, t.used, p.index + 1 < m_tables.size() ? tableAt[p.index + 1] : 0);
      for (std::size_t r = 0; r < t.entry.size(); ++r) {
        if (t.entry[r] < 0)
          sink.write(std::span(t.records).subspan(r * kRecordSize, kRecordSize));
        else
          writeRecord(sink, m_entries[static_cast<std::size_t>(t.entry[r])],
                      entryAt[static_cast<std::size_t>(t.entry[r])]);
      }
    } else {
      writeData(sink, m_entries[p.index]);
    }
    sink.copy(p.gapAt, p.gapSize);
  }
}

void UopContainer::writeClientShape(UopSink& sink) const {
  const std::uint64_t tableSize = kTableHeadSize + kRecordSize * std::uint64_t{m_capacity};
  const std::size_t tables = tableCount();
  // A container made without create() gets the header create() gives.
  Bytes h = m_header.size() == kHeaderSize ? m_header : freshHeader(m_version);
  storeU64(h.data() + kFirstTableAt, kHeaderSize);
  storeU32(h.data() + kCapacityAt, m_capacity);
  storeU32(h.data() + kCountAt, static_cast<std::uint32_t>(m_entries.size()));
  sink.write(h);
  std::uint64_t offset = kHeaderSize;
  const std::array<std::uint8_t, kRecordSize> unused{};
  for (std::size_t t = 0; t < tables; ++t) {
    const std::size_t first = t * m_capacity;
    const std::size_t last = std::min(m_entries.size(), first + m_capacity);
    std::uint64_t dataAt = offset + tableSize;
    std::uint64_t end = dataAt;
    for (std::size_t e = first; e < last; ++e) end += dataSize(m_entries[e]);
    writeTableHead(sink, static_cast<std::uint32_t>(last - first), t + 1 < tables ? end : 0);
    for (std::size_t e = first; e < last; ++e) {
      writeRecord(sink, m_entries[e], dataAt);
      dataAt += dataSize(m_entries[e]);
    }
    for (std::size_t r = last - first; r < m_capacity; ++r) sink.write(unused);
    for (std::size_t e = first; e < last; ++e) writeData(sink, m_entries[e]);
    offset = end;
  }
}

void UopContainer::write(UopSink& sink) const {
  if (m_clientShape)
    writeClientShape(sink);
  else
    writeAsRead(sink);
  sink.finish();
}

Bytes UopContainer::serialize() const {
  Bytes out;
  std::uint64_t total = kHeaderSize;
  for (const auto& e : m_entries) total += dataSize(e);
  total += tableCount() * (kTableHeadSize + kRecordSize * std::uint64_t{m_capacity});
  out.reserve(total);
  UopSink sink(&out, nullptr, m_source.get());
  write(sink);
  return out;
}

void UopContainer::save(const std::string& path) const {
  // The new file is written beside the target: a save onto the file read copies from the file
  // as it was, which stays open (and whole) until the rename, and after it for this container.
  AtomicFile file(path);
  UopSink sink(nullptr, &file, m_source.get());
  write(sink);
  file.commit();
  if (m_source && m_source->isFile() && sameTarget(path, m_source->path()))
    m_source->expectOnDisk();
}

// ---- checking ------------------------------------------------------------------------------

std::optional<std::string> verifyUop(std::span<const std::uint8_t> bytes) {
  std::optional<UopContainer> c;
  try {
    c = UopContainer::parse(bytes, "");
  } catch (const FormatError& e) {
    return std::string(e.what());
  }
  const std::uint32_t signature = loadU32(bytes.data() + kSignatureAt);
  if (signature != kSignature)
    return "signature " + hex16(signature).substr(8) + " is not the container's " +
           hex16(kSignature).substr(8);
  const std::uint32_t count = loadU32(bytes.data() + kCountAt);
  if (count != c->entries().size())
    return "the header counts " + std::to_string(count) + " entries, the tables hold " +
           std::to_string(c->entries().size());
  for (std::size_t t = 0; t < c->m_tables.size(); ++t) {
    const auto& table = c->m_tables[t];
    const auto held = static_cast<std::size_t>(
        std::count_if(table.entry.begin(), table.entry.end(), [](auto e) { return e >= 0; }));
    if (held != table.used)
      return "table " + std::to_string(t) + " counts " + std::to_string(table.used) +
             " entries and holds " + std::to_string(held);
  }
  for (const UopEntry& e : c->entries()) {
    // A record of an entry without a data header has nothing to check its Adler-32 against.
    const Bytes header = c->header(e);
    if (!header.empty() && uopAdler32(header) != e.adler)
      return c->describe(e) + ": the record's Adler-32 " + hex16(e.adler).substr(8) +
             " is not that of its data header, " + hex16(uopAdler32(header)).substr(8);
    try {
      (void)c->payload(e);
    } catch (const FormatError& err) {
      return std::string(err.what());
    }
  }
  return std::nullopt;
}

}  // namespace quillotide
