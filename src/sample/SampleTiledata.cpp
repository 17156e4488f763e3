#include "sample/Sample.h"

namespace quillotide::sample {

void writeTiledata(const std::string& dir) { (void)dir; }

}  // namespace quillotide::sample
