#pragma once
// TLight: the light pictures of lightidx.mul / light.mul.

#include <string>

#include "app/IndexedFile.h"

namespace quillotide {

class TLight {
public:
  // Throws FileError when a file cannot be opened; the model keeps what it had.
  void load(const std::string& indexPath, const std::string& dataPath);
  // Writes both files, each replaced whole. Returns false when nothing was written (low-memory).
  bool save(const std::string& indexPath, const std::string& dataPath) const;
  bool isLoaded() const { return m_files.isLoaded(); }

private:
  IndexedFile m_files;
};

}  // namespace quillotide
