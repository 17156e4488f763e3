#include "cli/Cli.h"

namespace quillotide::cli {

// Empty until its commands exist; groups without commands are not listed.
Group hueGroup() { return {}; }

}  // namespace quillotide::cli
