// Real dumps and executables that nobody on this project wrote, read in place from the
// shared test data. Their facts come from the data's PROVENANCE.md.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imagefiles/pe_identity.h"
#include "tests/builders.h"
#include "tests/test_files.h"
#include "tests/tool_scene.h"

namespace corvinade {
namespace {

using test::Bytes;

struct RealPe {
  const char* file;
  FileStatus status;
  ImageIdentity identity;
};

class RealPeTest : public testing::TestWithParam<RealPe> {};

TEST_P(RealPeTest, GivesTheDocumentedIdentity) {
  CORVINADE_REQUIRE_TEST_DATA();
  const RealPe& c = GetParam();
  const NativeString path = test::TestDataFile(std::string("pe/") + c.file);
  ImageIdentity identity{0xDEADBEEF, 0xDEADBEEF, 0xDEADBEEF};
  ASSERT_EQ(ReadImageIdentity(path.c_str(), identity), c.status);
  if (c.status == FileStatus::Ok) {
    EXPECT_EQ(identity.TimeDateStamp, c.identity.TimeDateStamp);
    EXPECT_EQ(identity.SizeOfImage, c.identity.SizeOfImage);
    EXPECT_EQ(identity.CheckSum, c.identity.CheckSum);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Provenance, RealPeTest,
    testing::Values(
        RealPe{"crash.exe", FileStatus::Ok, {0x5AB38077, 0x9000, 0}},
        RealPe{"dump_syms_regtest64.exe", FileStatus::Ok, {0x589DFD11, 0x1A000, 0}},
        RealPe{"pe_only_symbol_test.dll", FileStatus::Ok, {0x5C8AD05F, 0x12000, 0}},
        RealPe{"driver.sys", FileStatus::Ok, {0, 0x400, 0xFB5A}},
        RealPe{"HelloWorld.efi", FileStatus::Ok, {0, 0x12000, 0x1AA19}},
        RealPe{"tinyXP.exe", FileStatus::Ok, {0xC3582A6A, 0x2E, 0}},
        RealPe{"tinyW7x64.exe", FileStatus::Ok, {0x72700000, 0x40, 0}},
        RealPe{"footer.exe", FileStatus::Ok, {0, 0x2000, 0}},
        RealPe{"maxvals.exe", FileStatus::Ok, {0xFFFFFFFF, 0x2000, 0xFFFFFFFF}},
        RealPe{"malformed_resource_tree.exe", FileStatus::Ok, {0x61206161, 0xFFFF6161, 0x61616162}},
        RealPe{"d_tiny.dll", FileStatus::BadFormat, {}},
        RealPe{"dosZMXP.exe", FileStatus::BadFormat, {}},
        RealPe{"exe2pe.exe", FileStatus::BadFormat, {}}),
    [](const testing::TestParamInfo<RealPe>& info) {
      std::string name = info.param.file;
      for (char& ch : name) {
        ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
      }
      return name;
    });

// A real dump, a time stamp found in it, and where its module list lies.
struct RealDump {
  const char* name;
  const char* file;
  std::uint32_t listRva;
  std::uint32_t numberOfModules;
  bool padded;  // records from Rva + 8
  std::uint32_t stamp;
  int matches;
};

class RealDumpTest : public testing::TestWithParam<RealDump> {};

// Patches a copy with the built tool against an executable carrying the stamp: exactly the
// 8 bytes after BaseOfImage of each record with that stamp change, nothing else.
TEST_P(RealDumpTest, ChangesExactlyTheMatchingRecords) {
  CORVINADE_REQUIRE_TEST_DATA();
  const RealDump& c = GetParam();
  const Bytes original = test::ReadFile(test::TestDataFile(std::string("minidumps/") + c.file));
  test::TempDir dir;
  const NativeString dump = dir / c.file;
  const NativeString exe = dir / "matching.exe";
  test::WriteFile(dump, original);
  test::WriteFile(exe, test::PeBuilder().Identity(c.stamp, 0x00C0FFEE, 0x00FACADE).Build());

  Bytes expected = original;
  int found = 0;
  const std::uint64_t first = std::uint64_t{c.listRva} + (c.padded ? 8 : 4);
  for (std::uint64_t j = 0; j < c.numberOfModules; ++j) {
    const std::uint64_t record = first + 108 * j;
    if (test::Get32(original, record + 16) == c.stamp) {
      test::Put32(expected, record + 8, 0x00C0FFEE);
      test::Put32(expected, record + 12, 0x00FACADE);
      ++found;
    }
  }
  ASSERT_EQ(found, c.matches) << "the documented records are not where the table says";

  const test::ProcessResult result = test::RunProcess({test::ToolPath(), dump, exe});
  if (c.matches > 0) {
    EXPECT_EQ(result.standardOutput, test::kBanner + test::kUpdated);
    EXPECT_EQ(result.exitStatus, 0);
  } else {
    EXPECT_EQ(result.standardOutput, test::kBanner + test::NotFound("matching.exe"));
    EXPECT_EQ(result.exitStatus, 1);
  }
  EXPECT_EQ(test::ReadFile(dump), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Provenance, RealDumpTest,
    testing::Values(
        RealDump{"WindowsMini", "windows-mini.dmp", 0x7C0, 17, false, 0x5AB38077, 1},
        RealDump{"Minidump2TwoRecordsOneStamp", "minidump2.dmp", 0x1E8, 13, false, 0x411096AE, 2},
        RealDump{"Sigsegv", "sigsegv.dmp", 0x724, 4, false, 0x5C0AE385, 1},
        RealDump{"FizzbuzzListIsThirdEntry", "fizzbuzz_no_heap.dmp", 0x2D4, 6, false, 0x55F88F6B,
                 1},
        RealDump{"InvalidParameterTopBitStamp", "invalid-parameter.dmp", 0x82C, 31, false,
                 0xA5A334D4, 1},
        RealDump{"CrashpadElevenRecordsOneStamp", "minidump_crashpad_annotation.dmp", 0x2D60, 354,
                 false, 0x6375A6FF, 11},
        RealDump{"CrashpadZeroStamp", "minidump_crashpad_annotation.dmp", 0x2D60, 354, false, 0, 1},
        RealDump{"LinuxAllZeroStamps", "linux_null_read_av.dmp", 0x26C8, 8, false, 0, 8},
        RealDump{"PaddedListRealRecords", "module-list-padded.dmp", 0x2C, 2, true, 0, 2},
        RealDump{"InvalidRangeHasNoModuleList", "invalid-range.dmp", 0, 0, false, 0, 0}),
    [](const testing::TestParamInfo<RealDump>& info) { return info.param.name; });

// crash.exe and windows-mini.dmp are the same build. With the record's two fields
// changed in a copy, the tool must restore the copy to the original byte for byte.
TEST(RealPairTest, CrashExeRestoresWindowsMiniDump) {
  CORVINADE_REQUIRE_TEST_DATA();
  const Bytes original = test::ReadFile(test::TestDataFile("minidumps/windows-mini.dmp"));
  Bytes altered = original;
  test::Put32(altered, 0x7CC, 0x0000A000);  // SizeOfImage of crash.exe's record
  test::Put32(altered, 0x7D0, 0x12345678);  // its CheckSum
  test::TempDir dir;
  const NativeString dump = dir / "windows-mini.dmp";
  test::WriteFile(dump, altered);

  const test::ProcessResult result =
      test::RunProcess({test::ToolPath(), dump, test::TestDataFile("pe/crash.exe")});
  EXPECT_EQ(result.standardOutput, test::kBanner + test::kUpdated);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(test::ReadFile(dump), original);
}

}  // namespace
}  // namespace corvinade
