// Why a world file cannot be opened: the stream's messages carry the system's reason, and a lock
// held by the loaded map is named as this program's own; the map shares its file with readers.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/Error.h"
#include "support/TestFiles.h"
#include "support/WorldFiles.h"
#include "world/Map.h"
#include "world/WorldStream.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

std::string failureOf(const std::function<void()>& open) {
  try {
    open();
  } catch (const FileError& e) {
    return e.what();
  }
  return "(opened)";
}

}  // namespace

TEST(WorldStream, AFileThatCannotBeOpenedSaysWhy) {
  TempDir dir;
  const std::string map = dir.file("map0.mul");
  test::writeBytes(map, test::makeMapBytes(8, 8, [](int, int) { return test::CellSpec{}; }));
  TMap loaded;
  (void)loaded.open(map, 8, 8);
  ASSERT_TRUE(loaded.isLoaded());
  EXPECT_EQ(failureOf([&] { (void)WorldStream::openFile(map); }),
            "Cannot open file " + map +
                ": another part of this program holds it open (a loaded file); save or close it "
                "there first");
  // A reader beside the program is not refused.
  EXPECT_EQ(WorldStream::openForReading(map)->size(), 196u);

  std::filesystem::create_directories(dir.file("folder.mul"));
  for (const auto& open : {WorldStream::openFile, WorldStream::openForReading})
    EXPECT_EQ(failureOf([&] { (void)open(dir.file("folder.mul")); }),
              "Cannot open file " + dir.file("folder.mul") + ": Is a directory");
  // A missing file needs no reason.
  EXPECT_EQ(failureOf([&] { (void)WorldStream::openFile(dir.file("none.mul")); }),
            "Cannot open file " + dir.file("none.mul"));
}

// A loaded map only reads its file until it saves: readers (the command line, a second model)
// open it beside it, and a save takes the file alone for its write, refused while a reader holds
// it, naming who does.
TEST(WorldStream, AMapIsSharedWithReadersAndTakenAloneOnlyToWrite) {
  TempDir dir;
  const std::string path = dir.file("map0.mul");
  test::writeBytes(path, test::makeMapBytes(8, 8, [](int, int) { return test::CellSpec{}; }));
  auto held = std::make_unique<TMap>();
  (void)held->open(path, 8, 8);
  TMap reader;
  ASSERT_EQ(failureOf([&] { (void)reader.open(path, 8, 8); }), "(opened)");
  EXPECT_EQ(reader.cell(3, 3)->tileId, 0);

  reader.setTileId(3, 3, 0x44);
  EXPECT_EQ(failureOf([&] { (void)reader.saveChangedBlocks(); }),
            "Cannot create file " + path +
                ": another part of this program holds it open (a loaded file); save or close it "
                "there first");
  held.reset();
  ASSERT_EQ(reader.saveChangedBlocks(), 1);
  EXPECT_EQ(loadU16(test::readBytes(path).data() + 4 + 3 * (3 * 8 + 3)), 0x44);

  // Another program reading the file: the save says so, and the map stays open and shared.
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  int release[2];
  ASSERT_EQ(::pipe(release), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(release[1]);
    ::close(ready[0]);
    ::alarm(30);
    const int fd = ::open(path.c_str(), O_RDONLY);
    char c = fd >= 0 && ::flock(fd, LOCK_SH) == 0 ? 1 : 0;
    (void)!::write(ready[1], &c, 1);
    (void)!::read(release[0], &c, 1);
    ::_exit(0);
  }
  char locked = 0;
  ASSERT_EQ(::read(ready[0], &locked, 1), 1);
  ASSERT_EQ(locked, 1);
  reader.setTileId(4, 4, 0x55);
  EXPECT_EQ(failureOf([&] { (void)reader.saveChangedBlocks(); }),
            "Cannot create file " + path + ": the file is in use by another program");
  ::close(release[1]);
  ::waitpid(child, nullptr, 0);
  for (const int fd : {ready[0], ready[1], release[0]}) ::close(fd);
  EXPECT_EQ(reader.saveChangedBlocks(), 1);
  EXPECT_EQ(loadU16(test::readBytes(path).data() + 4 + 3 * (4 * 8 + 4)), 0x55);
  // A writer of the file in place is still refused while the map holds it.
  EXPECT_EQ(failureOf([&] { (void)WorldStream::openFile(path); }),
            "Cannot open file " + path +
                ": another part of this program holds it open (a loaded file); save or close it "
                "there first");
}
