#include "registry/OpenFiles.h"

#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "app/FileIO.h"
#include "app/Progress.h"
#include "app/Uop.h"
#include "registry/Registry.h"
#include "sample/Sample.h"
#include "support/TestFiles.h"

namespace quillotide {
namespace {

using test::TempDir;
constexpr int kSide = sample::kSampleWorldSize;
constexpr OpenSize kSize{kSide, kSide};

// Answers with a script and counts the questions.
class Answers : public OpenFiles::Questions {
public:
  explicit Answers(OpenFiles::Answer a) : answer(a) {}
  OpenFiles::Answer unsavedEdits(const std::vector<std::string>& families,
                                 OpenFiles::Reason why) override {
    asked.push_back(families);
    reasons.push_back(why);
    return answer;
  }
  OpenFiles::Answer answer;
  std::vector<std::vector<std::string>> asked;
  std::vector<OpenFiles::Reason> reasons;
};

struct Client {
  TempDir dir;
  Client() {
    sample::writeSampleSet(dir.path());
    sample::writeUopForms(dir.path());
  }
  std::string file(const std::string& name) const { return dir.file(name); }
};

TEST(OpenFiles, ALoadOverUnsavedEditsAsksAndACancelKeepsThem) {
  Client c;
  Registry r;
  Answers cancel(OpenFiles::Answer::Cancel);
  OpenFiles& owner = r.openFiles();
  ASSERT_TRUE(owner.open("Hues", {c.file("hues.mul")}, {}, cancel).opened);
  r.hues->setHueName(3, "changed");
  EXPECT_TRUE(owner.unsaved("Hues"));
  EXPECT_FALSE(owner.open("Hues", {c.file("hues.mul")}, {}, cancel).opened);
  ASSERT_EQ(cancel.asked.size(), 1u);
  EXPECT_EQ(cancel.reasons[0], OpenFiles::Reason::Replace);
  EXPECT_EQ(r.hues->entry(3)->nameText(), "changed");

  Answers save(OpenFiles::Answer::Save);
  EXPECT_TRUE(owner.open("Hues", {c.file("hues.mul")}, {}, save).opened);
  EXPECT_EQ(r.hues->entry(3)->nameText(), "changed");  // saved first, then read again
  EXPECT_FALSE(owner.unsaved("Hues"));
}

TEST(OpenFiles, SaveAsUopOntoAnExistingContainerKeepsEveryOtherEntry) {
  Client c;
  const std::string container = c.file("MultiCollection.uop");
  constexpr std::uint64_t kHousing = 0x1122334455667788ULL;
  {
    UopContainer u = UopContainer::read(container);
    u.setPayload(kHousing, Bytes{1, 2, 3});
    u.save(container);
  }
  Registry r;
  Answers save(OpenFiles::Answer::Save);
  OpenFiles& owner = r.openFiles();
  ASSERT_TRUE(owner.open("Multis", {c.file("multi.idx"), c.file("multi.mul")}, {}, save).opened);
  r.multis->writeComponents(1, {MultiComponent(0x10, 0, 0, 0, 1)});
  Progress quiet;
  ASSERT_TRUE(owner.saveAs("Multis", {container, container}, true, save, quiet).ran);
  const UopContainer after = UopContainer::read(container);
  ASSERT_NE(after.find(kHousing), nullptr);
  EXPECT_EQ(after.payload(*after.find(kHousing)), (Bytes{1, 2, 3}));
  // The family is the container now, holding the edit.
  EXPECT_EQ(owner.opened("Multis")->form, FileForm::Container);
  TMulti check;
  check.loadUop(container);
  ASSERT_EQ(check.components(1).size(), 1u);
  EXPECT_EQ(check.components(1)[0].id, 0x10);
  EXPECT_EQ(check.components(0), r.multis->components(0));
}

TEST(OpenFiles, SaveAsMulOntoTheOpenMapKeepsLaterPatchesInTheFile) {
  Client c;
  Registry r;
  Answers save(OpenFiles::Answer::Save);
  OpenFiles& owner = r.openFiles();
  const std::string map = c.file("map0.mul");
  ASSERT_TRUE(owner.open("Map", {map}, kSize, save).opened);
  r.map->setTileId(3, 4, 0x55);
  Progress quiet;
  ASSERT_TRUE(owner.saveAs("Map", {map}, false, save, quiet).ran);
  r.map->setTileId(5, 6, 0x66);
  owner.save("Map", quiet);
  ASSERT_TRUE(owner.close("Map", save));  // the map holds its file locked
  TMap check;
  check.open(map, kSide, kSide);
  EXPECT_EQ(check.cell(3, 4)->tileId, 0x55);
  EXPECT_EQ(check.cell(5, 6)->tileId, 0x66);
}

TEST(OpenFiles, AToolTakesBackExactlyTheFilesItLetGo) {
  Client c;
  Registry r;
  Answers discard(OpenFiles::Answer::Discard);
  OpenFiles& owner = r.openFiles();
  ASSERT_TRUE(owner.open("Map", {c.file("map0.mul")}, kSize, discard).opened);
  ASSERT_TRUE(owner.open("Statics", {c.file("staidx0.mul"), c.file("statics0.mul")}, kSize,
                         discard)
                  .opened);
  std::vector<FileEvent> events;
  owner.subscribe([&](const std::string& id, FileEvent e) {
    if (id == "Map") events.push_back(e);
  });
  r.map->setTileId(1, 1, 0x33);
  const auto result = owner.runTool({{}, {c.file("map0.mul")}}, discard, [&] {
    // The map is let go: its file can be replaced.
    EXPECT_FALSE(r.map->isLoaded());
    TMap tool;
    tool.open(c.file("map0.mul"), kSide, kSide);
    tool.setTileId(2, 2, 0x77);
    tool.saveChangedBlocks();
  });
  ASSERT_TRUE(result.ran);
  EXPECT_EQ(discard.asked.size(), 1u);
  EXPECT_EQ(events, (std::vector<FileEvent>{FileEvent::Released, FileEvent::Reopened}));
  ASSERT_TRUE(r.map->isLoaded());
  EXPECT_EQ(r.map->path(), c.file("map0.mul"));
  EXPECT_EQ(r.map->width(), kSide);
  EXPECT_EQ(r.map->cell(2, 2)->tileId, 0x77);
  EXPECT_NE(r.map->cell(1, 1)->tileId, 0x33);  // discarded as answered
  EXPECT_TRUE(r.statics->isLoaded());            // not a holder: untouched
}

TEST(OpenFiles, AFreshArtInPlaceOfTheOldIsWhatTheWorldDrawsWith) {
  Client c;
  Registry r;
  Answers save(OpenFiles::Answer::Save);
  OpenFiles& owner = r.openFiles();
  ASSERT_TRUE(owner.open("Art", {c.file("artidx.mul"), c.file("art.mul")}, {}, save).opened);
  ASSERT_TRUE(owner.open("Statics", {c.file("staidx0.mul"), c.file("statics0.mul")}, kSize, save)
                  .opened);
  ASSERT_TRUE(owner.runTool({{}, {c.file("art.mul")}}, save, [] {}).ran);
  ASSERT_TRUE(owner.close("Art", save));
  // Adding a static looks up its art: the art freed by the close must not be used.
  EXPECT_NO_THROW(r.statics->add(0x10, 5, 5, 0, 0));
}

TEST(OpenFiles, SaveAsFromFilesHeldOpenWritesTheTargets) {
  Client c;
  TempDir other;
  Registry r;
  r.lowMemory = true;
  Answers save(OpenFiles::Answer::Save);
  OpenFiles& owner = r.openFiles();
  ASSERT_TRUE(owner.open("Art", {c.file("artidx.mul"), c.file("art.mul")}, {}, save).opened);
  ASSERT_EQ(owner.opened("Art")->form, FileForm::InPlace);
  r.art->importStatic(4, test::exactPicture(6, 6, 3));
  const Bytes edited = *r.art->staticData(4);
  Progress quiet;
  const auto targets = std::vector<std::string>{other.file("artidx.mul"), other.file("art.mul")};
  ASSERT_TRUE(owner.saveAs("Art", targets, false, save, quiet).ran);
  TArt check;
  check.load(targets[0], targets[1], StorageMode::Memory);
  EXPECT_EQ(*check.staticData(4), edited);
  EXPECT_EQ(owner.opened("Art")->paths, targets);
}

TEST(OpenFiles, AFolderStepClosesWhatItCannotOpenRatherThanKeepTheOldFiles) {
  Client a;
  TempDir b;
  sample::writeHues(b.path());
  test::writeBytes(b.file("tiledata.mul"), Bytes{1, 2, 3});  // damaged
  Registry r;
  Answers save(OpenFiles::Answer::Save);
  OpenFiles& owner = r.openFiles();
  ASSERT_TRUE(owner.open("Tiledata", {a.file("tiledata.mul")}, {}, save).opened);
  ASSERT_TRUE(owner.open("Art", {a.file("artidx.mul"), a.file("art.mul")}, {}, save).opened);
  const auto result = owner.apply({{"Hues", {b.file("hues.mul")}, {}},
                                   {"Tiledata", {b.file("tiledata.mul")}, {}},
                                   {"Art", {}, {}}},
                                  save);
  ASSERT_TRUE(result.ran);
  EXPECT_EQ(result.opened, std::vector<std::string>{"Hues"});
  EXPECT_EQ(result.closed, std::vector<std::string>{"Art"});
  ASSERT_EQ(result.failed.size(), 1u);
  EXPECT_EQ(result.failed[0].first, "Tiledata");
  EXPECT_FALSE(owner.isOpen("Tiledata"));
  EXPECT_FALSE(r.tiledata->isLoaded());
  EXPECT_FALSE(r.art->isLoaded());
}

TEST(OpenFiles, HoldersAreFoundByFileNotBySpelling) {
  Client c;
  Registry r;
  Answers save(OpenFiles::Answer::Save);
  OpenFiles& owner = r.openFiles();
  ASSERT_TRUE(owner.open("Hues", {c.file("hues.mul")}, {}, save).opened);
  const std::string link = c.file("other-name.mul");
  std::filesystem::create_symlink(c.file("hues.mul"), link);
  EXPECT_EQ(owner.holders({link}), std::vector<std::string>{"Hues"});
  EXPECT_EQ(owner.holders({c.dir.path() + "/./hues.mul"}), std::vector<std::string>{"Hues"});
  EXPECT_TRUE(owner.holders({c.file("art.mul")}).empty());
}

// The text families and the multimap open, compare and save through the owner as every other
// family does: nothing unsaved after a load, an edit is unsaved until saved, a save writes the
// edit and an unchanged save gives the sample's bytes back.
TEST(OpenFiles, TheTextFamiliesAndTheMultimapOpenAndSaveThroughTheOwner) {
  Client c;
  Registry r;
  Answers discard(OpenFiles::Answer::Discard);
  OpenFiles& owner = r.openFiles();
  Progress silent;
  struct Case {
    std::string id;
    std::vector<std::string> files;
    std::function<void()> edit;
  };
  const std::vector<Case> cases = {
      {"Cliloc", {"Cliloc.enu"}, [&] { r.cliloc->setText(0, "changed"); }},
      {"Fonts", {"fonts.mul"}, [&] { r.fonts->setPicture(0, 'A', Bitmap32(3, 4, 0xFFFFFFFF)); }},
      {"Unifont", {"unifont.mul"}, [&] { r.unifont->setOffsets(U'A', 1, -2); }},
      {"Skills", {"skills.idx", "skills.mul"}, [&] { r.skills->setName(1, "Anatomie"); }},
      {"SkillGroups", {"skillgrp.mul"}, [&] { r.skillGroups->renameGroup(1, "Kampf"); }},
      {"Speech", {"speech.mul"}, [&] { r.speech->setText(1, "*hi*"); }},
      {"Multimap", {"Multimap.rle"}, [&] {
         Bitmap32 p = r.multimap->picture();
         p.at(0, 0) = p.at(0, 0) == 0xFF000000 ? 0xFFFFFFFF : 0xFF000000;
         r.multimap->setPicture(p);
       }},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.id);
    std::vector<std::string> paths;
    std::vector<Bytes> before;
    for (const std::string& f : k.files) {
      paths.push_back(c.file(f));
      before.push_back(readFile(c.file(f)));
    }
    const OpenFiles::OpenResult opened = owner.open(k.id, paths, {}, discard);
    ASSERT_TRUE(opened.opened);
    // The sample's files are whole: nothing to report on their load.
    EXPECT_FALSE(opened.said) << *opened.said;
    EXPECT_FALSE(owner.unsaved(k.id));
    owner.save(k.id, silent);
    for (std::size_t i = 0; i < paths.size(); ++i) EXPECT_EQ(readFile(paths[i]), before[i]);
    k.edit();
    EXPECT_TRUE(owner.unsaved(k.id));
    owner.save(k.id, silent);
    EXPECT_FALSE(owner.unsaved(k.id));
    bool changed = false;
    for (std::size_t i = 0; i < paths.size(); ++i) changed = changed || readFile(paths[i]) != before[i];
    EXPECT_TRUE(changed);
  }
  EXPECT_EQ(r.cliloc->entry(0).text, "changed");
  for (const auto* problems :
       {&r.cliloc->problems(), &r.fonts->problems(), &r.unifont->problems(),
        &r.skills->problems(), &r.skillGroups->problems(), &r.speech->problems(),
        &r.multimap->problems()})
    EXPECT_TRUE(problems->empty()) << problems->front();
  EXPECT_EQ(r.fonts->fontCount(), 3u);
  EXPECT_EQ(r.speech->sections().size(), 2u);
  EXPECT_EQ(r.skillGroups->groupCount(), 4u);
  EXPECT_EQ(r.multimap->width(), sample::kSampleWorldSize);
  ASSERT_TRUE(owner.close("Cliloc", discard));
  EXPECT_FALSE(r.cliloc->isLoaded());
}

}  // namespace
}  // namespace quillotide
