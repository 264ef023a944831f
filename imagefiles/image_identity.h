// The values that travel between the command line and the two file operations.
#ifndef CORVINADE_IMAGEFILES_IMAGE_IDENTITY_H
#define CORVINADE_IMAGEFILES_IMAGE_IDENTITY_H

#include <cstdint>
#include <string>

namespace corvinade {

// The identity of a PE image as debuggers and symbol stores see it, in the order the
// executable's headers give it.
struct ImageIdentity {
  std::uint32_t TimeDateStamp = 0;
  std::uint32_t SizeOfImage = 0;
  std::uint32_t CheckSum = 0;
};

// The outcome of a file operation. The numbers are part of the interface: keep them.
enum class FileStatus : int {
  Ok = 0,
  CannotOpen = 1,
  BadFormat = 2,
  ModuleNotFound = 3,
  // The bytes could not be written through the view or flushed to the file.
  CannotWrite = 4,
};

// A path in the platform's own characters, exactly as the user gave it: never converted,
// trimmed or resolved. Windows hands the program wide strings; POSIX hands it bytes.
#ifdef _WIN32
using NativeChar = wchar_t;
#define CORVINADE_NATIVE_TEXT(text) L##text
#else
using NativeChar = char;
#define CORVINADE_NATIVE_TEXT(text) text
#endif
using NativeString = std::basic_string<NativeChar>;

}  // namespace corvinade

#endif  // CORVINADE_IMAGEFILES_IMAGE_IDENTITY_H
