#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>

#include "app/FileIO.h"
#include "app/Uop.h"
#include "support/Mutations.h"
#include "support/TestFiles.h"

using namespace quillotide;
using namespace quillotide::test;

namespace {

// An entry of a container built by hand, the way the client lays its files out.
struct RawEntry {
  std::uint64_t hash;
  Bytes stored;
  std::uint32_t fullSize;
  std::uint16_t compression = 0;
  Bytes header = {3, 0, 8, 0, 1, 2, 3, 4, 5, 6, 7, 8};
};

RawEntry storedEntry(const std::string& name, const Bytes& payload) {
  return {uopHash(name), payload, static_cast<std::uint32_t>(payload.size())};
}

RawEntry zlibEntry(const std::string& name, const Bytes& payload) {
  uLongf n = compressBound(static_cast<uLong>(payload.size()));
  Bytes z(n);
  compress2(z.data(), &n, payload.data(), static_cast<uLong>(payload.size()), 9);
  z.resize(n);
  return {uopHash(name), z, static_cast<std::uint32_t>(payload.size()), 1};
}

// Header, then each table followed by its entries' data, as the client writes them.
Bytes clientFile(const std::vector<RawEntry>& entries, std::uint32_t capacity) {
  ByteWriter w;
  w.u32(0x0050594D);
  w.u32(4);
  w.u32(0xFD23EC43);
  w.u64(40);
  w.u32(capacity);
  w.u32(static_cast<std::uint32_t>(entries.size()));
  w.zeros(12);
  for (std::size_t first = 0; first < entries.size() || first == 0; first += capacity) {
    const std::size_t last = std::min(entries.size(), first + capacity);
    const std::size_t tableAt = w.size();
    std::size_t dataAt = tableAt + 12 + 34 * std::size_t{capacity};
    std::size_t end = dataAt;
    for (std::size_t e = first; e < last; ++e)
      end += entries[e].header.size() + entries[e].stored.size();
    w.u32(static_cast<std::uint32_t>(last - first));
    w.u64(last < entries.size() ? end : 0);
    for (std::size_t e = first; e < last; ++e) {
      const RawEntry& r = entries[e];
      w.u64(dataAt);
      w.u32(static_cast<std::uint32_t>(r.header.size()));
      w.u32(static_cast<std::uint32_t>(r.stored.size()));
      w.u32(r.fullSize);
      w.u64(r.hash);
      w.u32(static_cast<std::uint32_t>(
          adler32(1, r.header.data(), static_cast<uInt>(r.header.size()))));
      w.u16(r.compression);
      dataAt += r.header.size() + r.stored.size();
    }
    w.zeros(34 * (capacity - (last - first)));
    for (std::size_t e = first; e < last; ++e) {
      w.bytes(entries[e].header);
      w.bytes(entries[e].stored);
    }
    if (entries.empty()) break;
  }
  return w.take();
}

Bytes pattern(std::size_t n, int seed) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i)
    b[i] = static_cast<std::uint8_t>((i * 7 + static_cast<std::size_t>(seed) * 13) ^ (i >> 5));
  return b;
}

std::string multiName(int i) {
  return uopEntryName(UopFamily::Multi, static_cast<std::uint32_t>(i));
}

// Three entries in two tables of two records: a stored one, a zlib one, and a stored one in the
// second table.
std::vector<RawEntry> sampleEntries() {
  return {storedEntry(multiName(0), pattern(100, 1)), zlibEntry(multiName(1), Bytes(5000, 7)),
          storedEntry(multiName(2), pattern(33, 2))};
}
Bytes sampleFile() { return clientFile(sampleEntries(), 2); }

// Where the fields of record r of the first table are.
constexpr std::size_t kTable0 = 40;
constexpr std::size_t record(std::size_t r) { return kTable0 + 12 + 34 * r; }

std::uint64_t u64At(const Bytes& b, std::size_t off) { return loadU64(b.data() + off); }

std::string refusal(const Bytes& bytes) {
  try {
    UopContainer::parse(bytes, "art.uop");
  } catch (const FormatError& e) {
    return e.what();
  }
  return "(read without complaint)";
}

std::uint64_t fileTimeNow() {
  using namespace std::chrono;
  return 116444736000000000ULL +
         static_cast<std::uint64_t>(
             duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count() / 100);
}

}  // namespace

TEST(UopHash, GivesTheClientsHashes) {
  const std::vector<std::pair<std::string, std::uint64_t>> vectors = {
      {"build/multicollection/000000.bin", 0x665FF35AC79D382BULL},
      {"build/multicollection/housing.bin", 0x126D1E99DDEDEE0AULL},
      {"build/artlegacymul/00000000.tga", 0x99361F7D3A53AEA8ULL},
      {"build/artlegacymul/00016384.tga", 0x2B323AA4D0FCED19ULL},
      {"build/gumpartlegacymul/00000000.tga", 0xECD0CC1754B6A0D8ULL},
      {"build/map0legacymul/00000000.dat", 0xDBB7AFA433A3764BULL},
      {"build/soundlegacymul/00000000.dat", 0xCB36450C320CD308ULL},
      {"", 0xDEADBEEFDEADBEEFULL},
      {"a", 0x582647AC58D68708ULL},
      {"abcdefghijkl", 0x75B50EC04012F87BULL},
      {"abcdefghijklm", 0x0F04AB68928128F9ULL},
  };
  for (const auto& [name, hash] : vectors) EXPECT_EQ(uopHash(name), hash) << "'" << name << "'";
}

TEST(UopNames, EveryFamilyNamesItsSlotsAndKnownHashesGiveTheirNamesBack) {
  EXPECT_EQ(uopEntryName(UopFamily::Art, 0x4000), "build/artlegacymul/00016384.tga");
  EXPECT_EQ(uopEntryName(UopFamily::Gump, 12), "build/gumpartlegacymul/00000012.tga");
  EXPECT_EQ(uopEntryName(UopFamily::Map, 5, 2), "build/map2legacymul/00000005.dat");
  EXPECT_EQ(uopEntryName(UopFamily::Sound, 7), "build/soundlegacymul/00000007.dat");
  EXPECT_EQ(uopEntryName(UopFamily::Multi, 8490), "build/multicollection/008490.bin");
  EXPECT_EQ(uopEntryName(UopFamily::AnimationFrame, 400, 3),
            "build/animationlegacyframe/000400/03.bin");

  EXPECT_EQ(uopKnownName(0x665FF35AC79D382BULL), "build/multicollection/000000.bin");
  EXPECT_EQ(uopKnownName(0x126D1E99DDEDEE0AULL), std::string(kUopHousingName));
  EXPECT_EQ(uopKnownName(uopHash("build/artlegacymul/00081919.tga")),
            "build/artlegacymul/00081919.tga");
  EXPECT_EQ(uopKnownName(uopHash("build/map5legacymul/00000111.dat")),
            "build/map5legacymul/00000111.dat");
  EXPECT_EQ(uopKnownName(uopHash("build/animationlegacyframe/002047/99.bin")),
            "build/animationlegacyframe/002047/99.bin");
  EXPECT_EQ(uopKnownName(uopHash("build/tileart/00000001.bin")), std::nullopt);
}

TEST(UopContainer, ReadsEveryTableFindsEntriesAndGivesTheSameBytesBack) {
  const Bytes file = sampleFile();
  const UopContainer c = UopContainer::parse(file, "multi.uop");
  EXPECT_EQ(c.version(), 4u);
  EXPECT_EQ(c.capacity(), 2u);
  EXPECT_EQ(c.tableCount(), 2u);
  ASSERT_EQ(c.entries().size(), 3u);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(c.entries()[static_cast<std::size_t>(i)].hash, uopHash(multiName(i)));

  const UopEntry* zipped = c.find(multiName(1));
  ASSERT_NE(zipped, nullptr);
  EXPECT_EQ(zipped->compression, 1);
  EXPECT_EQ(zipped->fullSize, 5000u);
  EXPECT_LT(zipped->storedSize(), 100u);  // read at its stored size, not its full size
  EXPECT_EQ(c.payload(*zipped), Bytes(5000, 7));
  EXPECT_EQ(c.payload(*c.find(multiName(2))), pattern(33, 2));
  EXPECT_EQ(c.find(multiName(3)), nullptr);
  EXPECT_EQ(c.header(*c.find(uopHash(multiName(0)))), (Bytes{3, 0, 8, 0, 1, 2, 3, 4, 5, 6, 7, 8}));

  EXPECT_EQ(c.serialize(), file);
  EXPECT_EQ(verifyUop(file), std::nullopt);
}

TEST(UopContainer, KeepsAnUnusualLayoutByteForByte) {
  // Tables after the data, bytes between the pieces, odd bytes in an unused record, a header tail
  // that is not zero, and entries without a data header.
  ByteWriter w;
  w.u32(0x0050594D);
  w.u32(5);
  w.u32(0xFD23EC43);
  w.u64(0);  // first table, set below
  w.u32(3);
  w.u32(2);
  w.bytes(Bytes{9, 9, 9, 9, 0, 0, 0, 0, 0, 0, 0, 1});
  const Bytes a = pattern(50, 3), b = pattern(20, 4);
  const std::size_t aAt = w.size();
  w.bytes(a);
  w.bytes(Bytes{0xEE, 0xEE});  // stray bytes between two entries
  const std::size_t bAt = w.size();
  w.bytes(b);
  const std::size_t tableAt = w.size();
  w.patchU32(12, static_cast<std::uint32_t>(tableAt));
  w.u32(2);
  w.u64(0);
  for (auto [at, data, name] :
       {std::tuple{aAt, a, multiName(5)}, std::tuple{bAt, b, multiName(6)}}) {
    w.u64(at);
    w.u32(0);
    w.u32(static_cast<std::uint32_t>(data.size()));
    w.u32(static_cast<std::uint32_t>(data.size()));
    w.u64(uopHash(name));
    w.u32(0);
    w.u16(0);
  }
  w.u64(0);  // an unused record whose other fields are not zero
  w.bytes(pattern(26, 5));
  w.bytes(Bytes{1, 2, 3});  // a tail after the last table
  const Bytes file = w.take();

  UopContainer c = UopContainer::parse(file, "odd.uop");
  ASSERT_EQ(c.entries().size(), 2u);
  EXPECT_EQ(c.payload(c.entries()[1]), b);
  EXPECT_EQ(c.serialize(), file);
  TempDir dir;
  c.save(dir.file("odd.uop"));
  EXPECT_EQ(readBytes(dir.file("odd.uop")), file);
  EXPECT_EQ(verifyUop(file), std::nullopt);

  // A changed entry keeps its place; what follows moves by the change and stays intact.
  const Bytes longer = pattern(80, 6);
  c.setPayload(uopHash(multiName(5)), longer);
  const Bytes changed = c.serialize();
  ASSERT_EQ(changed.size(), file.size() + 30);
  EXPECT_EQ(Bytes(changed.begin(), changed.begin() + 40),
            (mutated(Bytes(file.begin(), file.begin() + 40),
                     setU32(12, static_cast<std::uint32_t>(tableAt + 30)))));
  EXPECT_EQ(Bytes(changed.begin() + static_cast<std::ptrdiff_t>(aAt),
                  changed.begin() + static_cast<std::ptrdiff_t>(aAt + 80)),
            longer);
  EXPECT_EQ(Bytes(changed.end() - 3, changed.end()), (Bytes{1, 2, 3}));
  EXPECT_EQ(verifyUop(changed), std::nullopt);
  const UopContainer again = UopContainer::parse(changed, "odd.uop");
  EXPECT_EQ(again.entries()[0].headerSize(), 0u);  // still no data header
  EXPECT_EQ(again.payload(again.entries()[0]), longer);
  EXPECT_EQ(again.payload(again.entries()[1]), b);
  // Its record keeps the Adler-32 field these header-less entries hold in this file (0), not the
  // Adler-32 of no bytes (1); so does an entry added to the file.
  EXPECT_EQ(again.entries()[0].adler, 0u);
  c.setPayload(uopHash(multiName(7)), pattern(9, 7));
  const UopContainer grown = UopContainer::parse(c.serialize(), "odd.uop");
  ASSERT_TRUE(grown.find(multiName(7)));
  EXPECT_TRUE(grown.find(multiName(7))->header.empty());
  EXPECT_EQ(grown.find(multiName(7))->adler, 0u);
  EXPECT_EQ(grown.find(multiName(5))->adler, 0u);
}

TEST(UopContainer, RecordsAreReadFromTheTablesAloneAndTheirFaultsNamed) {
  TempDir dir;
  // Two tables of two; the full sizes are told without a stream being inflated, so an entry
  // whose stream is damaged still has its size.
  std::vector<RawEntry> entries = {storedEntry(multiName(0), pattern(10, 1)),
                                   zlibEntry(multiName(1), Bytes(5000, 7)),
                                   storedEntry(multiName(2), pattern(3, 2))};
  entries[1].stored[4] ^= 0xFF;
  writeBytes(dir.file("multi.uop"), clientFile(entries, 2));
  const std::vector<UopRecord> records = readUopRecords(dir.file("multi.uop"));
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[1].hash, uopHash(multiName(1)));
  EXPECT_EQ(records[1].fullSize, 5000u);
  EXPECT_EQ(records[1].compression, 1);
  EXPECT_EQ(records[2].storedSize, 3u);

  // The second table cut off: refused naming the file, as a full read refuses it.
  Bytes cut = clientFile(entries, 2);
  const std::uint64_t second = loadU64(cut.data() + kTable0 + 4);
  cut.resize(static_cast<std::size_t>(second) + 20);
  writeBytes(dir.file("cut.uop"), cut);
  try {
    (void)readUopRecords(dir.file("cut.uop"));
    ADD_FAILURE() << "a cut table was read";
  } catch (const FormatError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(dir.file("cut.uop") + ": table 1 at offset ", 0), 0u)
        << e.what();
  }
  EXPECT_THROW((void)readUopRecords(dir.file("none.uop")), FileError);
}

class DamagedUop : public ::testing::TestWithParam<Defect> {};

TEST_P(DamagedUop, IsRefusedNamingTheFileAndTheFault) {
  const std::string why = refusal(mutated(sampleFile(), GetParam().mutate));
  EXPECT_NE(why.find("art.uop: "), std::string::npos) << why;
  EXPECT_NE(why.find(GetParam().message), std::string::npos) << why;
}

INSTANTIATE_TEST_SUITE_P(
    UopContainer, DamagedUop,
    ::testing::Values(
        Defect{"shorter_than_a_header", cutTo(39), "too short"},
        Defect{"no_magic", setU8(0, 'X'), "not a UOP container"},
        Defect{"capacity_zero", setU32(20, 0), "table capacity is 0"},
        Defect{"capacity_larger_than_the_file", setU32(20, 0x7FFFFFFF),
               "table capacity 2147483647 does not fit"},
        Defect{"first_table_past_the_end", setU32(12, 0x100000),
               "table 0 at offset 1048576 runs past"},
        Defect{"first_table_in_the_header", setU32(12, 8),
               "table 0 at offset 8 points into the header"},
        Defect{"next_table_loops_back", setU32(44, 40),
               "table 1 at offset 40 points back into the table at offset 40"},
        Defect{"next_table_into_the_first", setU32(44, 60),
               "table 1 at offset 60 points back into the table at offset 40"},
        Defect{"table_counts_more_than_its_capacity", setU32(40, 3),
               "table 0 counts 3 entries in a table of 2"},
        Defect{"two_entries_with_one_hash",
               all({setU32(record(1) + 20, 0xC79D382B), setU32(record(1) + 24, 0x665FF35A)}),
               "entry 1 (hash 665FF35AC79D382B, build/multicollection/000000.bin) has the same "
               "hash as entry 0"},
        Defect{"stored_size_past_the_end", setU32(record(1) + 12, 0x10000),
               "build/multicollection/000001.bin): stored size 65536 at offset 244 runs past"},
        Defect{"data_header_past_the_end", setU32(record(0) + 8, 0x7FFFFFF0),
               "data header of 2147483632 bytes at offset"},
        Defect{"data_offset_past_the_end", setU32(record(0) + 4, 1),
               "runs past the end of the file"},
        Defect{"entries_overlap", setU32(record(1), 160),
               "overlaps entry 0 (hash 665FF35AC79D382B, build/multicollection/000000.bin)"},
        Defect{"entry_inside_its_table", setU32(record(0), 50), "overlaps table 0 at offset 40"},
        Defect{"data_header_longer_than_the_stored_data", setU32(record(0) + 8, 20),
               "overlaps entry 0"}),
    DefectName{});

TEST(UopContainer, DamagedEntriesAreNamedWhenTheirPayloadIsRead) {
  auto payloadFault = [](const Mutation& m) -> std::string {
    const UopContainer c = UopContainer::parse(mutated(sampleFile(), m), "multi.uop");
    try {
      c.payload(c.entries()[1]);
    } catch (const FormatError& e) {
      return e.what();
    }
    return "(read without complaint)";
  };
  const std::string entry1 = "multi.uop: entry 1 (hash " + [] {
    char b[17];
    std::snprintf(b, sizeof b, "%016llX", static_cast<unsigned long long>(uopHash(multiName(1))));
    return std::string(b);
  }() + ", build/multicollection/000001.bin): ";
  EXPECT_EQ(payloadFault(setU16(record(1) + 32, 3)),
            entry1 + "compression 3 is not supported (only 0, stored, and 1, zlib)");
  EXPECT_EQ(payloadFault(setU32(record(1) + 16, 4999)),
            entry1 + "zlib stream inflates to 5000 bytes, not its full size 4999");
  EXPECT_EQ(payloadFault(setU32(record(1) + 16, 4000)),
            entry1 + "zlib stream inflates to more than its full size 4000");
  EXPECT_EQ(payloadFault(setU32(record(1) + 16, 5001)),
            entry1 + "zlib stream inflates to 5000 bytes, not its full size 5001");
  // A full size no stream of that length can give is refused before anything is allocated.
  EXPECT_NE(payloadFault(setU32(record(1) + 16, 0xFFFFFFF0)).find("cannot come from a zlib stream"),
            std::string::npos);
  const auto zippedSize = UopContainer::parse(sampleFile(), "").entries()[1].storedSize();
  EXPECT_EQ(
      payloadFault(setU16(record(1) + 32, 0)),
      entry1 + "stored size " + std::to_string(zippedSize) + " differs from its full size 5000");
  // Bytes of the stream broken: the second entry's data starts after the first's 112 bytes.
  const std::size_t zlibAt = record(2) + 112 + 12;
  EXPECT_NE(payloadFault(setU32(zlibAt + 2, 0xFFFFFFFF)).find(entry1 + "zlib stream"),
            std::string::npos);
}

TEST(UopVerify, FindsTheFirstFaultOfAContainer) {
  const Bytes file = sampleFile();
  EXPECT_EQ(verifyUop(file), std::nullopt);
  EXPECT_NE(verifyUop(mutated(file, setU8(record(2) + 112 + 11, 0x55)))->find("Adler-32"),
            std::string::npos);
  EXPECT_EQ(*verifyUop(mutated(file, setU32(24, 4))),
            "the header counts 4 entries, the tables hold 3");
  EXPECT_EQ(*verifyUop(mutated(file, setU32(40, 1))), "table 0 counts 1 entries and holds 2");
  EXPECT_NE(verifyUop(mutated(file, setU32(record(1) + 16, 5001)))->find("not its full size 5001"),
            std::string::npos);
  EXPECT_NE(verifyUop(mutated(file, setU32(8, 0)))->find("signature"), std::string::npos);
  EXPECT_NE(verifyUop(mutated(file, setU32(44, 40)))->find("points back"), std::string::npos);
  EXPECT_NE(verifyUop(mutated(file, setU16(record(0) + 32, 2)))->find("compression 2"),
            std::string::npos);
}

TEST(UopContainer, ChangedEntriesGetANewDataHeaderAndKeepTheirCompression) {
  const Bytes file = sampleFile();
  UopContainer c = UopContainer::parse(file, "multi.uop");
  const std::uint64_t before = fileTimeNow();
  c.setPayload(uopHash(multiName(1)), Bytes(300, 9));        // was compressed
  c.setPayload(uopHash(multiName(0)), pattern(7, 8), true);  // was stored
  const std::uint64_t after = fileTimeNow();
  const Bytes out = c.serialize();
  EXPECT_EQ(verifyUop(out), std::nullopt);

  const UopContainer again = UopContainer::parse(out, "multi.uop");
  ASSERT_EQ(again.entries().size(), 3u);
  const UopEntry& zipped = again.entries()[1];
  EXPECT_EQ(zipped.compression, 1);
  EXPECT_EQ(again.stored(zipped)[0], 0x78);
  EXPECT_EQ(again.payload(zipped), Bytes(300, 9));
  EXPECT_EQ(again.entries()[0].compression, 0);
  EXPECT_EQ(again.stored(again.entries()[0]), pattern(7, 8));
  for (std::size_t i : {0u, 1u}) {
    const Bytes h = again.header(again.entries()[i]);
    ASSERT_EQ(h.size(), 12u);
    EXPECT_EQ(loadU16(h.data()), 3);
    EXPECT_EQ(loadU16(h.data() + 2), 8);
    EXPECT_GE(loadU64(h.data() + 4), before);
    EXPECT_LE(loadU64(h.data() + 4), after);
  }
  // The untouched entry keeps its data header and bytes; the layout stays the client's.
  EXPECT_EQ(again.header(again.entries()[2]), (Bytes{3, 0, 8, 0, 1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(again.payload(again.entries()[2]), pattern(33, 2));
  EXPECT_EQ(u64At(out, 12), 40u);
  EXPECT_EQ(u64At(out, record(0)), 40u + 12 + 68);
}

TEST(UopContainer, AddingOrRemovingWritesTheClientsShape) {
  UopContainer c = UopContainer::parse(sampleFile(), "multi.uop");
  c.remove(uopHash(multiName(1)));
  c.remove(uopHash(multiName(9)));  // not there: nothing happens
  c.setPayload(uopHash(multiName(3)), pattern(10, 3));
  c.setPayload(uopHash(multiName(4)), Bytes(400, 1), true);
  const Bytes out = c.serialize();
  EXPECT_EQ(verifyUop(out), std::nullopt);

  const UopContainer again = UopContainer::parse(out, "multi.uop");
  ASSERT_EQ(again.entries().size(), 4u);
  EXPECT_EQ(again.tableCount(), 2u);
  const std::vector<int> order = {0, 2, 3, 4};
  for (std::size_t i = 0; i < order.size(); ++i)
    EXPECT_EQ(again.entries()[i].hash, uopHash(multiName(order[i])));
  EXPECT_EQ(again.find(multiName(1)), nullptr);
  EXPECT_EQ(again.payload(*again.find(multiName(4))), Bytes(400, 1));
  EXPECT_EQ(again.find(multiName(4))->compression, 1);
  // Each table is followed by its entries' data, then the next table.
  const std::size_t table1 = 40 + 80 + 112 + 45;
  EXPECT_EQ(u64At(out, 44), table1);
  EXPECT_EQ(u64At(out, record(0)), 120u);
  EXPECT_EQ(u64At(out, record(1)), 120u + 112);
  EXPECT_EQ(loadU32(out.data() + table1), 2u);
  EXPECT_EQ(u64At(out, table1 + 4), 0u);
  EXPECT_EQ(u64At(out, table1 + 12), table1 + 80);
}

TEST(UopContainer, ANewContainerTakesEntriesInTheOrderGivenAndIsSavedWhole) {
  TempDir dir;
  const std::string path = dir.file("artLegacyMUL.uop");
  writeBytes(path, Bytes{1, 2, 3});
  UopContainer c = UopContainer::create();
  for (std::uint32_t i = 0; i < 250; ++i)
    c.setPayload(uopHash(uopEntryName(UopFamily::Art, i)), pattern(i % 7 + 1, static_cast<int>(i)));
  c.save(path);

  const Bytes disk = readBytes(path);
  EXPECT_EQ(disk, c.serialize());
  EXPECT_EQ(verifyUop(disk), std::nullopt);
  EXPECT_EQ(loadU32(disk.data() + 4), 4u);
  EXPECT_EQ(loadU32(disk.data() + 8), 0xFD23EC43u);
  EXPECT_EQ(loadU32(disk.data() + 20), 100u);
  EXPECT_EQ(loadU32(disk.data() + 24), 250u);
  const UopContainer again = UopContainer::read(path);
  EXPECT_EQ(again.tableCount(), 3u);
  for (std::uint32_t i = 0; i < 250; ++i) {
    ASSERT_EQ(again.entries()[i].hash, uopHash(uopEntryName(UopFamily::Art, i)));
    EXPECT_EQ(again.payload(again.entries()[i]), pattern(i % 7 + 1, static_cast<int>(i)));
  }
  // An empty container is a header and one empty table.
  const Bytes empty = UopContainer::create(5, 1000).serialize();
  EXPECT_EQ(empty.size(), 40u + 12 + 34 * 1000);
  EXPECT_EQ(verifyUop(empty), std::nullopt);
  EXPECT_EQ(UopContainer().serialize(), UopContainer::create().serialize());
}

TEST(UopContainer, FilesThatCannotBeReadSaySo) {
  TempDir dir;
  EXPECT_THROW(UopContainer::read(dir.file("missing.uop")), FileError);
  writeBytes(dir.file("short.uop"), Bytes{'M', 'Y', 'P', 0});
  try {
    UopContainer::read(dir.file("short.uop"));
    FAIL() << "read a 4-byte container";
  } catch (const FormatError& e) {
    EXPECT_EQ(std::string(e.what()),
              dir.file("short.uop") + ": too short for a UOP container (4 bytes)");
  }
}
