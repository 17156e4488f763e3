#pragma once
// File access for the whole core. Whole-file reads, whole-or-nothing writes (write beside the
// target, then rename), and an open file for the low-memory and direct storage modes.
// Every failure throws FileError with the file layer's texts "Cannot open file %s" and
// "Cannot create file %s", followed by the system's reason (": No space left on device") when
// there is more to say than that the file is missing.
//
// A target that is a symbolic link is written through: the new file goes beside the file the link
// names and replaces it there, so the link stays a link.

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "app/Bytes.h"

namespace quillotide {

// Throw FileError with the file layer's text and the system's reason for errno `err`
// ("Cannot open file %s: Permission denied"); opening a missing file (ENOENT) or err 0 gives the
// bare text. A lock refused because another part of this program holds the file says so.
[[noreturn]] void throwCannotOpen(const std::string& path, int err);
[[noreturn]] void throwCannotCreate(const std::string& path, int err);
// As throwCannotCreate, for a write refused while descriptor `ownFd` of the writer itself holds
// the file: that descriptor is not taken for the holder.
[[noreturn]] void throwCannotCreate(const std::string& path, int err, int ownFd);

// Locks of a file held open, taken without waiting: any number of readers share a file (Shared),
// a writer holds it alone (Exclusive). Taking the other kind converts the lock the descriptor
// holds. Returns 0, or the system's reason (EWOULDBLOCK: another descriptor is in the way).
enum class FileLock { Shared, Exclusive };
int lockFile(int fd, FileLock lock);

// Reads up to n bytes at offset from an open file, going on after interrupted and short reads.
// Returns how many were read: fewer only at the end of the file or on an error, when `err` holds
// the system's reason (else 0).
std::size_t readAt(int fd, std::uint8_t* dst, std::size_t n, std::uint64_t offset, int& err);
// Writes every byte at offset into an open file; throws "Cannot create file %s" naming `path`
// with the reason when the system refuses or the disk is full.
void writeAt(int fd, const std::string& path, std::span<const std::uint8_t> bytes,
             std::uint64_t offset);

bool fileExists(const std::string& path);
// Size in bytes; throws "Cannot open file %s" when the file cannot be examined.
std::uint64_t fileSize(const std::string& path);
// Reads the whole file.
Bytes readFile(const std::string& path);
// Replaces the file whole or not at all: the bytes go to a file beside it, which is then renamed
// over the target. On failure the target keeps its old content and the partial file is removed.
void writeFileAtomic(const std::string& path, std::span<const std::uint8_t> bytes);

// A file being written beside its target. commit() renames it into place; destroying an
// uncommitted AtomicFile removes the partial file. A file that replaces a game file is flushed to
// the disk before its rename (Flush::BeforeRename); a new file of an export is not (Flush::Later,
// see WriteBatch). A flushed write also removes the temporaries that an earlier, killed save of
// the same target left beside it.
class AtomicFile {
public:
  enum class Flush { BeforeRename, Later };
  explicit AtomicFile(std::string target, Flush flush = Flush::BeforeRename);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  void write(std::span<const std::uint8_t> bytes);
  // Appends n bytes of the open file `fd` (named `fromPath` in messages) from `offset`, copied in
  // the kernel where the file systems allow. Returns how many were copied: fewer only when the
  // file ends before them. Throws FileError as write does, or naming `fromPath` when it cannot be
  // read.
  std::uint64_t copyFrom(int fd, const std::string& fromPath, std::uint64_t offset,
                         std::uint64_t n);
  std::uint64_t size() const { return m_size; }
  // Has the kernel begin writing what was written so far to the disk, without waiting for it, so
  // that the flush in finish() has less left to wait for. For files whose bytes arrive slowly.
  void startWriteback();
  // Flushes and closes the temporary file; the target is still untouched.
  void finish();
  // finish() if needed, then renames over the target.
  void commit();
  // The path as given (used in messages) and the file it really replaces (links followed).
  const std::string& target() const { return m_target; }
  const std::string& realTarget() const { return m_real; }
  const std::string& tempPath() const { return m_temp; }

private:
  std::string m_target;
  std::string m_real;
  std::string m_temp;
  Flush m_flush;
  int m_fd = -1;
  std::uint64_t m_size = 0;
  std::vector<std::uint8_t> m_buffer;
  bool m_committed = false;
  void flushBuffer();
};

// Writes several files so that each is replaced whole and together: all are written beside their
// targets first, and only when every one is complete are they renamed into place. Before the first
// rename a commit record ("<first target>.commit") names the finished temporaries; it is removed
// after the last, so a save killed between the renames is completed (or undone) by the next load
// or save of the files (see recoverInterruptedSave). Throws Error when two files have the same
// target, FileError when a file cannot be written; the targets then keep their old contents.
void commitAll(std::vector<AtomicFile*> files);

// For tests that kill a pair save at a chosen moment: called by commitAll once the temporaries
// are finished (step 0), after its commit record is written (step 1) and after each rename
// (steps 2, 3, ...). Empty in the program.
void setCommitStepHook(std::function<void(int step)> hook);

// Looks for the commit record of a pair save that was killed between its renames, beside each of
// the paths. Where one is found the save is finished: the renames it had left are done or, when a
// temporary it names is missing, the old files are put back. Either way the files are then a
// whole pair again, the record is removed and a note is added (see takeFileNotes) saying what was
// done. Throws FileError when a rename fails (the record stays for the next attempt).
void recoverInterruptedSave(const std::vector<std::string>& paths);

// Notes the core has for the user without failing the action (an interrupted save completed, ...).
// The UI shows them after the action that caused them; the CLI prints them to stderr. A note
// already waiting is not added twice.
void addFileNote(std::string note);
std::vector<std::string> takeFileNotes();

// The path a write of `path` replaces: symbolic links followed to the file they name (which need
// not exist yet). Other paths are returned unchanged.
std::string resolveTarget(const std::string& path);
// True when the two paths lead to the same file, whether it exists yet or not.
bool sameTarget(const std::string& a, const std::string& b);
// Throws Error when the index and data targets of a pair are the same file: the second write would
// replace the first and leave a pair of one file.
void requireDistinctTargets(const std::string& indexPath, const std::string& dataPath);

// The new files of one export or extraction job. A file that does not exist yet is written in
// place; one that exists is replaced whole (written beside it and renamed). None is flushed on
// its own: finish() flushes them all at once. A job killed half-way loses only its own files, which the user writes again; game files
// a save replaces never go through a WriteBatch. Throws FileError as writeFileAtomic does.
class WriteBatch {
public:
  WriteBatch() = default;
  WriteBatch(const WriteBatch&) = delete;
  WriteBatch& operator=(const WriteBatch&) = delete;

  void write(const std::string& path, std::span<const std::uint8_t> bytes);
  // Flushes every file written so far to the disk (once per file system).
  void finish();
  std::size_t fileCount() const { return m_files; }

private:
  std::set<std::uint64_t> m_devices;
  std::vector<std::string> m_folders;  // one folder per device in m_devices
  std::string m_lastFolder;            // the folder of the last file, its device already known
  std::size_t m_files = 0;
};

// A file opened in place for reading and writing, held with an exclusive lock, for the storage
// modes that write every change at once.
class OpenFile {
public:
  // Opens an existing file for reading and writing; throws "Cannot open file %s".
  explicit OpenFile(const std::string& path);
  ~OpenFile();
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;

  std::uint64_t size() const { return m_size; }
  // Reads exactly n bytes at offset; throws FormatError when the range lies outside the file.
  void read(std::uint64_t offset, std::uint8_t* dst, std::size_t n) const;
  Bytes read(std::uint64_t offset, std::size_t n) const;
  void write(std::uint64_t offset, std::span<const std::uint8_t> bytes);
  const std::string& path() const { return m_path; }
  // Device and inode, to recognise the same file under another name.
  std::pair<std::uint64_t, std::uint64_t> identity() const;

private:
  std::string m_path;
  int m_fd = -1;
  std::uint64_t m_size = 0;
};

// True when both paths name the same existing file.
bool sameFile(const std::string& a, const std::string& b);
// The directory that holds the running executable (ends without a separator).
std::string executableDir();
std::string joinPath(const std::string& dir, const std::string& name);

}  // namespace quillotide
