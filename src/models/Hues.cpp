#include "models/Hues.h"

#include "app/FileIO.h"
#include "app/IndexedFile.h"

namespace quillotide {

void THues::load(const std::string& path) {
  m_bytes = readFile(path);
  m_loaded = true;
}

void THues::save(const std::string& path) const {
  if (!m_loaded) throw Error(notLoadedMessage("Hues"));
  writeFileAtomic(path, m_bytes);
}

}  // namespace quillotide
