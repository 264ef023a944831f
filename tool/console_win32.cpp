// On Windows the texts and paths are wide strings. A console gets them as they are, through
// WriteConsoleW, so that any name displays whatever the console's code page. A pipe or a
// file gets UTF-8. In both, each "\n" goes out as "\r\n", the line break of Windows text.
#include <shlwapi.h>
#include <windows.h>

#include <string>

#include "tool/console.h"

namespace corvinade {

namespace {

std::wstring WithWindowsLineBreaks(const std::wstring& text) {
  std::wstring result;
  result.reserve(text.size() + 4);
  for (const wchar_t character : text) {
    if (character == L'\n') {
      result += L'\r';
    }
    result += character;
  }
  return result;
}

// UTF-8 for `text`. A lone surrogate, which a Windows file name may hold, becomes U+FFFD.
std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) {
    return std::string();
  }
  const int wideLength = static_cast<int>(text.size());
  const int length =
      ::WideCharToMultiByte(CP_UTF8, 0, text.data(), wideLength, nullptr, 0, nullptr, nullptr);
  if (length <= 0) {
    return std::string();
  }
  std::string result(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), wideLength, &result[0], length, nullptr, nullptr);
  return result;
}

}  // namespace

void WriteToStandardOutput(const NativeString& text) {
  const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE) {
    return;
  }
  const std::wstring lines = WithWindowsLineBreaks(text);
  DWORD mode = 0;
  DWORD written = 0;
  if (::GetConsoleMode(output, &mode)) {
    ::WriteConsoleW(output, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
    return;
  }
  const std::string bytes = ToUtf8(lines);
  ::WriteFile(output, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

const NativeChar* FindFileName(const NativeChar* path) {
  return ::PathFindFileNameW(path);
}

}  // namespace corvinade
