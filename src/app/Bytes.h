#pragma once
// Little-endian reading and writing of file bytes. The reader refuses to read past the end of its
// buffer: every read beyond it throws FormatError, so a lying length in a file never reaches memory
// outside the buffer.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "app/Error.h"

namespace quillotide {

using Bytes = std::vector<std::uint8_t>;

inline std::uint16_t loadU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t loadU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t loadU64(const std::uint8_t* p) {
  return static_cast<std::uint64_t>(loadU32(p)) | (static_cast<std::uint64_t>(loadU32(p + 4)) << 32);
}
inline void storeU16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void storeU32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void storeU64(std::uint8_t* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

class ByteReader {
public:
  ByteReader(std::span<const std::uint8_t> bytes, std::string what = "data")
      : m_bytes(bytes), m_what(std::move(what)) {}

  std::size_t size() const { return m_bytes.size(); }
  std::size_t pos() const { return m_pos; }
  std::size_t remaining() const { return m_bytes.size() - m_pos; }
  bool atEnd() const { return m_pos >= m_bytes.size(); }
  void seek(std::size_t pos) {
    if (pos > m_bytes.size()) fail(pos, 0);
    m_pos = pos;
  }
  void skip(std::size_t n) { seek(need(n) + n); }

  std::uint8_t readU8() {
    std::size_t p = need(1);
    ++m_pos;
    return m_bytes[p];
  }
  std::int8_t readI8() { return static_cast<std::int8_t>(readU8()); }
  std::uint16_t readU16() { return advance<std::uint16_t>(2, loadU16(at(2))); }
  std::int16_t readI16() { return static_cast<std::int16_t>(readU16()); }
  std::uint32_t readU32() { return advance<std::uint32_t>(4, loadU32(at(4))); }
  std::int32_t readI32() { return static_cast<std::int32_t>(readU32()); }
  std::uint64_t readU64() { return advance<std::uint64_t>(8, loadU64(at(8))); }
  std::span<const std::uint8_t> readBytes(std::size_t n) {
    auto s = m_bytes.subspan(need(n), n);
    m_pos += n;
    return s;
  }
  // Reads a fixed-size text field; the text ends at the first zero byte.
  std::string readFixedString(std::size_t n) {
    auto s = readBytes(n);
    std::size_t len = 0;
    while (len < n && s[len] != 0) ++len;
    return std::string(reinterpret_cast<const char*>(s.data()), len);
  }

  // Random access without moving the position.
  std::uint16_t u16At(std::size_t off) const { return loadU16(checked(off, 2)); }
  std::uint32_t u32At(std::size_t off) const { return loadU32(checked(off, 4)); }
  std::int32_t i32At(std::size_t off) const { return static_cast<std::int32_t>(u32At(off)); }

private:
  std::size_t need(std::size_t n) const {
    if (n > m_bytes.size() - m_pos) fail(m_pos, n);
    return m_pos;
  }
  const std::uint8_t* at(std::size_t n) const { return m_bytes.data() + need(n); }
  const std::uint8_t* checked(std::size_t off, std::size_t n) const {
    if (off > m_bytes.size() || n > m_bytes.size() - off) fail(off, n);
    return m_bytes.data() + off;
  }
  template <typename T>
  T advance(std::size_t n, T v) {
    m_pos += n;
    return v;
  }
  [[noreturn]] void fail(std::size_t off, std::size_t n) const {
    throw FormatError(m_what + ": read of " + std::to_string(n) + " bytes at offset " +
                      std::to_string(off) + " is past the end (" + std::to_string(m_bytes.size()) +
                      " bytes)");
  }

  std::span<const std::uint8_t> m_bytes;
  std::size_t m_pos = 0;
  std::string m_what;
};

class ByteWriter {
public:
  ByteWriter() = default;
  explicit ByteWriter(std::size_t reserve) { m_bytes.reserve(reserve); }

  void u8(std::uint8_t v) { m_bytes.push_back(v); }
  void i8(std::int8_t v) { u8(static_cast<std::uint8_t>(v)); }
  void u16(std::uint16_t v) { std::uint8_t b[2]; storeU16(b, v); append(b, 2); }
  void i16(std::int16_t v) { u16(static_cast<std::uint16_t>(v)); }
  void u32(std::uint32_t v) { std::uint8_t b[4]; storeU32(b, v); append(b, 4); }
  void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
  void u64(std::uint64_t v) { std::uint8_t b[8]; storeU64(b, v); append(b, 8); }
  void bytes(std::span<const std::uint8_t> s) { append(s.data(), s.size()); }
  void zeros(std::size_t n) { m_bytes.insert(m_bytes.end(), n, 0); }
  // Writes a text into a fixed-size field, cut to fit and padded with zero bytes.
  void fixedString(const std::string& s, std::size_t n) {
    std::size_t len = std::min(s.size(), n);
    append(reinterpret_cast<const std::uint8_t*>(s.data()), len);
    zeros(n - len);
  }
  void patchU16(std::size_t off, std::uint16_t v) { storeU16(m_bytes.data() + off, v); }
  void patchU32(std::size_t off, std::uint32_t v) { storeU32(m_bytes.data() + off, v); }

  std::size_t size() const { return m_bytes.size(); }
  Bytes& data() { return m_bytes; }
  Bytes take() { return std::move(m_bytes); }

private:
  void append(const std::uint8_t* p, std::size_t n) { m_bytes.insert(m_bytes.end(), p, p + n); }
  Bytes m_bytes;
};

}  // namespace quillotide
