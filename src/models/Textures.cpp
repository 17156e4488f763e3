#include "models/Textures.h"

namespace quillotide {

void TTextures::load(const std::string& indexPath, const std::string& dataPath, StorageMode mode) { m_files.load(indexPath, dataPath, mode); }

bool TTextures::save(const std::string& indexPath, const std::string& dataPath) const {
  return m_files.save(indexPath, dataPath);
}

}  // namespace quillotide
