#include "models/Animation.h"

namespace quillotide {

void TAnimation::load(const std::string& indexPath, const std::string& dataPath) {
  m_files.load(indexPath, dataPath, StorageMode::Direct);
}

}  // namespace quillotide
