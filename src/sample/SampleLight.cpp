#include "sample/Sample.h"

namespace quillotide::sample {

void writeLight(const std::string& dir) { (void)dir; }

}  // namespace quillotide::sample
