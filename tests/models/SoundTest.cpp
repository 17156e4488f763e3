#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "app/Error.h"
#include "app/FileIO.h"
#include "models/Sound.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

constexpr const char* kSox = "/usr/bin/sox";

bool haveSox() { return fileExists(kSox); }

bool runTool(const std::string& command) {
  return std::system((command + " 2>/dev/null").c_str()) == 0;
}

// What soxi reports for one field (-c channels, -r rate, -b bits, -e encoding, -s samples).
std::string soxi(const std::string& option, const std::string& path) {
  const std::string command = "/usr/bin/soxi " + option + " '" + path + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return {};
  std::string out;
  char buf[256];
  while (std::fgets(buf, sizeof buf, pipe)) out += buf;
  pclose(pipe);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

Bytes pattern(std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>((i * 7 + 3) & 0xFF);
  return b;
}

// An entry as the game stores it: 16-byte name, 16 other header bytes, samples.
Bytes entry(const std::string& name, const Bytes& samples) {
  ByteWriter w;
  w.fixedString(name, 16);
  for (std::uint8_t i = 0; i < 16; ++i) w.u8(static_cast<std::uint8_t>(0xA0 + i));
  w.bytes(samples);
  return w.take();
}

struct SoundFiles {
  TempDir dir;
  std::string idx = dir.file("soundidx.mul");
  std::string mul = dir.file("sound.mul");
  TSound sound;
  // Slot 0: "bell.wav" with 1000 sample bytes; slot 1 empty; slot 2: a 20-byte entry (damaged).
  SoundFiles() {
    Bytes data = entry("bell.wav", pattern(1000));
    const Bytes shortEntry(20, 1);
    data.insert(data.end(), shortEntry.begin(), shortEntry.end());
    test::writeBytes(idx, test::indexBytes({{0, 1032, 1}, {-1, -1, -1}, {1032, 20, 3}}));
    test::writeBytes(mul, data);
    sound.load(idx, mul);
  }
};

// A wave file from its chunks, after the RIFF/WAVE header.
Bytes riff(const std::vector<std::pair<std::string, Bytes>>& chunks) {
  ByteWriter w;
  w.bytes({reinterpret_cast<const std::uint8_t*>("RIFF"), 4});
  w.u32(0);
  w.bytes({reinterpret_cast<const std::uint8_t*>("WAVE"), 4});
  for (const auto& [tag, body] : chunks) {
    w.bytes({reinterpret_cast<const std::uint8_t*>(tag.data()), 4});
    w.u32(static_cast<std::uint32_t>(body.size()));
    w.bytes(body);
    if (body.size() & 1) w.u8(0);
  }
  w.patchU32(4, static_cast<std::uint32_t>(w.size() - 8));
  return w.take();
}

Bytes fmtChunk(std::uint16_t format, std::uint16_t channels, std::uint32_t rate,
               std::uint16_t bits) {
  ByteWriter w;
  w.u16(format);
  w.u16(channels);
  w.u32(rate);
  w.u32(rate * channels * bits / 8);
  w.u16(static_cast<std::uint16_t>(channels * bits / 8));
  w.u16(bits);
  return w.take();
}

}  // namespace

TEST(SoundExport, WritesTheFortyFourByteHeaderAndTheSamples) {
  SoundFiles f;
  const std::string wav = f.dir.file("0x0.wav");
  ASSERT_TRUE(f.sound.exportWave(0, wav));
  const Bytes file = test::readBytes(wav);
  ASSERT_EQ(file.size(), 1044u);
  ByteReader r(file);
  EXPECT_EQ(r.readFixedString(4), "RIFF");
  EXPECT_EQ(r.readU32(), 1036u);
  EXPECT_EQ(r.readFixedString(8), "WAVEfmt ");
  EXPECT_EQ(r.readU32(), 16u);
  // 16-bit mono at 22050 Hz: what the samples are.
  EXPECT_EQ(r.readU16(), 1);
  EXPECT_EQ(r.readU16(), 1);
  EXPECT_EQ(r.readU32(), 22050u);
  EXPECT_EQ(r.readU32(), 44100u);
  EXPECT_EQ(r.readU16(), 2);
  EXPECT_EQ(r.readU16(), 16);
  EXPECT_EQ(r.readFixedString(4), "data");
  EXPECT_EQ(r.readU32(), 1000u);
  const auto samples = r.readBytes(1000);
  EXPECT_EQ(Bytes(samples.begin(), samples.end()), pattern(1000));
  EXPECT_EQ(f.sound.soundName(0), "bell.wav");
}

TEST(SoundExport, EmptySlotWritesNothingAndDamagedSlotNamesItself) {
  SoundFiles f;
  const std::string wav = f.dir.file("old.wav");
  test::writeText(wav, "older file");
  EXPECT_FALSE(f.sound.exportWave(1, wav));
  EXPECT_FALSE(f.sound.exportWave(0x500, wav));
  EXPECT_EQ(test::readText(wav), "older file");
  EXPECT_EQ(f.sound.soundName(1), "");
  try {
    f.sound.exportWave(2, wav);
    FAIL() << "a 20-byte entry has no samples";
  } catch (const FormatError& e) {
    EXPECT_NE(std::string(e.what()).find("Sound 0x2"), std::string::npos) << e.what();
  }
  EXPECT_EQ(test::readText(wav), "older file");
  TSound unloaded;
  EXPECT_FALSE(unloaded.slotExists(0));
  EXPECT_FALSE(unloaded.exportWave(0, wav));
}

TEST(SoundImport, ExportedWaveComesBackNamedAfterTheSlot) {
  SoundFiles f;
  const std::string wav = f.dir.file("bell.wav");
  ASSERT_TRUE(f.sound.exportWave(0, wav));
  const auto end = static_cast<std::int32_t>(f.sound.files().dataSize());
  f.sound.importWave(0x20, wav);
  EXPECT_EQ(f.sound.record(0x20), (IndexRecord{end, 1032, 33}));
  EXPECT_EQ(f.sound.soundName(0x20), "32");
  EXPECT_EQ(*f.sound.samples(0x20), pattern(1000));
  // Records between the old end of the index and the new slot are empty.
  EXPECT_FALSE(f.sound.slotExists(0x10));

  // The new entry's header is the name and zero bytes, 32 in all; save and load keep it all.
  f.sound.save(f.idx, f.mul);
  TSound again;
  again.load(f.idx, f.mul);
  EXPECT_EQ(again.soundName(0x20), "32");
  EXPECT_EQ(*again.samples(0x20), pattern(1000));
  EXPECT_EQ(again.soundName(0), "bell.wav");
  const Bytes data = test::readBytes(f.mul);
  EXPECT_EQ(Bytes(data.begin() + end + 2, data.begin() + end + 32), Bytes(30, 0));
}

TEST(SoundImport, FindsTheDataChunkWhereverItIs) {
  SoundFiles f;
  const Bytes samples = pattern(64);
  const Bytes list(13, 'x');
  const std::string wav = f.dir.file("chunks.wav");
  // A LIST chunk of odd length before the format, data before fmt: the data chunk is taken.
  test::writeBytes(wav,
                   riff({{"LIST", list}, {"data", samples}, {"fmt ", fmtChunk(1, 1, 22050, 16)}}));
  f.sound.importWave(5, wav);
  EXPECT_EQ(*f.sound.samples(5), samples);
}

TEST(SoundImport, RefusesWhatIsNotSixteenBitPcmAndChangesNothing) {
  SoundFiles f;
  const auto index = f.sound.files().records(0, f.sound.files().recordCount());
  const auto dataSize = f.sound.files().dataSize();
  const std::string wav = f.dir.file("bad.wav");
  const Bytes fullPcm = riff({{"fmt ", fmtChunk(1, 1, 22050, 16)}, {"data", pattern(40)}});
  Bytes claimsTooMuch = fullPcm;
  storeU32(claimsTooMuch.data() + 40, 5000);
  const std::vector<std::pair<std::string, Bytes>> cases = {
      {"fewer than the 44", Bytes(43, 0)},
      {"RIFF ... WAVE", Bytes(60, 'A')},
      {"not 16-bit PCM", riff({{"fmt ", fmtChunk(1, 1, 22050, 8)}, {"data", pattern(40)}})},
      {"not 16-bit PCM", riff({{"fmt ", fmtChunk(3, 1, 22050, 32)}, {"data", pattern(40)}})},
      {"no data chunk", riff({{"fmt ", fmtChunk(1, 1, 22050, 16)}, {"LIST", pattern(40)}})},
      {"no format chunk", riff({{"data", pattern(40)}, {"LIST", pattern(4)}})},
      {"claims 5000 bytes", claimsTooMuch},
      {"declares 0 bytes", riff({{"fmt ", fmtChunk(1, 1, 22050, 16)}, {"data", {}}})},
      {"holds 1 channel at 44100 Hz",
       riff({{"fmt ", fmtChunk(1, 1, 44100, 16)}, {"data", pattern(40)}})},
  };
  for (const auto& [expected, bytes] : cases) {
    test::writeBytes(wav, bytes);
    try {
      f.sound.importWave(1, wav);
      ADD_FAILURE() << "accepted a file that should give: " << expected;
    } catch (const FormatError& e) {
      EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(wav), std::string::npos) << e.what();
    }
    EXPECT_EQ(f.sound.files().records(0, f.sound.files().recordCount()), index);
    EXPECT_EQ(f.sound.files().dataSize(), dataSize);
  }
  EXPECT_THROW(f.sound.importWave(1, f.dir.file("missing.wav")), FileError);
}

TEST(SoundDelete, EmptiesTheSlotAndKeepsTheData) {
  SoundFiles f;
  const auto dataSize = f.sound.files().dataSize();
  f.sound.deleteSlot(0);
  EXPECT_EQ(f.sound.record(0), (IndexRecord{-1, -1, -1}));
  EXPECT_FALSE(f.sound.slotExists(0));
  EXPECT_EQ(f.sound.files().dataSize(), dataSize);
  TSound unloaded;
  EXPECT_THROW(unloaded.deleteSlot(0), Error);
  EXPECT_THROW(unloaded.save(f.idx, f.mul), Error);
}

// sox reads what the export writes as the declared format, and a wave file made by sox imports
// with exactly the samples sox itself decodes from it.
TEST(SoundWithSox, SoxReadsTheExportAndItsFilesImport) {
  if (!haveSox()) GTEST_SKIP() << "sox is not installed";
  SoundFiles f;
  const std::string exported = f.dir.file("out.wav");
  ASSERT_TRUE(f.sound.exportWave(0, exported));
  EXPECT_EQ(soxi("-c", exported), "1");
  EXPECT_EQ(soxi("-r", exported), "22050");
  EXPECT_EQ(soxi("-b", exported), "16");
  EXPECT_EQ(soxi("-e", exported), "Signed Integer PCM");
  EXPECT_EQ(soxi("-s", exported), "500");  // 1000 bytes of 2-byte samples

  const std::string made = f.dir.file("made.wav");
  const std::string raw = f.dir.file("made.raw");
  ASSERT_TRUE(runTool(std::string(kSox) + " -n -r 22050 -c 1 -b 16 -e signed-integer '" + made +
                      "' synth 0.25 sine 660 vol 0.5"));
  ASSERT_TRUE(
      runTool(std::string(kSox) + " '" + made + "' -t raw -e signed-integer -b 16 '" + raw + "'"));
  const Bytes soxSamples = test::readBytes(raw);
  ASSERT_EQ(soxSamples.size(), 22050u / 4 * 2);
  f.sound.importWave(7, made);
  EXPECT_EQ(*f.sound.samples(7), soxSamples);

  // Exported again and decoded by sox, the same samples play back.
  const std::string back = f.dir.file("back.wav");
  const std::string backRaw = f.dir.file("back.raw");
  ASSERT_TRUE(f.sound.exportWave(7, back));
  ASSERT_TRUE(runTool(std::string(kSox) + " '" + back + "' -t raw '" + backRaw + "'"));
  EXPECT_EQ(test::readBytes(backRaw), soxSamples);
}

TEST(SoundWithSox, SoxEightBitAndFloatFilesAreRefused) {
  if (!haveSox()) GTEST_SKIP() << "sox is not installed";
  SoundFiles f;
  for (const std::string encoding : {"-b 8 -e unsigned-integer", "-b 32 -e floating-point"}) {
    const std::string made = f.dir.file("made.wav");
    ASSERT_TRUE(runTool(std::string(kSox) + " -n -r 22050 -c 1 " + encoding + " '" + made +
                        "' synth 0.1 sine 440"));
    EXPECT_THROW(f.sound.importWave(3, made), FormatError) << encoding;
    EXPECT_FALSE(f.sound.slotExists(3));
  }
}

// Files sox makes at other speeds would play too fast or too slow from a slot, and an empty one
// would be a silent sound: each is refused, saying what it holds and what a slot plays. The older
// export's header (2 channels at 11025 Hz, the same bytes per second) still imports.
TEST(SoundWithSox, OtherSpeedsAndEmptyFilesAreRefusedTheOlderHeaderImports) {
  if (!haveSox()) GTEST_SKIP() << "sox is not installed";
  SoundFiles f;
  const auto index = f.sound.files().records(0, f.sound.files().recordCount());
  const auto dataSize = f.sound.files().dataSize();
  const std::string made = f.dir.file("made.wav");
  const std::vector<std::pair<std::string, std::string>> refused = {
      {"-r 44100 -c 1", "holds 1 channel at 44100 Hz"},
      {"-r 11025 -c 1", "holds 1 channel at 11025 Hz"},
      {"-r 22050 -c 2", "holds 2 channels at 22050 Hz"},
  };
  for (const auto& [format, expected] : refused) {
    ASSERT_TRUE(runTool(std::string(kSox) + " -n " + format + " -b 16 -e signed-integer '" + made +
                        "' synth 0.1 sine 440"));
    try {
      f.sound.importWave(3, made);
      ADD_FAILURE() << "accepted " << format;
    } catch (const FormatError& e) {
      EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("1 channel at 22050 Hz"), std::string::npos);
    }
  }
  // "trim 0 0" leaves a wave file whose data chunk declares 0 bytes.
  ASSERT_TRUE(runTool(std::string(kSox) + " -n -r 22050 -c 1 -b 16 -e signed-integer '" + made +
                      "' trim 0 0"));
  try {
    f.sound.importWave(3, made);
    ADD_FAILURE() << "accepted a wave without samples";
  } catch (const FormatError& e) {
    EXPECT_NE(std::string(e.what()).find("holds no samples"), std::string::npos) << e.what();
  }
  EXPECT_EQ(f.sound.files().records(0, f.sound.files().recordCount()), index);
  EXPECT_EQ(f.sound.files().dataSize(), dataSize);

  const std::string raw = f.dir.file("made.raw");
  ASSERT_TRUE(runTool(std::string(kSox) + " -n -r 11025 -c 2 -b 16 -e signed-integer '" + made +
                      "' synth 0.1 sine 440"));
  ASSERT_TRUE(runTool(std::string(kSox) + " '" + made + "' -t raw '" + raw + "'"));
  f.sound.importWave(3, made);
  EXPECT_EQ(*f.sound.samples(3), test::readBytes(raw));
}
