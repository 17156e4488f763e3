#pragma once
// TAnimdata: the animated-static table of animdata.mul.

#include <string>

#include "app/Bytes.h"

namespace quillotide {

class TAnimdata {
public:
  // Throws FileError when the file cannot be read; the model keeps what it had.
  void load(const std::string& path);
  // Replaces the file whole; throws Error when nothing was loaded.
  void save(const std::string& path) const;
  bool isLoaded() const { return m_loaded; }

private:
  Bytes m_bytes;
  bool m_loaded = false;
};

}  // namespace quillotide
