// What the tool needs from the platform's console and paths; one source file a platform.
#ifndef CORVINADE_TOOL_CONSOLE_H
#define CORVINADE_TOOL_CONSOLE_H

#include "imagefiles/image_identity.h"

namespace corvinade {

// Writes `text` to standard output with one write. A failure to print is not examined.
void WriteToStandardOutput(const NativeString& text);

// The file-name part of `path`: the text after its last directory separator, or all of it
// when it has none. Points into `path`.
const NativeChar* FindFileName(const NativeChar* path);

}  // namespace corvinade

#endif  // CORVINADE_TOOL_CONSOLE_H
