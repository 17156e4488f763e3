#pragma once
// The byte storage of the world files (map, statics index and data): a memory copy, or the file
// itself held open for reading and writing, with an exclusive lock or (openShared) a shared one.
// Unlike the slot files' streams a world stream can be cut or grown, which clearing and cleaning
// the statics need in place.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>

#include "app/Bytes.h"

namespace quillotide {

class WorldStream {
public:
  // A memory copy of the given bytes.
  static std::unique_ptr<WorldStream> memory(Bytes bytes);
  // Opens an existing file in place; throws FileError "Cannot open file %s", or saying so for a
  // .uop container (its bytes are no map or statics file).
  static std::unique_ptr<WorldStream> openFile(const std::string& path);
  // Opens an existing file in place as a model that reads it and writes it now and then does
  // (the map): the file is shared with readers (a shared lock), and each write or resize takes it
  // alone for its duration, failing with FileError "Cannot create file %s" naming the holder while
  // another reader or writer has it. Errors of opening as openFile.
  static std::unique_ptr<WorldStream> openShared(const std::string& path);
  // Opens an existing file for reading only, without a lock, so a tool can read the files a
  // loaded model holds; writing to it throws FileError "Cannot create file %s". A .uop map
  // container gives a memory copy of the map file it holds (FormatError when it holds none).
  static std::unique_ptr<WorldStream> openForReading(const std::string& path);
  ~WorldStream();
  WorldStream(const WorldStream&) = delete;
  WorldStream& operator=(const WorldStream&) = delete;

  bool isFile() const { return m_fd >= 0; }
  const std::string& path() const { return m_path; }
  std::uint64_t size() const { return m_size; }
  // Exactly n bytes at offset; throws FormatError when the range is outside the stream.
  void read(std::uint64_t offset, std::uint8_t* dst, std::size_t n) const;
  // The bytes of offset .. offset + n that lie inside the stream (fewer at its end). A read of 0
  // bytes touches nothing, so dst may then be null (read() as well).
  std::size_t readSome(std::uint64_t offset, std::uint8_t* dst, std::size_t n) const;
  // Writes at offset; a write past the end grows the stream (a gap reads as zero bytes).
  // Throws FileError "Cannot create file %s" when the file refuses the bytes.
  void write(std::uint64_t offset, std::span<const std::uint8_t> bytes);
  void resize(std::uint64_t size);
  // The memory copy; empty for an open file.
  std::span<const std::uint8_t> view() const { return m_bytes; }
  const Bytes& bytes() const { return m_bytes; }
  // Device and inode of an open file ({0, 0} for memory copies).
  std::pair<std::uint64_t, std::uint64_t> identity() const;

private:
  WorldStream() = default;
  Bytes m_bytes;
  int m_fd = -1;
  std::uint64_t m_size = 0;
  std::string m_path;
  bool m_shared = false;  // holds a shared lock, taken alone only while writing
  static std::unique_ptr<WorldStream> openLocked(const std::string& path, bool shared);
  // Runs the change with the file held alone (a shared stream), then shares it again.
  template <class F>
  void alone(F&& change);
};

// Sequential reading of a stream in large windows, so whole-file operations cost a few big reads
// instead of one small read per block. Reads outside the stream throw FormatError.
class ChunkReader {
public:
  explicit ChunkReader(const WorldStream& stream, std::size_t window = 1 << 20)
      : m_stream(stream), m_window(window) {}
  // A view of n bytes at offset, valid until the next call.
  std::span<const std::uint8_t> at(std::uint64_t offset, std::size_t n);

private:
  const WorldStream& m_stream;
  std::size_t m_window;
  Bytes m_buffer;
  std::uint64_t m_start = 0;
};

}  // namespace quillotide
