// The fuzzers' checks, run on every test run over the real test files and over every
// input that a fuzzer once failed on (tests/fuzz_findings/).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/checks.h"
#include "tests/builders.h"
#include "tests/test_files.h"

namespace corvinade {
namespace {

using test::Bytes;
namespace fs = std::filesystem;

std::vector<fs::path> FilesIn(const fs::path& dir) {
  std::vector<fs::path> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(dir, error)) {
    if (entry.is_regular_file() && entry.path().extension() != ".md") {
      files.push_back(entry.path());
    }
  }
  return files;
}

Bytes WithIdentity(std::uint32_t stamp, const Bytes& dump) {
  Bytes input(12, 0);
  test::Put32(input, 0, stamp);
  test::Put32(input, 4, 0x00C0FFEE);
  test::Put32(input, 8, 0x00FACADE);
  input.insert(input.end(), dump.begin(), dump.end());
  return input;
}

// Every kept finding, every real executable, and every real dump with stamp 0 and with
// stamps found in the real dumps, passes the checks: among them, the same bytes as a plain
// walk and a second run that changes nothing.
TEST(FuzzChecksReplayTest, KeptFindingsAndRealFilesPassTheFuzzChecks) {
  const fs::path findings = CORVINADE_FUZZ_FINDINGS_DIR;
  ASSERT_TRUE(fs::is_directory(findings)) << findings;
  for (const fs::path& file : FilesIn(findings / "pe")) {
    const Bytes input = test::ReadFile(file.native());
    EXPECT_EQ(fuzz::CheckPeIdentityInput(input.data(), input.size()), nullptr) << file;
  }
  for (const fs::path& file : FilesIn(findings / "dump")) {
    const Bytes input = test::ReadFile(file.native());
    EXPECT_EQ(fuzz::CheckDumpModulesInput(input.data(), input.size()), nullptr) << file;
  }

  CORVINADE_REQUIRE_TEST_DATA();
  const fs::path data = test::TestDataDir();
  const std::vector<fs::path> executables = FilesIn(data / "pe");
  const std::vector<fs::path> dumps = FilesIn(data / "minidumps");
  ASSERT_FALSE(executables.empty());
  ASSERT_FALSE(dumps.empty());
  for (const fs::path& file : executables) {
    const Bytes input = test::ReadFile(file.native());
    EXPECT_EQ(fuzz::CheckPeIdentityInput(input.data(), input.size()), nullptr) << file;
  }
  for (const fs::path& file : dumps) {
    const Bytes dump = test::ReadFile(file.native());
    for (const std::uint32_t stamp : {0u, 0x5AB38077u, 0x6375A6FFu, 0x411096AEu}) {
      const Bytes input = WithIdentity(stamp, dump);
      EXPECT_EQ(fuzz::CheckDumpModulesInput(input.data(), input.size()), nullptr)
          << file << " with stamp " << stamp;
    }
  }
}

}  // namespace
}  // namespace corvinade
