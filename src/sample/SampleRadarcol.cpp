#include "sample/Sample.h"

namespace quillotide::sample {

void writeRadarcol(const std::string& dir) { (void)dir; }

}  // namespace quillotide::sample
