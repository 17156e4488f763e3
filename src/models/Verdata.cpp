#include "models/Verdata.h"

#include "app/FileIO.h"
#include "app/IndexedFile.h"

namespace quillotide {

void TVerdata::load(const std::string& path) {
  m_bytes = readFile(path);
  m_loaded = true;
}

void TVerdata::save(const std::string& path) const {
  if (!m_loaded) throw Error(notLoadedMessage("Verdata"));
  writeFileAtomic(path, m_bytes);
}

}  // namespace quillotide
