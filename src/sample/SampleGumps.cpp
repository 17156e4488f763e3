#include "sample/Sample.h"

namespace quillotide::sample {

void writeGumps(const std::string& dir) { (void)dir; }

}  // namespace quillotide::sample
