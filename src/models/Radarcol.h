#pragma once
// TRadarcol: the radar colour table of radarcol.mul: one Colour16 per land tile (entries
// 0 .. 0x3FFF) and per static (entry 0x4000 + s), no header. Held whole in memory until save.

#include <cstdint>
#include <string>

#include "app/Bytes.h"
#include "app/Colour.h"

namespace quillotide {

// Entry of static s.
constexpr std::int64_t kRadarStaticBase = 0x4000;
// One past the last entry the table may grow to: every land tile and every static id.
constexpr std::int64_t kRadarMaxEntries = kRadarStaticBase + 0x10000;

class TRadarcol {
public:
  // Throws FileError when the file cannot be read; the model keeps what it had.
  void load(const std::string& path);
  // Replaces the file whole; throws Error when nothing was loaded.
  void save(const std::string& path) const;
  bool isLoaded() const { return m_loaded; }

  // Whole entries in the table (a trailing odd byte is kept but not counted); 0 when not loaded.
  std::int64_t entryCount() const {
    return m_loaded ? static_cast<std::int64_t>(m_bytes.size() / 2) : 0;
  }
  // 0 when not loaded or when r lies beyond the table.
  Colour16 radarColour(std::int64_t r) const;
  // Writes entry r; a table too short for it grows, the new entries 0. Throws Error when not
  // loaded ("Radarcol not Loaded.") or when r is negative or past the last static.
  void setRadarColour(std::int64_t r, Colour16 colour);

  Colour16 landColour(std::int64_t tile) const { return radarColour(tile); }
  Colour16 staticColour(std::int64_t s) const { return radarColour(kRadarStaticBase + s); }

  const Bytes& bytes() const { return m_bytes; }

private:
  Bytes m_bytes;
  bool m_loaded = false;
};

}  // namespace quillotide
