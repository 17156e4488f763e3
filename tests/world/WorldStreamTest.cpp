// Why a world file cannot be opened: the stream's messages carry the system's reason, and a lock
// held by the loaded map is named as this program's own.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
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
