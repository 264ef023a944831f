// Files, real test data and child processes for the tests.
#ifndef CORVINADE_TESTS_TEST_FILES_H
#define CORVINADE_TESTS_TEST_FILES_H

#include <string>
#include <vector>

#include "tests/builders.h"

namespace corvinade::test {

// A fresh directory, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  // `name` inside the directory.
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const Bytes& bytes);
Bytes ReadFile(const std::string& path);

// The real files under the shared test data, or "" when they are not beside the project
// (as in a user's clone). Tests that need them skip then.
std::string TestDataDir();
#define CORVINADE_REQUIRE_TEST_DATA()                                                        \
  do {                                                                                       \
    if (::corvinade::test::TestDataDir().empty()) {                                          \
      GTEST_SKIP() << "the shared test data (../shared/testdata beside the project) is not " \
                      "here; real-file cases skipped";                                       \
    }                                                                                        \
  } while (0)

struct ProcessResult {
  int exitStatus = -1;  // -1 when the process did not exit normally
  int signal = 0;       // the signal that ended it, if one did
  bool timedOut = false;
  std::string standardOutput;
  std::string standardError;
};

// Runs `argv` (argv[0] is the program's path) with no standard input, collecting its
// output. A run that takes longer than `timeoutSeconds` is killed and marked timedOut.
ProcessResult RunProcess(const std::vector<std::string>& argv, int timeoutSeconds = 20);

// What the tool prints first on every run.
inline const std::string kBanner =
    "Corvinade v 1.0  Copyright (c) 2026 The Corvinade developers\n\n";

// The built tool, and the same run with the given argument vector as seen by the program
// (argument 0 included), which may be empty.
std::string ToolPath();
ProcessResult RunToolWithArgv(const std::string& program, const std::vector<std::string>& argv,
                              int timeoutSeconds = 20);

}  // namespace corvinade::test

#endif  // CORVINADE_TESTS_TEST_FILES_H
