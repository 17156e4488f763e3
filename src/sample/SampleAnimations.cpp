#include "sample/Sample.h"

namespace quillotide::sample {

void writeAnimations(const std::string& dir) { (void)dir; }

}  // namespace quillotide::sample
