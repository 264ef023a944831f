// On POSIX the output is bytes: the texts' ASCII, and each path's bytes exactly as the
// program received them, whatever their encoding. Nothing goes through the locale.
#include <cstdio>
#include <cstring>

#include "tool/console.h"

namespace corvinade {

void WriteToStandardOutput(const NativeString& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

const NativeChar* FindFileName(const NativeChar* path) {
  const NativeChar* lastSeparator = std::strrchr(path, '/');
  return lastSeparator == nullptr ? path : lastSeparator + 1;
}

}  // namespace corvinade
