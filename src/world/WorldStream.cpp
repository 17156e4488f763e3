#include "world/WorldStream.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Text.h"
#include "app/Uop.h"
#include "app/UopPair.h"
#include "world/Map.h"

namespace quillotide {

std::unique_ptr<WorldStream> WorldStream::memory(Bytes bytes) {
  std::unique_ptr<WorldStream> s(new WorldStream());
  s->m_size = bytes.size();
  s->m_bytes = std::move(bytes);
  return s;
}

std::unique_ptr<WorldStream> WorldStream::openFile(const std::string& path) {
  return openLocked(path, false);
}

std::unique_ptr<WorldStream> WorldStream::openShared(const std::string& path) {
  return openLocked(path, true);
}

template <class F>
void WorldStream::alone(F&& change) {
  if (!m_shared) return change();
  if (const int err = lockFile(m_fd, FileLock::Exclusive); err != 0) {
    // A refused conversion may have let the shared lock go: it is taken again.
    (void)lockFile(m_fd, FileLock::Shared);
    throwCannotCreate(m_path, err, m_fd);
  }
  try {
    change();
  } catch (...) {
    (void)lockFile(m_fd, FileLock::Shared);
    throw;
  }
  (void)lockFile(m_fd, FileLock::Shared);
}

std::unique_ptr<WorldStream> WorldStream::openLocked(const std::string& path, bool shared) {
  // Writing blocks into a container's bytes would destroy it; only the map model rewrites one.
  if (isUopPath(path))
    throw FileError(formatMessage(
        "%s is a UOP container; this tool writes map and statics files in place and cannot "
        "change a container. Nothing was written.",
        {path}));
  std::unique_ptr<WorldStream> s(new WorldStream());
  s->m_path = path;
  s->m_fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (s->m_fd < 0) throwCannotOpen(path, errno);
  struct stat st {};
  int err = 0;
  if (::fstat(s->m_fd, &st) != 0)
    err = errno;
  else if (!S_ISREG(st.st_mode))
    err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  else
    err = lockFile(s->m_fd, shared ? FileLock::Shared : FileLock::Exclusive);
  if (err != 0) {
    // Closed before the reason is looked for, so this descriptor is not taken for the holder.
    ::close(s->m_fd);
    s->m_fd = -1;
    throwCannotOpen(path, err);
  }
  s->m_size = static_cast<std::uint64_t>(st.st_size);
  s->m_shared = shared;
  return s;
}

std::unique_ptr<WorldStream> WorldStream::openForReading(const std::string& path) {
  // A map container reads as the map file it holds.
  if (isUopPath(path)) return memory(mapFileOfContainer(UopContainer::read(path), path, nullptr));
  std::unique_ptr<WorldStream> s(new WorldStream());
  s->m_path = path;
  s->m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (s->m_fd < 0) throwCannotOpen(path, errno);
  struct stat st {};
  if (::fstat(s->m_fd, &st) != 0) throwCannotOpen(path, errno);
  if (!S_ISREG(st.st_mode)) throwCannotOpen(path, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
  s->m_size = static_cast<std::uint64_t>(st.st_size);
  return s;
}

WorldStream::~WorldStream() {
  if (m_fd >= 0) ::close(m_fd);
}

void WorldStream::read(std::uint64_t offset, std::uint8_t* dst, std::size_t n) const {
  if (offset > m_size || n > m_size - offset)
    throw FormatError((m_path.empty() ? std::string("world data") : m_path) + ": read of " +
                      std::to_string(n) + " bytes at offset " + std::to_string(offset) +
                      " is past the end (" + std::to_string(m_size) + " bytes)");
  if (readSome(offset, dst, n) != n) throwCannotOpen(m_path, EIO);
}

std::size_t WorldStream::readSome(std::uint64_t offset, std::uint8_t* dst, std::size_t n) const {
  // A read of nothing may come with no buffer at all (an empty slot's vector): memcpy and pread
  // must not see its null pointer, whatever stream lies below.
  if (n == 0 || offset >= m_size) return 0;
  const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(n, m_size - offset));
  if (m_fd < 0) {
    std::memcpy(dst, m_bytes.data() + offset, take);
    return take;
  }
  int err = 0;
  return readAt(m_fd, dst, take, offset, err);
}

void WorldStream::write(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  if (m_fd < 0) {
    const std::uint64_t end = offset + bytes.size();
    if (end > m_bytes.size()) m_bytes.resize(static_cast<std::size_t>(end), 0);
    std::memcpy(m_bytes.data() + offset, bytes.data(), bytes.size());
    m_size = m_bytes.size();
    return;
  }
  alone([&] { writeAt(m_fd, m_path, bytes, offset); });
  if (offset + bytes.size() > m_size) m_size = offset + bytes.size();
}

void WorldStream::resize(std::uint64_t size) {
  if (m_fd < 0) {
    m_bytes.resize(static_cast<std::size_t>(size), 0);
    m_size = size;
    return;
  }
  alone([&] {
    if (::ftruncate(m_fd, static_cast<off_t>(size)) != 0) throwCannotCreate(m_path, errno);
  });
  m_size = size;
}

std::pair<std::uint64_t, std::uint64_t> WorldStream::identity() const {
  if (m_fd < 0) return {0, 0};
  struct stat st {};
  ::fstat(m_fd, &st);
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::span<const std::uint8_t> ChunkReader::at(std::uint64_t offset, std::size_t n) {
  if (offset > m_stream.size() || n > m_stream.size() - offset)
    throw FormatError((m_stream.path().empty() ? std::string("world data") : m_stream.path()) +
                      ": read of " + std::to_string(n) + " bytes at offset " +
                      std::to_string(offset) + " is past the end (" +
                      std::to_string(m_stream.size()) + " bytes)");
  if (!m_stream.isFile()) return m_stream.view().subspan(static_cast<std::size_t>(offset), n);
  if (offset < m_start || offset + n > m_start + m_buffer.size()) {
    const std::size_t want = std::max(n, m_window);
    m_buffer.resize(want);
    const std::size_t got = m_stream.readSome(offset, m_buffer.data(), want);
    m_buffer.resize(got);
    m_start = offset;
    if (got < n) throwCannotOpen(m_stream.path(), EIO);
  }
  return std::span<const std::uint8_t>(m_buffer).subspan(static_cast<std::size_t>(offset - m_start),
                                                         n);
}

}  // namespace quillotide
