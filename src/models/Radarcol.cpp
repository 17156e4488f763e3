#include "models/Radarcol.h"

#include "app/FileIO.h"
#include "app/IndexedFile.h"

namespace quillotide {

void TRadarcol::load(const std::string& path) {
  m_bytes = readFile(path);
  m_loaded = true;
}

void TRadarcol::save(const std::string& path) const {
  if (!m_loaded) throw Error(notLoadedMessage("Radarcol"));
  writeFileAtomic(path, m_bytes);
}

}  // namespace quillotide
