#include "models/Gump.h"

namespace quillotide {

void TGump::load(const std::string& indexPath, const std::string& dataPath) { m_files.load(indexPath, dataPath, StorageMode::Memory); }

bool TGump::save(const std::string& indexPath, const std::string& dataPath) const {
  return m_files.save(indexPath, dataPath);
}

}  // namespace quillotide
