#include "sample/Sample.h"

namespace quillotide::sample {

void writeArt(const std::string& dir) { (void)dir; }

}  // namespace quillotide::sample
