// Files, real test data and child processes for the tests.
#ifndef CORVINADE_TESTS_TEST_FILES_H
#define CORVINADE_TESTS_TEST_FILES_H

#include <string>
#include <vector>

#include "imagefiles/image_identity.h"
#include "tests/builders.h"

namespace corvinade::test {

// Paths are the platform's own strings, as the tool takes them: bytes on POSIX, wide
// characters on Windows. Native() turns ASCII test text into one.
NativeString Native(const std::string& ascii);
// How the tool prints such a path: its bytes on POSIX (which may be any bytes), and the
// same characters in UTF-8 on Windows, where only ASCII is taken. Tests spell out the
// UTF-8 of other characters themselves, so that the tool's own conversion does not check
// itself.
std::string Printed(const NativeString& path);

// The platform's directory separator, and the line break that the tool's output uses.
#ifdef _WIN32
constexpr NativeChar kSeparator = L'\\';
inline const std::string kLineBreak = "\r\n";
#else
constexpr NativeChar kSeparator = '/';
inline const std::string kLineBreak = "\n";
#endif

// A fresh directory, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const NativeString& Path() const { return path_; }
  // `name` inside the directory; "/" in `name` separates directories.
  NativeString operator/(const std::string& name) const;
#ifdef _WIN32
  NativeString operator/(const std::wstring& name) const {
    return path_ + kSeparator + name;
  }
#endif

 private:
  NativeString path_;
};

void WriteFile(const NativeString& path, const Bytes& bytes);
Bytes ReadFile(const NativeString& path);

// The real files under the shared test data, or "" when they are not beside the project
// (as in a user's clone). Tests that need them skip then.
NativeString TestDataDir();
// `relative` ("pe/crash.exe") inside TestDataDir().
NativeString TestDataFile(const std::string& relative);
#define CORVINADE_REQUIRE_TEST_DATA()                                                        \
  do {                                                                                       \
    if (::corvinade::test::TestDataDir().empty()) {                                          \
      GTEST_SKIP() << "the shared test data (../shared/testdata beside the project) is not " \
                      "here; real-file cases skipped";                                       \
    }                                                                                        \
  } while (0)

#ifdef _WIN32
// Whether a file with the read-only attribute refuses to open for writing here. Windows
// refuses; Wine keeps the attribute as a Linux file mode, which root passes.
bool ReadOnlyAttributeIsEnforced(const NativeString& readOnlyFile);
#define CORVINADE_REQUIRE_READ_ONLY_ATTRIBUTE(path)                                           \
  do {                                                                                        \
    if (!::corvinade::test::ReadOnlyAttributeIsEnforced(path)) {                              \
      GTEST_SKIP() << "the read-only attribute is not enforced here (Wine run by root keeps " \
                      "it as a file mode, which root passes)";                                \
    }                                                                                         \
  } while (0)
#endif

struct ProcessResult {
  int exitStatus = -1;  // -1 when the process did not exit normally
  int signal = 0;       // the signal that ended it, if one did
  bool timedOut = false;
  std::string standardOutput;
  std::string standardError;
};

// Runs `argv` (argv[0] is the program's path) with no standard input, collecting its
// output as bytes. A run that takes longer than `timeoutSeconds` is killed and marked
// timedOut.
ProcessResult RunProcess(const std::vector<NativeString>& argv, int timeoutSeconds = 20);

// What the tool prints first on every run.
inline const std::string kBanner =
    "Corvinade v 1.0  Copyright (c) 2026 The Corvinade developers" + kLineBreak + kLineBreak;

// The built tool, and the same run with the given argument vector as seen by the program
// (argument 0 included), which may be empty.
NativeString ToolPath();
ProcessResult RunToolWithArgv(const NativeString& program, const std::vector<NativeString>& argv,
                              int timeoutSeconds = 20);

}  // namespace corvinade::test

#endif  // CORVINADE_TESTS_TEST_FILES_H
