#pragma once
// Files for fuzz targets whose readers take paths: one folder per fuzzing process, each input
// written into it whole before the reader runs.

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

namespace quillotide::fuzz {

inline const std::string& folder() {
  static const std::string path = [] {
    char pattern[] = "/tmp/quillotide-fuzz-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    return std::string(pattern);
  }();
  return path;
}

// Writes `bytes` at offset `at` of a fresh file (the bytes before it read as zeros, without being
// written) and returns its path.
inline std::string writeFile(const std::string& name, std::span<const std::uint8_t> bytes,
                             std::uint64_t at = 0) {
  const std::string path = folder() + "/" + name;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) std::abort();
  if (::ftruncate(fd, static_cast<off_t>(at)) != 0) std::abort();
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n =
        ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(at + done));
    if (n <= 0) std::abort();
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return path;
}

}  // namespace quillotide::fuzz
