#pragma once
// File access for the whole core. Whole-file reads, whole-or-nothing writes (write beside the
// target, then rename), and an open file for the low-memory and direct storage modes.
// Every failure throws FileError with the file layer's texts "Cannot open file %s" and
// "Cannot create file %s".

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "app/Bytes.h"

namespace quillotide {

bool fileExists(const std::string& path);
// Size in bytes; throws "Cannot open file %s" when the file cannot be examined.
std::uint64_t fileSize(const std::string& path);
// Reads the whole file.
Bytes readFile(const std::string& path);
// Replaces the file whole or not at all: the bytes go to a file beside it, which is then renamed
// over the target. On failure the target keeps its old content and the partial file is removed.
void writeFileAtomic(const std::string& path, std::span<const std::uint8_t> bytes);

// A file being written beside its target. commit() renames it into place; destroying an
// uncommitted AtomicFile removes the partial file.
class AtomicFile {
public:
  explicit AtomicFile(std::string target);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  void write(std::span<const std::uint8_t> bytes);
  std::uint64_t size() const { return m_size; }
  // Flushes and closes the temporary file; the target is still untouched.
  void finish();
  // finish() if needed, then renames over the target.
  void commit();
  const std::string& target() const { return m_target; }

private:
  std::string m_target;
  std::string m_temp;
  int m_fd = -1;
  std::uint64_t m_size = 0;
  std::vector<std::uint8_t> m_buffer;
  bool m_committed = false;
  void flushBuffer();
};

// Writes several files so that each is replaced whole: all are written beside their targets first,
// and only when every one is complete are they renamed into place.
void commitAll(std::vector<AtomicFile*> files);

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
