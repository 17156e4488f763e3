#include "sample/Sample.h"

namespace quillotide::sample {

void writeHues(const std::string& dir) { (void)dir; }

}  // namespace quillotide::sample
