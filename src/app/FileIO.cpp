#include "app/FileIO.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <random>

#include "app/Text.h"

namespace quillotide {

namespace {

[[noreturn]] void cannotOpen(const std::string& path) {
  throw FileError(formatMessage("Cannot open file %s", {path}));
}
[[noreturn]] void cannotCreate(const std::string& path) {
  throw FileError(formatMessage("Cannot create file %s", {path}));
}

bool writeAll(int fd, const std::uint8_t* p, std::size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

constexpr std::size_t kWriteBuffer = 1 << 20;

}  // namespace

bool fileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::uint64_t fileSize(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) cannotOpen(path);
  return static_cast<std::uint64_t>(st.st_size);
}

Bytes readFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) cannotOpen(path);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    cannotOpen(path);
  }
  Bytes bytes(static_cast<std::size_t>(st.st_size));
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t r = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += static_cast<std::size_t>(r);
  }
  ::close(fd);
  if (got != bytes.size()) cannotOpen(path);
  return bytes;
}

AtomicFile::AtomicFile(std::string target) : m_target(std::move(target)) {
  // The temporary lives in the target's directory so the rename never crosses file systems.
  static std::mt19937 rng(std::random_device{}());
  for (int attempt = 0; attempt < 16 && m_fd < 0; ++attempt) {
    m_temp = m_target + ".tmp" + std::to_string(rng() % 1000000);
    m_fd = ::open(m_temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (m_fd < 0 && errno != EEXIST) break;
  }
  if (m_fd < 0) cannotCreate(m_target);
  m_buffer.reserve(kWriteBuffer);
}

AtomicFile::~AtomicFile() {
  if (m_fd >= 0) ::close(m_fd);
  if (!m_committed) ::unlink(m_temp.c_str());
}

void AtomicFile::flushBuffer() {
  if (m_buffer.empty()) return;
  if (!writeAll(m_fd, m_buffer.data(), m_buffer.size())) cannotCreate(m_target);
  m_buffer.clear();
}

void AtomicFile::write(std::span<const std::uint8_t> bytes) {
  if (m_fd < 0) cannotCreate(m_target);
  m_size += bytes.size();
  if (m_buffer.size() + bytes.size() > kWriteBuffer) {
    flushBuffer();
    if (bytes.size() >= kWriteBuffer) {
      if (!writeAll(m_fd, bytes.data(), bytes.size())) cannotCreate(m_target);
      return;
    }
  }
  m_buffer.insert(m_buffer.end(), bytes.begin(), bytes.end());
}

void AtomicFile::finish() {
  if (m_fd < 0) return;
  flushBuffer();
  if (::fsync(m_fd) != 0 && errno != EINVAL) cannotCreate(m_target);
  if (::close(m_fd) != 0) {
    m_fd = -1;
    cannotCreate(m_target);
  }
  m_fd = -1;
}

void AtomicFile::commit() {
  finish();
  // Keep the permissions of the file being replaced.
  struct stat st {};
  if (::stat(m_target.c_str(), &st) == 0) ::chmod(m_temp.c_str(), st.st_mode & 07777);
  if (::rename(m_temp.c_str(), m_target.c_str()) != 0) cannotCreate(m_target);
  m_committed = true;
}

void commitAll(std::vector<AtomicFile*> files) {
  for (auto* f : files) f->finish();
  // Keep a link to each old target so that a rename failing half-way can put the earlier ones back.
  std::vector<std::string> backups;
  for (auto* f : files) {
    std::string backup = f->target() + ".old" + std::to_string(::getpid());
    ::unlink(backup.c_str());
    backups.push_back(::link(f->target().c_str(), backup.c_str()) == 0 ? backup : std::string());
  }
  std::size_t done = 0;
  try {
    for (; done < files.size(); ++done) files[done]->commit();
  } catch (...) {
    for (std::size_t i = 0; i < done; ++i) {
      if (!backups[i].empty()) ::rename(backups[i].c_str(), files[i]->target().c_str());
      else ::unlink(files[i]->target().c_str());
      backups[i].clear();
    }
    for (const auto& b : backups)
      if (!b.empty()) ::unlink(b.c_str());
    throw;
  }
  for (const auto& b : backups)
    if (!b.empty()) ::unlink(b.c_str());
}

void writeFileAtomic(const std::string& path, std::span<const std::uint8_t> bytes) {
  AtomicFile file(path);
  file.write(bytes);
  file.commit();
}

OpenFile::OpenFile(const std::string& path) : m_path(path) {
  m_fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (m_fd < 0) cannotOpen(path);
  struct stat st {};
  if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode) || ::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(m_fd);
    m_fd = -1;
    cannotOpen(path);
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
  std::size_t got = 0;
  while (got < n) {
    const ssize_t r = ::pread(m_fd, dst + got, n - got, static_cast<off_t>(offset + got));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) cannotOpen(m_path);
    got += static_cast<std::size_t>(r);
  }
}

Bytes OpenFile::read(std::uint64_t offset, std::size_t n) const {
  Bytes out(n);
  read(offset, out.data(), n);
  return out;
}

void OpenFile::write(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t w =
        ::pwrite(m_fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) cannotCreate(m_path);
    done += static_cast<std::size_t>(w);
  }
  if (offset + bytes.size() > m_size) m_size = offset + bytes.size();
}

std::pair<std::uint64_t, std::uint64_t> OpenFile::identity() const {
  struct stat st {};
  ::fstat(m_fd, &st);
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
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
