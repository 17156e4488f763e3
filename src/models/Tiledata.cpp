#include "models/Tiledata.h"

#include "app/FileIO.h"
#include "app/IndexedFile.h"

namespace quillotide {

void TTiledata::load(const std::string& path) {
  m_bytes = readFile(path);
  m_loaded = true;
}

void TTiledata::save(const std::string& path) const {
  if (!m_loaded) throw Error(notLoadedMessage("Tiledata"));
  writeFileAtomic(path, m_bytes);
}

}  // namespace quillotide
