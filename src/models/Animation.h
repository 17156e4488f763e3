#pragma once
// TAnimation and its variants TAnim2 ... TAnim5: the creature and character animations of
// anim*.idx / anim*.mul, opened in direct mode (every change goes into the files at once).

#include <string>

#include "app/IndexedFile.h"

namespace quillotide {

class TAnimation {
public:
  virtual ~TAnimation() = default;
  // Opens both files in place; throws FileError when either cannot be opened for writing.
  void load(const std::string& indexPath, const std::string& dataPath);
  bool isLoaded() const { return m_files.isLoaded(); }

protected:
  IndexedFile m_files;
};

class TAnim2 : public TAnimation {};
class TAnim3 : public TAnimation {};
class TAnim4 : public TAnimation {};
class TAnim5 : public TAnimation {};

}  // namespace quillotide
