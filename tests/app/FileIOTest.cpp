#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/IndexedFile.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> folderNames(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

bool isLink(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// Files may grow to `limit` bytes; a write beyond fails with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit {
public:
  explicit FileSizeLimit(rlim_t limit) {
    ::getrlimit(RLIMIT_FSIZE, &m_old);
    m_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lower = m_old;
    lower.rlim_cur = limit;
    ::setrlimit(RLIMIT_FSIZE, &lower);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &m_old);
    std::signal(SIGXFSZ, m_handler);
  }

private:
  rlimit m_old{};
  void (*m_handler)(int) = nullptr;
};

struct Pair {
  TempDir dir;
  std::string idx = dir.file("idx.mul");
  std::string mul = dir.file("data.mul");
  Bytes oldIndex = test::indexBytes({{0, 4, 1}});
  Bytes oldData = Bytes{1, 2, 3, 4};
  Pair() {
    test::writeBytes(idx, oldIndex);
    test::writeBytes(mul, oldData);
  }
};

// A pair of new contents saved over p's files by a child process that is killed (it leaves at
// once, as a killed process does: nothing is cleaned up) when the save reaches `step`.
IndexedFile changedPair(const Pair& p) {
  IndexedFile f;
  f.load(p.idx, p.mul, StorageMode::Memory);
  f.writeSlot(1, Bytes{9, 9, 9}, 2);
  return f;
}

void killSaveAt(const Pair& p, int step) {
  IndexedFile f = changedPair(p);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    setCommitStepHook([step](int at) {
      if (at == step) ::_exit(0);
    });
    try {
      f.save(p.idx, p.mul);
    } catch (...) {
    }
    ::_exit(1);  // the save ran to its end: the step was never reached
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0) << "the save did not reach step " << step;
}

Bytes newIndexOf(const Pair& p) { return test::indexBytes({{0, 4, 1}, {4, 3, 2}}); }
Bytes newDataOf(const Pair&) { return Bytes{1, 2, 3, 4, 9, 9, 9}; }

}  // namespace

TEST(FileIO, SavingOntoASymbolicLinkWritesThroughToItsTarget) {
  TempDir dir;
  fs::create_directories(dir.file("real"));
  fs::create_directories(dir.file("links"));
  test::writeBytes(dir.file("real/idx.mul"), Bytes{1});
  test::writeBytes(dir.file("real/data.mul"), Bytes{2});
  fs::create_symlink("../real/idx.mul", dir.file("links/idx.mul"));  // relative
  fs::create_symlink(dir.file("real/data.mul"), dir.file("links/data.mul"));

  writeFileAtomic(dir.file("links/idx.mul"), Bytes{7, 7});
  EXPECT_TRUE(isLink(dir.file("links/idx.mul")));
  EXPECT_EQ(test::readBytes(dir.file("real/idx.mul")), (Bytes{7, 7}));

  // A pair save through both links, the way the pages save.
  IndexedFile f;
  f.load(dir.file("links/idx.mul"), dir.file("links/data.mul"), StorageMode::Memory);
  f.writeSlot(0, Bytes{5, 6}, 0);
  ASSERT_TRUE(f.save(dir.file("links/idx.mul"), dir.file("links/data.mul")));
  EXPECT_TRUE(isLink(dir.file("links/idx.mul")));
  EXPECT_TRUE(isLink(dir.file("links/data.mul")));
  EXPECT_EQ(test::readBytes(dir.file("real/data.mul")), (Bytes{2, 5, 6}));
  EXPECT_EQ(test::readBytes(dir.file("real/idx.mul")), test::indexBytes({{1, 2, 0}}));
  EXPECT_EQ(folderNames(dir.file("real")), (std::vector<std::string>{"data.mul", "idx.mul"}));
  EXPECT_EQ(folderNames(dir.file("links")), (std::vector<std::string>{"data.mul", "idx.mul"}));

  // A link to a file that does not exist yet creates it where the link points.
  fs::create_symlink("../real/new.mul", dir.file("links/new.mul"));
  writeFileAtomic(dir.file("links/new.mul"), Bytes{3});
  EXPECT_TRUE(isLink(dir.file("links/new.mul")));
  EXPECT_EQ(test::readBytes(dir.file("real/new.mul")), Bytes{3});
}

TEST(FileIO, AFailedWriteSaysWhatFailedAndWhichFileAndKeepsTheOldFile) {
  TempDir dir;
  const std::string target = dir.file("art.mul");
  test::writeBytes(target, Bytes{1, 2, 3});
  {
    FileSizeLimit limit(64 * 1024);
    try {
      writeFileAtomic(target, Bytes(256 * 1024, 0xAB));
      FAIL() << "a write past the size limit succeeded";
    } catch (const FileError& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot create file " + target + ": File too large");
    }
  }
  EXPECT_EQ(test::readBytes(target), (Bytes{1, 2, 3}));
  EXPECT_EQ(folderNames(dir.path()), std::vector<std::string>{"art.mul"});

  // A missing file keeps the plain text; other reasons are named.
  try {
    readFile(dir.file("missing.mul"));
    FAIL();
  } catch (const FileError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + dir.file("missing.mul"));
  }
  try {
    readFile(dir.path());
    FAIL();
  } catch (const FileError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + dir.path() + ": Is a directory");
  }
  try {
    writeFileAtomic(dir.file("no/such/folder.mul"), Bytes{1});
    FAIL();
  } catch (const FileError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file " + dir.file("no/such/folder.mul") +
                                         ": No such file or directory");
  }
}

// A refused lock says who holds the file: another part of this program (a loaded model), or
// another program.
TEST(FileIO, ARefusedLockNamesWhoHoldsTheFile) {
  TempDir dir;
  test::writeBytes(dir.file("anim.mul"), Bytes{1});
  {
    OpenFile first(dir.file("anim.mul"));
    try {
      OpenFile second(dir.file("anim.mul"));
      FAIL();
    } catch (const FileError& e) {
      EXPECT_EQ(std::string(e.what()),
                "Cannot open file " + dir.file("anim.mul") +
                    ": another part of this program holds it open (a loaded file); save or "
                    "close it there first");
    }
  }
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  int release[2];
  ASSERT_EQ(::pipe(release), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Holds the lock until the test closes its end of the pipe (the child's copy of that end is
    // closed first, or the read would never see the pipe's end).
    ::close(release[1]);
    ::close(ready[0]);
    ::alarm(30);
    const int fd = ::open(dir.file("anim.mul").c_str(), O_RDWR);
    const bool locked = fd >= 0 && ::flock(fd, LOCK_EX) == 0;
    char c = locked ? 1 : 0;
    (void)!::write(ready[1], &c, 1);
    (void)!::read(release[0], &c, 1);
    ::_exit(0);
  }
  char locked = 0;
  ASSERT_EQ(::read(ready[0], &locked, 1), 1);
  ASSERT_EQ(locked, 1);
  try {
    OpenFile held(dir.file("anim.mul"));
    ADD_FAILURE();
  } catch (const FileError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + dir.file("anim.mul") +
                                         ": the file is in use by another program");
  }
  ::close(release[1]);
  ::waitpid(child, nullptr, 0);
  for (const int fd : {ready[0], ready[1], release[0]}) ::close(fd);
  // Denied access carries the system's reason.
  test::writeBytes(dir.file("locked.mul"), Bytes{1});
  fs::permissions(dir.file("locked.mul"), fs::perms::none);
  if (::geteuid() != 0) {
    try {
      OpenFile denied(dir.file("locked.mul"));
      ADD_FAILURE();
    } catch (const FileError& e) {
      EXPECT_EQ(std::string(e.what()),
                "Cannot open file " + dir.file("locked.mul") + ": Permission denied");
    }
  }
}

TEST(FileIO, AnIndexThatIsTheDataFileIsRefused) {
  Pair p;
  IndexedFile f;
  f.load(p.idx, p.mul, StorageMode::Memory);
  fs::create_symlink(p.mul, p.dir.file("alias.mul"));
  fs::create_hard_link(p.mul, p.dir.file("hard.mul"));
  Random random;
  Progress silent;
  for (const std::string& index :
       {p.mul, p.dir.file("alias.mul"), p.dir.file("hard.mul"), p.dir.file("./data.mul")}) {
    try {
      f.save(index, p.mul);
      FAIL() << index;
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()),
                "The index file and the data file must be two different files: " + index);
    }
    EXPECT_THROW(f.rebuild(index, p.mul, silent, random), Error);
  }
  // Neither existing yet, still one file.
  EXPECT_THROW(f.save(p.dir.file("new.mul"), p.dir.file("new.mul")), Error);
  EXPECT_THROW(f.rebuild(p.dir.file("new.mul"), p.dir.file("new.mul"), silent, random), Error);
  EXPECT_EQ(test::readBytes(p.mul), p.oldData);
  EXPECT_FALSE(fileExists(p.dir.file("new.mul")));

  // The same check guards every pair written together.
  AtomicFile a(p.dir.file("x.mul"));
  AtomicFile b(p.dir.file("x.mul"));
  EXPECT_THROW(commitAll({&a, &b}), Error);
}

TEST(FileIO, ARebuildOntoTheFilesHeldOpenIsRefused) {
  Pair p;
  IndexedFile f;
  f.load(p.idx, p.mul, StorageMode::LowMemory);
  Random random;
  Progress silent;
  try {
    f.rebuild(p.dir.file("new.idx"), p.mul, silent, random);
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()),
              p.mul +
                  " is held open by the loaded files (Low Memory mode); choose other files "
                  "as the targets. Nothing was written.");
  }
  EXPECT_THROW(f.rebuild(p.idx, p.dir.file("new.mul"), silent, random), Error);
  EXPECT_EQ(test::readBytes(p.mul), p.oldData);
  EXPECT_EQ(test::readBytes(p.idx), p.oldIndex);
  EXPECT_FALSE(fileExists(p.dir.file("new.idx")));
  f.rebuild(p.dir.file("new.idx"), p.dir.file("new.mul"), silent, random);
  EXPECT_TRUE(fileExists(p.dir.file("new.mul")));
}

// A pair save killed at each moment: the next load finds a whole pair, old or new, and says so
// when it had to finish the save.
TEST(FileIO, APairSaveKilledBetweenItsRenamesIsCompletedByTheNextLoad) {
  for (const int step : {1, 2}) {
    Pair p;
    killSaveAt(p, step);
    takeFileNotes();
    IndexedFile f;
    f.load(p.idx, p.mul, StorageMode::Memory);
    EXPECT_EQ(test::readBytes(p.idx), newIndexOf(p)) << step;
    EXPECT_EQ(test::readBytes(p.mul), newDataOf(p)) << step;
    EXPECT_EQ(*f.readSlot(1), (Bytes{9, 9, 9}));
    EXPECT_EQ(takeFileNotes(),
              std::vector<std::string>{"An earlier save of " + p.idx + " and " + p.mul +
                                       " stopped half-way; it has now been completed."});
    EXPECT_EQ(folderNames(p.dir.path()), (std::vector<std::string>{"data.mul", "idx.mul"}));
  }
}

TEST(FileIO, AKilledSaveWhoseNewFileIsMissingIsUndone) {
  Pair p;
  killSaveAt(p, 2);  // the index is renamed, the data still a temporary
  for (const auto& name : folderNames(p.dir.path()))
    if (name.rfind("data.mul.tmp", 0) == 0 && name.size() == 18) fs::remove(p.dir.file(name));
  takeFileNotes();
  IndexedFile f;
  f.load(p.idx, p.mul, StorageMode::LowMemory);
  EXPECT_EQ(test::readBytes(p.idx), p.oldIndex);
  EXPECT_EQ(test::readBytes(p.mul), p.oldData);
  const auto notes = takeFileNotes();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0], "An earlier save of " + p.idx + " and " + p.mul +
                          " stopped half-way and one of its new files is missing; the files were "
                          "put back as they were before it.");
  EXPECT_EQ(folderNames(p.dir.path()), (std::vector<std::string>{"data.mul", "idx.mul"}));
}

TEST(FileIO, ASaveFinishesAKilledSaveFirstAndRemovesItsLeftovers) {
  {
    // Killed between the renames: the next save of the same files completes it, then saves.
    Pair p;
    killSaveAt(p, 2);
    IndexedFile f;
    f.adopt(makeMemoryStream(test::indexBytes({{0, 1, 0}})), makeMemoryStream(Bytes{4}),
            StorageMode::Memory);
    takeFileNotes();
    f.save(p.idx, p.mul);
    EXPECT_EQ(takeFileNotes().size(), 1u);
    EXPECT_EQ(test::readBytes(p.idx), test::indexBytes({{0, 1, 0}}));
    EXPECT_EQ(folderNames(p.dir.path()), (std::vector<std::string>{"data.mul", "idx.mul"}));
  }
  {
    // Killed before its commit record: the old pair stands and the temporaries go at the next save.
    Pair p;
    killSaveAt(p, 0);
    EXPECT_GT(folderNames(p.dir.path()).size(), 2u);
    takeFileNotes();
    IndexedFile f = changedPair(p);
    EXPECT_EQ(test::readBytes(p.idx), p.oldIndex);
    EXPECT_TRUE(takeFileNotes().empty());
    f.save(p.idx, p.mul);
    EXPECT_EQ(test::readBytes(p.mul), newDataOf(p));
    EXPECT_EQ(folderNames(p.dir.path()), (std::vector<std::string>{"data.mul", "idx.mul"}));
  }
}

TEST(FileIO, AWriteBatchWritesNewFilesWholeAndFlushesAtTheEnd) {
  TempDir dir;
  WriteBatch batch;
  for (int i = 0; i < 20; ++i)
    batch.write(dir.file(std::to_string(i) + ".bmp"), Bytes(static_cast<std::size_t>(i), 1));
  batch.finish();
  EXPECT_EQ(batch.fileCount(), 20u);
  EXPECT_EQ(folderNames(dir.path()).size(), 20u);
  EXPECT_EQ(test::readBytes(dir.file("7.bmp")), Bytes(7, 1));
  EXPECT_THROW(batch.write(dir.file("none/1.bmp"), Bytes{1}), FileError);
}

// New files are written in place, existing ones replaced whole: a longer old file leaves no tail,
// keeps its permissions, and a link keeps pointing at the file it names.
TEST(FileIO, AWriteBatchReplacesExistingFilesWholeAndWritesThroughLinks) {
  TempDir dir;
  test::writeBytes(dir.file("old.txt"), Bytes(100, 7));
  ::chmod(dir.file("old.txt").c_str(), 0600);
  fs::create_directory(dir.file("real"));
  fs::create_symlink("real/new.txt", dir.file("dangling.txt"));
  WriteBatch batch;
  batch.write(dir.file("old.txt"), Bytes(3, 1));
  batch.write(dir.file("dangling.txt"), Bytes(4, 2));
  batch.finish();
  EXPECT_EQ(test::readBytes(dir.file("old.txt")), Bytes(3, 1));
  struct stat st {};
  ASSERT_EQ(::stat(dir.file("old.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_TRUE(fs::is_symlink(dir.file("dangling.txt")));
  EXPECT_EQ(test::readBytes(dir.file("real/new.txt")), Bytes(4, 2));
  EXPECT_EQ(folderNames(dir.path()), (std::vector<std::string>{"dangling.txt", "old.txt", "real"}));
}
