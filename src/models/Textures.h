#pragma once
// TTextures: the ground textures of texidx.mul / texmaps.mul.

#include <string>

#include "app/IndexedFile.h"

namespace quillotide {

class TTextures {
public:
  // Throws FileError when a file cannot be opened; the model keeps what it had.
  void load(const std::string& indexPath, const std::string& dataPath, StorageMode mode);
  // Writes both files, each replaced whole. Returns false when nothing was written (low-memory).
  bool save(const std::string& indexPath, const std::string& dataPath) const;
  bool isLoaded() const { return m_files.isLoaded(); }

private:
  IndexedFile m_files;
};

}  // namespace quillotide
