// Splitting the command line as the platform hands it over into the program
// and its arguments.
#pragma once

#include <vector>

#include "host/host_ops.h"

namespace brunvald {

// Units 1 to 32 separate pieces; a NUL ends the line. A pair of quotes
// standing where a piece would begin is skipped. Inside a piece a quote opens
// a stretch up to the next quote (or the end) in which blanks belong to the
// piece; the quotes themselves are dropped. The first piece is the program.
std::vector<Text> SplitCommandLine(const Text& commandLine);

// The piece after the program; empty when there is none.
Text FirstArgument(const Text& commandLine);

}  // namespace brunvald
