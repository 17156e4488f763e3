#include "cli/Cli.h"

namespace quillotide::cli {

// Empty until its commands exist; groups without commands are not listed.
Group tiledataGroup() { return {}; }

}  // namespace quillotide::cli
