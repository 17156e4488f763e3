#include "sample/Sample.h"

namespace quillotide::sample {

void writeVerdata(const std::string& dir) { (void)dir; }

}  // namespace quillotide::sample
