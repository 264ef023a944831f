// End to end on Windows: the cases of its own that the tool test (tool_test.cpp) runs here,
// and a few that need the Windows API. The output is UTF-8 on a pipe, with "\r\n" line breaks.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/tool_scene.h"

namespace corvinade::test {
namespace {

INSTANTIATE_TEST_SUITE_P(
    WindowsArguments, ToolTest,
    testing::Values(ToolCase{
        "UsageNamesTheProgramWithoutItsDirectories",
        [](Scene&) { return std::vector<std::wstring>{L"C:\\d\u00e9bug tools\\my-corvinade.exe"}; },
        [](const Scene&) { return std::string("Usage: my-corvinade.exe dmp_file exe_file\r\n"); },
        1}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(WindowsFiles, ToolTest,
                         testing::Values(ToolCase{
                             "DumpIsTheNullDevice",
                             [](Scene& s) {
                               return std::vector<std::wstring>{Tool(), L"NUL", s.exe};
                             },
                             [](const Scene&) { return CannotOpen("NUL"); }, 1}),
                         CaseName);

// Windows paths: a drive letter and backslashes, forward slashes, and names outside ASCII,
// which reach the output as UTF-8.
INSTANTIATE_TEST_SUITE_P(
    Paths, ToolTest,
    testing::Values(ToolCase{"DriveLetterAndBackslashesShowOnlyTheFileName",
                             [](Scene& s) {
                               const std::wstring exe = s.Add(
                                   L"bin\\other.exe", PeBuilder().Identity(0x1234, 1, 2).Build());
                               EXPECT_EQ(exe.substr(1, 2), L":\\")
                                   << "the temporary folder has a drive letter";
                               return std::vector<std::wstring>{Tool(), s.dump, exe};
                             },
                             [](const Scene&) { return NotFound("other.exe"); }, 1},
                    ToolCase{"ForwardSlashesSeparateToo",
                             [](Scene& s) {
                               s.Add(L"bin\\other.exe", PeBuilder().Identity(0x1234, 1, 2).Build());
                               std::wstring exe = s.dir / L"bin/other.exe";
                               return std::vector<std::wstring>{Tool(), s.dump, exe};
                             },
                             [](const Scene&) { return NotFound("other.exe"); }, 1},
                    // Only the first letter of a path came out when a wide "%s" was read as narrow.
                    ToolCase{"NonAsciiNameIsPrintedWhole",
                             [](Scene& s) {
                               ::CreateDirectoryW((s.dir / L"r\u00e9pertoire %s").c_str(), nullptr);
                               return std::vector<std::wstring>{
                                   Tool(), s.dump,
                                   s.Add(L"r\u00e9pertoire %s\\\u00e4pp \u65e5\u672c %s%n.exe",
                                         PeBuilder().Identity(7, 1, 2).Build())};
                             },
                             [](const Scene&) {
                               return NotFound("\xC3\xA4pp \xE6\x97\xA5\xE6\x9C\xAC %s%n.exe");
                             },
                             1},
                    ToolCase{"NonAsciiPathInFullMessage",
                             [](Scene& s) {
                               return std::vector<std::wstring>{
                                   Tool(), s.dir / L"\u00fcn\u00efc\u00f6d\u00e9.dmp", s.exe};
                             },
                             [](const Scene& s) {
                               return CannotOpen(Printed(s.dir.Path()) +
                                                 "\\\xC3\xBCn\xC3\xAF\x63\xC3\xB6\x64\xC3\xA9.dmp");
                             },
                             1},
                    ToolCase{"NonAsciiDumpIsUpdated",
                             [](Scene& s) {
                               const std::wstring dump =
                                   s.dir / L"\u00fcn\u00efc\u00f6d\u00e9 100%s.dmp";
                               ::MoveFileW(s.dump.c_str(), dump.c_str());
                               s.dump = dump;
                               return std::vector<std::wstring>{Tool(), dump, s.exe};
                             },
                             [](const Scene&) { return kUpdated; }, 0, DumpAfter::Updated}),
    CaseName);

// A dump that cannot be opened for writing is left as it is; once the obstacle is gone,
// the same files update, so the failure was the obstacle and not the setup.
TEST(ToolWin32FileTest, ReadOnlyAttributeMeansCannotOpen) {
  Scene scene;
  ASSERT_TRUE(::SetFileAttributesW(scene.dump.c_str(), FILE_ATTRIBUTE_READONLY));
  CORVINADE_REQUIRE_READ_ONLY_ATTRIBUTE(scene.dump);
  ProcessResult result = RunProcess({Tool(), scene.dump, scene.exe});
  EXPECT_EQ(result.standardOutput, kBanner + CannotOpen(Printed(scene.dump)));
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(ReadFile(scene.dump), scene.dumpBytes);

  ASSERT_TRUE(::SetFileAttributesW(scene.dump.c_str(), FILE_ATTRIBUTE_NORMAL));
  result = RunProcess({Tool(), scene.dump, scene.exe});
  EXPECT_EQ(result.standardOutput, kBanner + kUpdated);
  EXPECT_EQ(ReadFile(scene.dump), scene.updatedBytes);
}

TEST(ToolWin32FileTest, DumpHeldWithoutSharingMeansCannotOpen) {
  Scene scene;
  // Opened here with no sharing at all: the tool's open must fail, not wait.
  const HANDLE held = ::CreateFileW(scene.dump.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ProcessResult result = RunProcess({Tool(), scene.dump, scene.exe});
  ::CloseHandle(held);
  EXPECT_EQ(result.standardOutput, kBanner + CannotOpen(Printed(scene.dump)));
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(ReadFile(scene.dump), scene.dumpBytes);

  result = RunProcess({Tool(), scene.dump, scene.exe});
  EXPECT_EQ(result.standardOutput, kBanner + kUpdated);
  EXPECT_EQ(ReadFile(scene.dump), scene.updatedBytes);
}

}  // namespace
}  // namespace corvinade::test
