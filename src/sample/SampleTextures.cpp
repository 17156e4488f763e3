#include "sample/Sample.h"

namespace quillotide::sample {

void writeTextures(const std::string& dir) { (void)dir; }

}  // namespace quillotide::sample
