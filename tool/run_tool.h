// The program itself: argument checks, the two file operations, and every message.
#ifndef CORVINADE_TOOL_RUN_TOOL_H
#define CORVINADE_TOOL_RUN_TOOL_H

#include "imagefiles/image_identity.h"

namespace corvinade {

// Runs the tool once over the process's argument vector: argument 1 is the dump,
// argument 2 the executable, further ones are ignored. Prints the banner and one outcome
// to standard output and returns the exit status: 0 when the dump was updated, 1 otherwise.
int RunTool(int argc, const NativeChar* const* argv);

}  // namespace corvinade

#endif  // CORVINADE_TOOL_RUN_TOOL_H
