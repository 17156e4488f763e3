#include "sample/Sample.h"

namespace quillotide::sample {

void writeAnimdata(const std::string& dir) { (void)dir; }

}  // namespace quillotide::sample
