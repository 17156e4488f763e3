#include "app/FileIO.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>

#include "app/Text.h"

namespace quillotide {

namespace {

// Whether a descriptor of this process has the file open. A lock refused while one does was
// taken by another part of the program (a loaded model), not by another program.
bool openInThisProgram(const std::string& path, int ownFd = -1) {
  struct stat target {};
  if (::stat(path.c_str(), &target) != 0) return false;
  DIR* fds = ::opendir("/proc/self/fd");
  if (!fds) return false;
  const int own = ::dirfd(fds);
  bool found = false;
  while (const dirent* e = ::readdir(fds)) {
    char* end = nullptr;
    const long fd = std::strtol(e->d_name, &end, 10);
    if (end == e->d_name || *end != '\0' || fd == own || fd == ownFd) continue;
    struct stat st {};
    if (::fstat(static_cast<int>(fd), &st) == 0 && st.st_dev == target.st_dev &&
        st.st_ino == target.st_ino) {
      found = true;
      break;
    }
  }
  ::closedir(fds);
  return found;
}

std::string reasonOf(int err, const std::string& path, int ownFd = -1) {
  if (err == EWOULDBLOCK)
    return openInThisProgram(path, ownFd)
               ? "another part of this program holds it open (a loaded file); save or "
                 "close it there first"
               : "the file is in use by another program";
  return std::strerror(err);
}

// A missing file needs no reason: "Cannot open file" says it.
[[noreturn]] void cannotOpen(const std::string& path, int err = 0) {
  std::string message = formatMessage("Cannot open file %s", {path});
  if (err != 0 && err != ENOENT) message += ": " + reasonOf(err, path);
  throw FileError(message);
}
[[noreturn]] void cannotCreate(const std::string& path, int err) {
  std::string message = formatMessage("Cannot create file %s", {path});
  if (err != 0) message += ": " + reasonOf(err, path);
  throw FileError(message);
}

bool writeAll(int fd, const std::uint8_t* p, std::size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (w == 0) {
      errno = ENOSPC;
      return false;
    }
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

constexpr std::size_t kWriteBuffer = 1 << 20;
// "<name>.tmp" + six digits: a file being written; "<name>.tmpold" + process id: a link to the
// old file kept while a pair is renamed into place.
constexpr std::string_view kTempMark = ".tmp";
constexpr std::string_view kBackupMark = ".tmpold";
constexpr std::size_t kTempDigits = 6;
constexpr const char* kCommitSuffix = ".commit";
constexpr const char* kCommitHeader = "quillotide pair save";
constexpr std::string_view kNoOldFile = "-";

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

using Identity = std::pair<std::uint64_t, std::uint64_t>;

std::optional<Identity> identityOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return Identity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

// Makes renames and removals in a folder durable; a file system that cannot do this (EINVAL) has
// nothing to flush.
void syncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Temporaries this process is writing right now; the clean-up of stale ones never touches them.
std::mutex& liveMutex() {
  static std::mutex m;
  return m;
}
std::set<std::string>& liveTemps() {
  static std::set<std::string> s;
  return s;
}

bool allDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// --- the commit record of a pair save ---

struct CommitEntry {
  std::string target;  // the file replaced (links already followed)
  std::string temp;    // the finished new file
  // A link to the old file; kNoOldFile when there was none; empty when no link could be made
  // (the old file then cannot be put back).
  std::string backup;
  Identity temp_identity{};

  bool hasBackup() const { return !backup.empty() && backup != kNoOldFile; }
};

std::string commitRecordPath(const std::string& realTarget) { return realTarget + kCommitSuffix; }

Bytes encodeCommitRecord(const std::vector<CommitEntry>& entries) {
  std::string text = std::string(kCommitHeader) + "\n";
  for (const auto& e : entries) {
    text += "target " + e.target + "\n";
    text += "temp " + e.temp + "\n";
    text += "backup " + e.backup + "\n";
    text += "file " + std::to_string(e.temp_identity.first) + " " +
            std::to_string(e.temp_identity.second) + "\n";
  }
  return Bytes(text.begin(), text.end());
}

std::optional<std::vector<CommitEntry>> decodeCommitRecord(const Bytes& bytes) {
  const std::string text(bytes.begin(), bytes.end());
  const auto lines = splitLines(text);
  if (lines.empty() || lines[0] != kCommitHeader || (lines.size() - 1) % 4 != 0)
    return std::nullopt;
  std::vector<CommitEntry> entries;
  for (std::size_t i = 1; i < lines.size(); i += 4) {
    auto field = [&](std::size_t k, std::string_view key) -> std::optional<std::string> {
      const std::string& line = lines[i + k];
      if (line.size() < key.size() + 1 || line.compare(0, key.size(), key) != 0 ||
          line[key.size()] != ' ')
        return std::nullopt;
      return line.substr(key.size() + 1);
    };
    const auto target = field(0, "target");
    const auto temp = field(1, "temp");
    const auto backup = field(2, "backup");
    const auto file = field(3, "file");
    if (!target || !temp || !backup || !file || target->empty() || temp->empty())
      return std::nullopt;
    CommitEntry e{*target, *temp, *backup, {}};
    const auto parts = split(*file, " ");
    if (parts.size() != 2 || !allDigits(parts[0]) || !allDigits(parts[1])) return std::nullopt;
    e.temp_identity = {std::stoull(parts[0]), std::stoull(parts[1])};
    entries.push_back(std::move(e));
  }
  return entries;
}

// The files a pending commit record still needs; a clean-up of stale temporaries keeps them.
std::set<std::string> namedByRecords(const std::string& folder) {
  std::set<std::string> kept;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return kept;
  std::vector<std::string> records;
  while (const dirent* d = ::readdir(dir)) {
    const std::string name = d->d_name;
    const std::string suffix = kCommitSuffix;
    if (name.size() > suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
      records.push_back(joinPath(folder, name));
  }
  ::closedir(dir);
  for (const auto& r : records) {
    try {
      if (const auto entries = decodeCommitRecord(readFile(r)))
        for (const auto& e : *entries) {
          kept.insert(nameOf(e.temp));
          if (e.hasBackup()) kept.insert(nameOf(e.backup));
        }
    } catch (const Error&) {
    }
  }
  return kept;
}

// Removes the temporaries and old-file links beside the target that a save of it killed before
// its commit record existed leaves behind. Only names of exactly our own form are touched.
void removeStaleTemporaries(const std::string& realTarget) {
  const std::string folder = folderOf(realTarget);
  const std::string name = nameOf(realTarget);
  std::vector<std::string> stale;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  while (const dirent* d = ::readdir(dir)) {
    const std::string entry = d->d_name;
    if (entry.size() <= name.size() || entry.compare(0, name.size(), name) != 0) continue;
    const std::string_view rest = std::string_view(entry).substr(name.size());
    const bool temp = rest.size() == kTempMark.size() + kTempDigits &&
                      rest.substr(0, kTempMark.size()) == kTempMark &&
                      allDigits(rest.substr(kTempMark.size()));
    const bool backup = rest.size() > kBackupMark.size() &&
                        rest.substr(0, kBackupMark.size()) == kBackupMark &&
                        allDigits(rest.substr(kBackupMark.size()));
    if (temp || backup) stale.push_back(entry);
  }
  ::closedir(dir);
  if (stale.empty()) return;
  const std::set<std::string> kept = namedByRecords(folder);
  std::lock_guard lock(liveMutex());
  for (const auto& entry : stale) {
    const std::string path = joinPath(folder, entry);
    if (kept.count(entry) || liveTemps().count(path)) continue;
    ::unlink(path.c_str());
  }
}

void writeCommitRecord(const std::string& path, const std::vector<CommitEntry>& entries) {
  for (const auto& e : entries)
    for (const std::string* p : {&e.target, &e.temp, &e.backup})
      if (p->find_first_of("\r\n") != std::string::npos) cannotCreate(e.target, EINVAL);
  AtomicFile record(path);
  record.write(encodeCommitRecord(entries));
  record.commit();
  syncFolder(folderOf(path));
}

void recoverRecord(const std::string& recordPath) {
  Bytes bytes;
  try {
    bytes = readFile(recordPath);
  } catch (const FileError&) {
    return;  // removed meanwhile: nothing to finish
  }
  const auto entries = decodeCommitRecord(bytes);
  if (!entries)
    throw FileError(formatMessage(
        "%s records a save that did not finish, but it cannot be read; check the files it names "
        "and remove it.",
        {recordPath}));
  enum class State { Pending, Done, Lost };
  std::vector<State> states;
  bool lost = false;
  for (const auto& e : *entries) {
    if (fileExists(e.temp))
      states.push_back(State::Pending);
    else if (identityOf(e.target) == e.temp_identity)
      states.push_back(State::Done);
    else {
      states.push_back(State::Lost);
      lost = true;
    }
  }
  std::string names;
  for (const auto& e : *entries) names += (names.empty() ? "" : " and ") + e.target;
  if (!lost) {
    for (std::size_t i = 0; i < entries->size(); ++i) {
      const auto& e = (*entries)[i];
      if (states[i] != State::Pending) continue;
      struct stat st {};
      if (::stat(e.target.c_str(), &st) == 0) ::chmod(e.temp.c_str(), st.st_mode & 07777);
      if (::rename(e.temp.c_str(), e.target.c_str()) != 0) cannotCreate(e.target, errno);
    }
  } else {
    for (std::size_t i = 0; i < entries->size(); ++i) {
      const auto& e = (*entries)[i];
      if (states[i] == State::Pending) {
        ::unlink(e.temp.c_str());
      } else if (states[i] == State::Done) {
        if (e.hasBackup() && fileExists(e.backup)) {
          if (::rename(e.backup.c_str(), e.target.c_str()) != 0) cannotCreate(e.target, errno);
        } else if (e.backup == kNoOldFile) {
          ::unlink(e.target.c_str());
        }
      }
    }
  }
  std::set<std::string> folders;
  for (const auto& e : *entries) folders.insert(folderOf(e.target));
  for (const auto& f : folders) syncFolder(f);
  for (const auto& e : *entries)
    if (e.hasBackup()) ::unlink(e.backup.c_str());
  ::unlink(recordPath.c_str());
  addFileNote(lost
                  ? formatMessage("An earlier save of %s stopped half-way and one of its new files "
                                  "is missing; the files were put back as they were before it.",
                                  {names})
                  : formatMessage("An earlier save of %s stopped half-way; it has now been "
                                  "completed.",
                                  {names}));
}

std::function<void(int)>& commitStepHook() {
  static std::function<void(int)> hook;
  return hook;
}

void commitStep(int step) {
  if (commitStepHook()) commitStepHook()(step);
}

std::mutex& notesMutex() {
  static std::mutex m;
  return m;
}
std::vector<std::string>& notes() {
  static std::vector<std::string> n;
  return n;
}

}  // namespace

void setCommitStepHook(std::function<void(int step)> hook) { commitStepHook() = std::move(hook); }

void addFileNote(std::string note) {
  std::lock_guard lock(notesMutex());
  // A lookup repeated within one action says what it met once.
  if (std::find(notes().begin(), notes().end(), note) != notes().end()) return;
  notes().push_back(std::move(note));
}

std::vector<std::string> takeFileNotes() {
  std::lock_guard lock(notesMutex());
  std::vector<std::string> out;
  out.swap(notes());
  return out;
}

std::string resolveTarget(const std::string& path) {
  std::string current = path;
  // A loop of links is left to the write itself, which then fails with the system's reason.
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::string link(PATH_MAX, '\0');
    const ssize_t n = ::readlink(current.c_str(), link.data(), link.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= link.size()) return current;
    link.resize(static_cast<std::size_t>(n));
    current = link.front() == '/' ? link : joinPath(folderOf(current), link);
  }
  return current;
}

bool sameTarget(const std::string& a, const std::string& b) {
  const std::string ra = resolveTarget(a);
  const std::string rb = resolveTarget(b);
  if (sameFile(ra, rb)) return true;
  std::error_code ea, eb;
  const auto ca = std::filesystem::weakly_canonical(ra, ea);
  const auto cb = std::filesystem::weakly_canonical(rb, eb);
  if (ea || eb) return ra == rb;
  return ca == cb;
}

void requireDistinctTargets(const std::string& indexPath, const std::string& dataPath) {
  if (sameTarget(indexPath, dataPath))
    throw Error(formatMessage("The index file and the data file must be two different files: %s",
                              {indexPath}));
}

void recoverInterruptedSave(const std::vector<std::string>& paths) {
  std::set<std::string> seen;
  for (const auto& p : paths) {
    const std::string record = commitRecordPath(resolveTarget(p));
    if (!seen.insert(record).second) continue;
    struct stat st {};
    if (::lstat(record.c_str(), &st) == 0) recoverRecord(record);
  }
}

void throwCannotOpen(const std::string& path, int err) { cannotOpen(path, err); }
void throwCannotCreate(const std::string& path, int err) { cannotCreate(path, err); }
void throwCannotCreate(const std::string& path, int err, int ownFd) {
  std::string message = formatMessage("Cannot create file %s", {path});
  if (err != 0) message += ": " + reasonOf(err, path, ownFd);
  throw FileError(message);
}

int lockFile(int fd, FileLock lock) {
  const int kind = lock == FileLock::Shared ? LOCK_SH : LOCK_EX;
  while (::flock(fd, kind | LOCK_NB) != 0)
    if (errno != EINTR) return errno;
  return 0;
}

std::size_t readAt(int fd, std::uint8_t* dst, std::size_t n, std::uint64_t offset, int& err) {
  err = 0;
  std::size_t got = 0;
  while (got < n) {
    const ssize_t r = ::pread(fd, dst + got, n - got, static_cast<off_t>(offset + got));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) err = errno;
    if (r <= 0) break;
    got += static_cast<std::size_t>(r);
  }
  return got;
}

void writeAt(int fd, const std::string& path, std::span<const std::uint8_t> bytes,
             std::uint64_t offset) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t w =
        ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) cannotCreate(path, w < 0 ? errno : ENOSPC);
    done += static_cast<std::size_t>(w);
  }
}

bool fileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::uint64_t fileSize(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) cannotOpen(path, errno);
  if (!S_ISREG(st.st_mode)) cannotOpen(path, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
  return static_cast<std::uint64_t>(st.st_size);
}

Bytes readFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) cannotOpen(path, errno);
  struct stat st {};
  int statErr = 0;
  if (::fstat(fd, &st) != 0)
    statErr = errno;
  else if (!S_ISREG(st.st_mode))
    statErr = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  if (statErr != 0) {
    ::close(fd);
    cannotOpen(path, statErr);
  }
  Bytes bytes(static_cast<std::size_t>(st.st_size));
  std::size_t got = 0;
  int err = 0;
  while (got < bytes.size()) {
    const ssize_t r = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) err = errno;
    if (r <= 0) break;
    got += static_cast<std::size_t>(r);
  }
  ::close(fd);
  if (got != bytes.size()) cannotOpen(path, err != 0 ? err : EIO);
  return bytes;
}

AtomicFile::AtomicFile(std::string target, Flush flush)
    : m_target(std::move(target)), m_real(resolveTarget(m_target)), m_flush(flush) {
  if (m_flush == Flush::BeforeRename) removeStaleTemporaries(m_real);
  // The temporary lives in the real target's folder so the rename never crosses file systems.
  static std::mt19937 rng(std::random_device{}());
  int err = 0;
  for (int attempt = 0; attempt < 16 && m_fd < 0; ++attempt) {
    std::string digits = std::to_string(rng() % 1000000);
    digits.insert(0, kTempDigits - digits.size(), '0');
    m_temp = m_real + std::string(kTempMark) + digits;
    m_fd = ::open(m_temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    err = errno;
    if (m_fd < 0 && err != EEXIST) break;
  }
  if (m_fd < 0) cannotCreate(m_target, err);
  {
    std::lock_guard lock(liveMutex());
    liveTemps().insert(m_temp);
  }
  m_buffer.reserve(kWriteBuffer);
}

AtomicFile::~AtomicFile() {
  if (m_fd >= 0) ::close(m_fd);
  if (!m_committed) ::unlink(m_temp.c_str());
  std::lock_guard lock(liveMutex());
  liveTemps().erase(m_temp);
}

void AtomicFile::flushBuffer() {
  if (m_buffer.empty()) return;
  if (!writeAll(m_fd, m_buffer.data(), m_buffer.size())) cannotCreate(m_target, errno);
  m_buffer.clear();
}

void AtomicFile::write(std::span<const std::uint8_t> bytes) {
  if (m_fd < 0) cannotCreate(m_target, EBADF);
  m_size += bytes.size();
  if (m_buffer.size() + bytes.size() > kWriteBuffer) {
    flushBuffer();
    if (bytes.size() >= kWriteBuffer) {
      if (!writeAll(m_fd, bytes.data(), bytes.size())) cannotCreate(m_target, errno);
      return;
    }
  }
  m_buffer.insert(m_buffer.end(), bytes.begin(), bytes.end());
}

std::uint64_t AtomicFile::copyFrom(int fd, const std::string& fromPath, std::uint64_t offset,
                                  std::uint64_t n) {
  if (m_fd < 0) cannotCreate(m_target, EBADF);
  flushBuffer();
  std::uint64_t done = 0;
  bool inKernel = true;
  while (done < n && inKernel) {
    auto from = static_cast<off64_t>(offset + done);
    const ssize_t got = ::copy_file_range(fd, &from, m_fd, nullptr,
                                          static_cast<std::size_t>(std::min<std::uint64_t>(
                                              n - done, std::uint64_t{1} << 30)),
                                          0);
    if (got > 0) {
      done += static_cast<std::uint64_t>(got);
      m_size += static_cast<std::uint64_t>(got);
    } else if (got == 0) {
      return done;  // the file ends here
    } else if (errno == EINTR) {
      continue;
    } else if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
               errno == EBADF || errno == ETXTBSY) {
      inKernel = false;  // file systems that cannot: through a buffer
    } else if (errno == ENOSPC || errno == EDQUOT || errno == EFBIG) {
      cannotCreate(m_target, errno);
    } else {
      throwCannotOpen(fromPath, errno);
    }
  }
  if (done == n) return done;
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(n - done, 1 << 20)));
  while (done < n) {
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(n - done, buffer.size()));
    int err = 0;
    const std::size_t got = readAt(fd, buffer.data(), want, offset + done, err);
    if (err != 0) throwCannotOpen(fromPath, err);
    if (got > 0 && !writeAll(m_fd, buffer.data(), got)) cannotCreate(m_target, errno);
    done += got;
    m_size += got;
    if (got < want) break;
  }
  return done;
}

void AtomicFile::startWriteback() {
  if (m_fd < 0) return;
  flushBuffer();
  // Only a hint: where the file system cannot, the flush before the rename does it all.
  ::sync_file_range(m_fd, 0, 0, SYNC_FILE_RANGE_WRITE);
}

void AtomicFile::finish() {
  if (m_fd < 0) return;
  flushBuffer();
  if (m_flush == Flush::BeforeRename && ::fsync(m_fd) != 0 && errno != EINVAL)
    cannotCreate(m_target, errno);
  const int fd = m_fd;
  m_fd = -1;
  if (::close(fd) != 0) cannotCreate(m_target, errno);
}

void AtomicFile::commit() {
  finish();
  // Keep the permissions of the file being replaced.
  struct stat st {};
  if (::stat(m_real.c_str(), &st) == 0) ::chmod(m_temp.c_str(), st.st_mode & 07777);
  if (::rename(m_temp.c_str(), m_real.c_str()) != 0) cannotCreate(m_target, errno);
  m_committed = true;
}

void commitAll(std::vector<AtomicFile*> files) {
  for (std::size_t i = 0; i < files.size(); ++i)
    for (std::size_t k = i + 1; k < files.size(); ++k)
      if (sameTarget(files[i]->realTarget(), files[k]->realTarget()))
        throw Error(formatMessage("%s and %s are the same file; nothing was written.",
                                  {files[i]->target(), files[k]->target()}));
  if (files.size() == 1) {
    files[0]->commit();
    return;
  }
  if (files.empty()) return;
  std::vector<std::string> targets;
  for (auto* f : files) targets.push_back(f->realTarget());
  // A record left by an earlier killed save of these files is settled before this one starts.
  recoverInterruptedSave(targets);
  for (auto* f : files) f->finish();
  commitStep(0);

  // Keep a link to each old target so that a rename failing half-way (or a crash that lost a new
  // file) can put the earlier ones back.
  // The record names files by absolute paths: the next load may run from another folder.
  auto absolute = [](const std::string& path) {
    std::error_code ec;
    const auto a = std::filesystem::absolute(path, ec);
    return ec ? path : a.lexically_normal().string();
  };
  std::vector<CommitEntry> entries;
  for (auto* f : files) {
    CommitEntry e{absolute(f->realTarget()), absolute(f->tempPath()), std::string(kNoOldFile), {}};
    const auto id = identityOf(f->tempPath());
    if (!id) cannotCreate(f->target(), errno);
    e.temp_identity = *id;
    if (fileExists(f->realTarget())) {
      std::string backup = e.target + std::string(kBackupMark) + std::to_string(::getpid());
      ::unlink(backup.c_str());
      e.backup = ::link(e.target.c_str(), backup.c_str()) == 0 ? std::move(backup) : std::string();
    }
    entries.push_back(std::move(e));
  }
  auto removeBackups = [&] {
    for (auto& e : entries)
      if (e.hasBackup()) ::unlink(e.backup.c_str());
  };
  const std::string record = commitRecordPath(files[0]->realTarget());
  try {
    writeCommitRecord(record, entries);
  } catch (...) {
    removeBackups();
    throw;
  }
  commitStep(1);
  std::size_t done = 0;
  try {
    for (; done < files.size(); ++done) {
      files[done]->commit();
      commitStep(static_cast<int>(done) + 2);
    }
  } catch (...) {
    for (std::size_t i = 0; i < done; ++i) {
      CommitEntry& e = entries[i];
      if (e.hasBackup())
        ::rename(e.backup.c_str(), e.target.c_str());
      else if (e.backup == kNoOldFile)
        ::unlink(e.target.c_str());
      e.backup.clear();
    }
    removeBackups();
    ::unlink(record.c_str());
    throw;
  }
  std::set<std::string> folders;
  for (const auto& e : entries) folders.insert(folderOf(e.target));
  for (const auto& f : folders) syncFolder(f);
  removeBackups();
  // Last: while the record exists a load or save can still finish or undo this one.
  ::unlink(record.c_str());
}

void writeFileAtomic(const std::string& path, std::span<const std::uint8_t> bytes) {
  AtomicFile file(path);
  file.write(bytes);
  file.commit();
}

void WriteBatch::write(const std::string& path, std::span<const std::uint8_t> bytes) {
  const std::string real = resolveTarget(path);
  // A file that does not exist yet is created and written in place: until the job's flush it is
  // as much at risk as a temporary would be, and no earlier file can be lost. O_EXCL keeps a file
  // that appears meanwhile from being cut; that one, like any existing file, is replaced whole
  // by writing beside it and renaming.
  const int fd = ::open(real.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd >= 0) {
    const bool written = writeAll(fd, bytes.data(), bytes.size());
    int err = errno;
    const bool closed = ::close(fd) == 0;
    if (written && !closed) err = errno;
    if (!written || !closed) {
      ::unlink(real.c_str());
      cannotCreate(path, err);
    }
  } else {
    if (errno != EEXIST) cannotCreate(path, errno);
    AtomicFile file(path, AtomicFile::Flush::Later);
    file.write(bytes);
    file.commit();
  }
  ++m_files;
  // Most files of a job share their folder: its file system is looked up once.
  std::string folder = folderOf(real);
  if (folder == m_lastFolder) return;
  struct stat st {};
  if (::stat(folder.c_str(), &st) == 0 &&
      m_devices.insert(static_cast<std::uint64_t>(st.st_dev)).second)
    m_folders.push_back(folder);
  m_lastFolder = std::move(folder);
}

void WriteBatch::finish() {
  // One flush per file system covers every file and rename of the job.
  for (const auto& folder : m_folders) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) cannotCreate(folder, errno);
    const int r = ::syncfs(fd);
    const int err = errno;
    ::close(fd);
    if (r != 0) cannotCreate(folder, err);
  }
  m_devices.clear();
  m_folders.clear();
  m_lastFolder.clear();
}

OpenFile::OpenFile(const std::string& path) : m_path(path) {
  m_fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (m_fd < 0) cannotOpen(path, errno);
  struct stat st {};
  int err = 0;
  if (::fstat(m_fd, &st) != 0)
    err = errno;
  else if (!S_ISREG(st.st_mode))
    err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  else if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0)
    err = errno;
  if (err != 0) {
    ::close(m_fd);
    m_fd = -1;
    cannotOpen(path, err);
  }
  m_size = static_cast<std::uint64_t>(st.st_size);
}

OpenFile::~OpenFile() {
  if (m_fd >= 0) ::close(m_fd);
}

void OpenFile::read(std::uint64_t offset, std::uint8_t* dst, std::size_t n) const {
  if (offset > m_size || n > m_size - offset)
    throw FormatError(m_path + ": read of " + std::to_string(n) + " bytes at offset " +
                      std::to_string(offset) + " is past the end of the file");
  int err = 0;
  if (readAt(m_fd, dst, n, offset, err) != n) cannotOpen(m_path, err ? err : EIO);
}

Bytes OpenFile::read(std::uint64_t offset, std::size_t n) const {
  Bytes out(n);
  read(offset, out.data(), n);
  return out;
}

void OpenFile::write(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  writeAt(m_fd, m_path, bytes, offset);
  if (offset + bytes.size() > m_size) m_size = offset + bytes.size();
}

std::pair<std::uint64_t, std::uint64_t> OpenFile::identity() const {
  struct stat st {};
  ::fstat(m_fd, &st);
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string executableDir() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string path(buf, static_cast<std::size_t>(n));
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string joinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

}  // namespace quillotide
