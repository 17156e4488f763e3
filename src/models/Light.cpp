#include "models/Light.h"

namespace quillotide {

void TLight::load(const std::string& indexPath, const std::string& dataPath) { m_files.load(indexPath, dataPath, StorageMode::Memory); }

bool TLight::save(const std::string& indexPath, const std::string& dataPath) const {
  return m_files.save(indexPath, dataPath);
}

}  // namespace quillotide
