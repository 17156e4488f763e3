#include "models/Animdata.h"

#include "app/FileIO.h"
#include "app/IndexedFile.h"

namespace quillotide {

void TAnimdata::load(const std::string& path) {
  m_bytes = readFile(path);
  m_loaded = true;
}

void TAnimdata::save(const std::string& path) const {
  if (!m_loaded) throw Error(notLoadedMessage("Animdata"));
  writeFileAtomic(path, m_bytes);
}

}  // namespace quillotide
