// The text families, the fonts and the multimap against the client's own files: what is known of
// them, figure by figure. The files are not part of the project; point QUILLOTIDE_CLIENT_FILES at
// a folder holding any of them (found by name and told apart by size), and every file there that
// is one of the known ones is checked. Without the variable each test says what it skipped.
//
//   QUILLOTIDE_CLIENT_FILES=/games/uo build/ci/tests/core_tests --gtest_filter='ClientTextFiles*'

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "app/FileIO.h"
#include "models/Cliloc.h"
#include "models/Fonts.h"
#include "models/Multimap.h"
#include "models/Skills.h"
#include "models/Speech.h"
#include "models/Unifont.h"
#include "support/TestFiles.h"

using namespace quillotide;

namespace {

// The files of the folder named by the variable, by their lower-case name, that have `bytes`.
std::vector<std::string> clientFiles(const std::string& lowerName, std::uint64_t bytes) {
  const char* folder = std::getenv("QUILLOTIDE_CLIENT_FILES");
  std::vector<std::string> found;
  if (!folder) return found;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
    std::string name = e.path().filename().string();
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (name == lowerName && e.is_regular_file() && e.file_size() == bytes)
      found.push_back(e.path().string());
  }
  return found;
}

// sha1sum, an independent reader of the bytes.
std::string sha1(const Bytes& bytes) {
  test::TempDir dir;
  writeFileAtomic(dir.file("b"), bytes);
  const std::string out = dir.file("sum");
  if (std::system(("sha1sum " + dir.file("b") + " > " + out).c_str()) != 0) return "sha1sum failed";
  return test::readText(out).substr(0, 40);
}

std::string glyphRow(const UniGlyph& g, int y) {
  std::string row;
  for (int x = 0; x < g.width; ++x) row += g.ink(x, y) ? '#' : '.';
  return row;
}

#define SKIP_WITHOUT(files, what) \
  if ((files).empty()) GTEST_SKIP() << "no " << (what) << " in QUILLOTIDE_CLIENT_FILES"

}  // namespace

TEST(ClientTextFiles, Fonts) {
  const auto files = clientFiles("fonts.mul", 884909);
  SKIP_WITHOUT(files, "fonts.mul of 884,909 bytes");
  const Bytes bytes = readFile(files.front());
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 4), (Bytes{1, 6, 20, 4}));
  TFonts fonts;
  fonts.loadBytes(bytes);
  ASSERT_EQ(fonts.fontCount(), 10u);
  EXPECT_EQ(fonts.trailer().size(), 143u);
  EXPECT_EQ(sha1(fonts.trailer()), "dab69772a4d63e2ad0446c96f1342464ea987314");
  struct Vector {
    std::size_t font;
    int code, w, h, third;
    const char* sum;
  };
  for (const Vector& v : {Vector{0, 0x20, 6, 20, 4, "de0e7c9e496fdd650fd8ab826e84b256eeb85812"},
                          Vector{0, 'A', 14, 21, 4, "16c916823d403ff09f1f07eea080a0761f7bb06e"},
                          Vector{1, 'A', 9, 15, 4, "7ec2bdc63484acc88b60db0e370ee3a44dac09d4"},
                          Vector{3, 'A', 12, 21, 4, "dfe9c2af16f1d2bdf621ead51db4ae3a4191f59c"},
                          Vector{5, 'A', 15, 25, 5, "5ee2df91b8bb19221fbd9e43a02da68a12676fbc"},
                          Vector{8, 'A', 10, 21, 4, "ef318786165653b38fa7401002c41bc584b22161"}}) {
    SCOPED_TRACE(testing::Message() << "font " << v.font << " char " << v.code);
    const FontChar& c = fonts.character(v.font, v.code);
    EXPECT_EQ(c.width, v.w);
    EXPECT_EQ(c.height, v.h);
    EXPECT_EQ(c.third, v.third);
    Bytes pixels;
    for (std::uint16_t p : c.pixels) {
      pixels.push_back(static_cast<std::uint8_t>(p));
      pixels.push_back(static_cast<std::uint8_t>(p >> 8));
    }
    EXPECT_EQ(sha1(pixels), v.sum);
  }
  EXPECT_EQ(fonts.bytes(), bytes);
}

TEST(ClientTextFiles, UnicodeFonts) {
  struct Known {
    std::string name;
    std::uint64_t bytes;
    std::size_t present;
    int aWidth, aHeight;
  };
  int checked = 0;
  for (const Known& k : {Known{"unifont.mul", 1435292, 36349, 10, 12},
                         Known{"unifont1.mul", 1433138, 36349, 7, 10},
                         Known{"unifont2.mul", 1432849, 36347, 5, 10}}) {
    for (const std::string& path : clientFiles(k.name, k.bytes)) {
      SCOPED_TRACE(path);
      ++checked;
      const Bytes bytes = readFile(path);
      TUnifont font;
      font.loadBytes(bytes);
      EXPECT_EQ(font.glyphs().size(), k.present);
      EXPECT_FALSE(font.has(U' '));
      EXPECT_EQ(font.glyphs().begin()->first, U'\x21');
      EXPECT_EQ(font.glyphs().rbegin()->first, U'\xFFE5');
      const UniGlyph& a = font.glyph(U'A');
      EXPECT_EQ(a.xOffset, 0);
      EXPECT_EQ(a.yOffset, 4);
      EXPECT_EQ(a.width, k.aWidth);
      EXPECT_EQ(a.height, k.aHeight);
      if (k.name == "unifont.mul") {
        EXPECT_EQ(loadU32(bytes.data() + 0x104), 0x40208u);
        EXPECT_EQ(glyphRow(a, 0), "....######");
        const UniGlyph& small = font.glyph(U'a');
        EXPECT_EQ((std::array<int, 4>{small.xOffset, small.yOffset, small.width, small.height}),
                  (std::array<int, 4>{0, 8, 6, 6}));
        const UniGlyph& tilde = font.glyph(U'~');
        EXPECT_EQ((std::array<int, 4>{tilde.xOffset, tilde.yOffset, tilde.width, tilde.height}),
                  (std::array<int, 4>{0, 0, 6, 2}));
        EXPECT_EQ(font.glyph(U'Z').xOffset, -1);
      }
      EXPECT_EQ(font.bytes(), bytes);
    }
  }
  if (checked == 0) GTEST_SKIP() << "no known unifont*.mul in QUILLOTIDE_CLIENT_FILES";
}

TEST(ClientTextFiles, SkillsAndGroups) {
  int checked = 0;
  // The Spanish pair: 256 entries, 58 used, in index order.
  const auto idx = clientFiles("skills.idx", 3072);
  const auto mul = clientFiles("skills.mul", 776);
  if (!idx.empty() && !mul.empty()) {
    ++checked;
    TSkills skills;
    skills.load(idx.front(), mul.front());
    ASSERT_EQ(skills.size(), 256u);
    int used = 0, flagged = 0;
    for (std::size_t i = 0; i < skills.size(); ++i) {
      used += skills.skill(i).used;
      flagged += skills.skill(i).used && skills.skill(i).flag == 1;
    }
    EXPECT_EQ(used, 58);
    EXPECT_EQ(flagged, 21);
    EXPECT_EQ(skills.skill(0).name, "Alquimia");
    EXPECT_EQ(skills.skill(0).flag, 0);
    EXPECT_EQ(skills.skill(1).name, "Anatomia");
    EXPECT_EQ(skills.skill(1).flag, 1);
    EXPECT_EQ(skills.skill(57).name, "Armas Arrojadizas");
    EXPECT_EQ(skills.indexBytes(), readFile(idx.front()));
    EXPECT_EQ(skills.dataBytes(), readFile(mul.front()));
  }
  // The English data file alone, record after record.
  for (const std::string& path : clientFiles("skills.mul", 704)) {
    ++checked;
    TSkills skills;
    skills.loadDataOnly(readFile(path));
    ASSERT_EQ(skills.size(), 58u);
    EXPECT_EQ(skills.skill(0).name, "Alchemy");
    EXPECT_EQ(skills.skill(25).name, "Magery");
    int flagged = 0;
    for (std::size_t i = 0; i < skills.size(); ++i) flagged += skills.skill(i).flag == 1;
    EXPECT_EQ(flagged, 24);
  }
  struct Groups {
    std::uint64_t bytes;
    std::vector<std::string> names;
    std::size_t skills;
  };
  for (const Groups& g :
       {Groups{343, {"Bard", "Crafter", "Mage", "Ranger", "Thief", "Warrior", "Not Used"}, 55},
        Groups{338, {"Combat", "Trade Skills", "Magic", "Wilderness", "Thieving", "Bard"}, 58}}) {
    for (const std::string& path : clientFiles("skillgrp.mul", g.bytes)) {
      ++checked;
      TSkillGroups groups;
      groups.load(path);
      ASSERT_EQ(groups.groupCount(), g.names.size() + 1);
      EXPECT_EQ(groups.groupName(0), "");
      for (std::size_t n = 0; n < g.names.size(); ++n) EXPECT_EQ(groups.groupName(n + 1), g.names[n]);
      EXPECT_EQ(groups.table().size(), g.skills);
      if (g.bytes == 343) {
        EXPECT_EQ(std::vector<std::int32_t>(groups.table().begin(), groups.table().begin() + 5),
                  (std::vector<std::int32_t>{3, 6, 4, 3, 2}));
      }
      EXPECT_EQ(groups.bytes(), readFile(path));
    }
  }
  if (checked == 0) GTEST_SKIP() << "no known skills or skill groups in QUILLOTIDE_CLIENT_FILES";
}

TEST(ClientTextFiles, Speech) {
  const auto files = clientFiles("speech.mul", 119714);
  SKIP_WITHOUT(files, "speech.mul of 119,714 bytes");
  const Bytes bytes = readFile(files.front());
  TSpeech speech;
  speech.loadBytes(bytes);
  ASSERT_EQ(speech.size(), 6125u);
  EXPECT_EQ(speech.entry(0).id, 0);
  EXPECT_EQ(speech.entry(0).text, "*\xE6\x8F\x90\xE9\xA0\x98*");  // *提領*
  EXPECT_EQ(speech.entry(654).id, 2);
  EXPECT_EQ(speech.entry(654).text, "*bank*");
  EXPECT_EQ(speech.entry(1294).text, "*bank*");
  EXPECT_EQ(speech.entriesOfId(2).size(), 9u);
  EXPECT_EQ(speech.entry(6124).id, 512);
  EXPECT_EQ(speech.entry(6124).text, "\xE3\x81\xB0\xE3\x82\x8A\xE3\x81\x82*");  // ばりあ*
  EXPECT_EQ(speech.sections().size(), 17u);
  int empty = 0;
  for (const SpeechEntry& e : speech.entries()) empty += e.text.empty();
  EXPECT_EQ(empty, 12);
  EXPECT_EQ(speech.bytes(), bytes);
}

TEST(ClientTextFiles, Multimaps) {
  int checked = 0;
  for (const std::string& path : clientFiles("multimap.rle", 320056)) {
    ++checked;
    TMultimap map;
    map.load(path);
    EXPECT_EQ(map.layout(), MultimapLayout::Monochrome);
    EXPECT_EQ(map.width(), 2560);
    EXPECT_EQ(map.height(), 2048);
    EXPECT_EQ(map.pixelsOn(), 399686);
    const Bitmap32 picture = map.picture();
    Bytes bits(picture.pixels.size());
    for (std::size_t i = 0; i < bits.size(); ++i) bits[i] = picture.pixels[i] == makePixel(0, 0, 0);
    EXPECT_EQ(sha1(bits), "817ab289b69b5244379b99f8c1b6723bd5361d1a");
    EXPECT_EQ(bits[1185], 1);
    EXPECT_EQ(std::count(bits.begin(), bits.begin() + 1185, 1), 0);
    EXPECT_EQ(map.bytes(), readFile(path));
  }
  for (const std::string& path : clientFiles("multimap.rle", 78999)) {
    ++checked;
    TMultimap map;
    map.load(path);
    EXPECT_EQ(map.layout(), MultimapLayout::Colour);
    EXPECT_EQ(map.width(), 896);
    EXPECT_EQ(map.height(), 512);
    EXPECT_EQ(map.colourCount(), 15);
    EXPECT_EQ(map.bytes(), readFile(path));
  }
  if (checked == 0) GTEST_SKIP() << "no known Multimap.rle in QUILLOTIDE_CLIENT_FILES";
}

TEST(ClientTextFiles, Clilocs) {
  int checked = 0;
  for (const std::string& path : clientFiles("cliloc.enu", 3764293)) {
    ++checked;
    const Bytes bytes = readFile(path);
    TCliloc c;
    c.loadBytes(bytes);
    EXPECT_TRUE(c.problems().empty());
    ASSERT_EQ(c.size(), 117727u);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 13),
              (Bytes{2, 0, 0, 0, 1, 0, 0x20, 0xA1, 7, 0, 0, 0x1E, 0}));
    EXPECT_EQ(c.entry(0).text, "Reputation aversion triggered.");
    EXPECT_EQ(c.entry(1).number, 500001);
    EXPECT_EQ(c.entry(1).text, "I have no reaction to you.");
    EXPECT_EQ(c.entry(*c.find(1042971)).text, "~1_NOTHING~");
    EXPECT_EQ(c.entry(*c.find(1060658)).text, "~1_val~: ~2_val~");
    EXPECT_EQ(c.entries().back().number, 3011032);
    EXPECT_EQ(c.entries().back().text, "what");
    EXPECT_EQ(c.entry(*c.find(1042824)).text,
              "I\xE2\x80\x99m looking to go to the Alchemist's shop. Will you take me?");
    EXPECT_EQ(c.entry(*c.find(1157067)).text.size(), 12150u);
    int tabs = 0;
    for (const TClilocEntry& e : c.entries()) tabs += e.text.find('\t') != std::string::npos;
    EXPECT_EQ(tabs, 58);
    EXPECT_EQ(c.bytes(), bytes);
  }
  const char* kPortuguese = "Avers\xC3\xA3o de reputa\xC3\xA7\xC3\xA3o acionada.";
  struct Other {
    std::string name;
    std::uint64_t bytes;
    std::int32_t number;
    const char* text;  // nullptr: the number is absent
  };
  for (const Other& o : {Other{"cliloc.cht", 1982924, 500000, "\xE8\x81\xB2\xE8\xAD\xBD\xE5\x96\x9C\xE5\xA5\xBD\xE5\x88\x87\xE6\x8F\x9B"},
                         Other{"cliloc.kor", 3837589, 500000, "\xED\x8F\x89\xED\x8C\x90\xEC\x9D\xB4 \xED\x95\x98\xEB\x9D\xBD\xEB\x90\x98\xEC\x97\x88\xEC\x8A\xB5\xEB\x8B\x88\xEB\x8B\xA4."},
                         Other{"cliloc.esp", 678122, 500000, "Provocada aversi\xC3\xB3n a- la reputaci\xC3\xB3n"},
                         Other{"cliloc.fra", 722665, 500000, "Reputation aversion triggered."},
                         Other{"cliloc.deu", 706377, 500000, nullptr},
                         Other{"cliloc.deu", 706377, 500004, "Besch\xC3\xA4" "ftigt, wandere herum."},
                         Other{"cliloc.chs", 30364, 500000, nullptr},
                         Other{"cliloc.ptb", 2918001, 500000, kPortuguese},
                         Other{"cliloc.ptb", 2918119, 500000, kPortuguese}}) {
    for (const std::string& path : clientFiles(o.name, o.bytes)) {
      SCOPED_TRACE(path);
      ++checked;
      TCliloc c;
      c.load(path);
      const auto at = c.find(o.number);
      if (!o.text) {
        EXPECT_FALSE(at);
        continue;
      }
      ASSERT_TRUE(at);
      EXPECT_EQ(c.entry(*at).text, o.text);
      EXPECT_EQ(c.bytes(), readFile(path));
    }
  }
  if (checked == 0) GTEST_SKIP() << "no known cliloc file in QUILLOTIDE_CLIENT_FILES";
}
