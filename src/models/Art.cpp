#include "models/Art.h"

namespace quillotide {

void TArt::load(const std::string& indexPath, const std::string& dataPath, StorageMode mode) { m_files.load(indexPath, dataPath, mode); }

bool TArt::save(const std::string& indexPath, const std::string& dataPath) const {
  return m_files.save(indexPath, dataPath);
}

}  // namespace quillotide
