// End to end: the built tool runs as a process; its output, exit status and the dump's
// bytes afterwards are checked exactly. These cases hold on every platform; each
// platform's own are in tool_<platform>_test.cpp.
#include "tests/tool_scene.h"

namespace corvinade::test {
namespace {

TEST_P(ToolTest, PrintsOneOutcomeAndChangesOnlyWhatItSays) {
  const ToolCase& c = GetParam();
  Scene scene;
  const Argv argv = c.argv(scene);
  const ProcessResult result = RunToolWithArgv(ToolPath(), argv);
  ASSERT_FALSE(result.timedOut) << "the tool must return promptly";
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exitStatus, c.exitStatus);
  EXPECT_EQ(result.standardOutput, kBanner + c.output(scene));
  EXPECT_EQ(result.standardError, "");
  EXPECT_EQ(ReadFile(scene.dump),
            c.dumpAfter == DumpAfter::Updated ? scene.updatedBytes : scene.dumpBytes);
}

const NativeString kEmpty;

INSTANTIATE_TEST_SUITE_P(
    Arguments, ToolTest,
    testing::Values(
        ToolCase{"NoArguments", [](Scene&) { return Argv{Tool()}; },
                 [](const Scene&) { return kUsage; }, 1},
        ToolCase{"OnlyTheDump",
                 [](Scene& s) {
                   return Argv{Tool(), s.dump};
                 },
                 [](const Scene&) { return kUsage; }, 1},
        ToolCase{"BothEmpty",
                 [](Scene&) {
                   return Argv{Tool(), kEmpty, kEmpty};
                 },
                 [](const Scene&) { return std::string("Crash dump file does not specified."); },
                 1},
        ToolCase{"EmptyDumpPath",
                 [](Scene& s) {
                   return Argv{Tool(), kEmpty, s.exe};
                 },
                 [](const Scene&) { return std::string("Crash dump file does not specified."); },
                 1},
        ToolCase{"EmptyExecutablePath",
                 [](Scene& s) {
                   return Argv{Tool(), s.dump, kEmpty};
                 },
                 [](const Scene&) { return std::string("Executable file does not specified."); },
                 1},
        ToolCase{"Updates",
                 [](Scene& s) {
                   return Argv{Tool(), s.dump, s.exe};
                 },
                 [](const Scene&) { return kUpdated; }, 0, DumpAfter::Updated},
        ToolCase{"ExtraArgumentsAreIgnored",
                 [](Scene& s) {
                   return Argv{Tool(), s.dump, s.exe, Native("--help"), Native("/?"), kEmpty};
                 },
                 [](const Scene&) { return kUpdated; }, 0, DumpAfter::Updated}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    Files, ToolTest,
    testing::Values(
        ToolCase{"NeitherFileExists",
                 [](Scene& s) {
                   return Argv{Tool(), s.dir / "no.dmp", s.dir / "no.exe"};
                 },
                 [](const Scene& s) { return CannotOpen(Printed(s.dir / "no.exe")); }, 1},
        ToolCase{"ExecutableMissing",
                 [](Scene& s) {
                   return Argv{Tool(), s.dump, s.dir / "no.exe"};
                 },
                 [](const Scene& s) { return CannotOpen(Printed(s.dir / "no.exe")); }, 1},
        ToolCase{"ExecutableNotPe",
                 [](Scene& s) {
                   return Argv{Tool(), s.dump, s.Add("notes.txt", Bytes(200, 'x'))};
                 },
                 [](const Scene& s) { return BadFormat(Printed(s.dir / "notes.txt")); }, 1},
        ToolCase{"DumpMissing",
                 [](Scene& s) {
                   return Argv{Tool(), s.dir / "no.dmp", s.exe};
                 },
                 [](const Scene& s) { return CannotOpen(Printed(s.dir / "no.dmp")); }, 1},
        // The executable is read first, so swapped arguments show up as a bad executable
        // and the dump is never opened.
        ToolCase{"ArgumentsSwapped",
                 [](Scene& s) {
                   return Argv{Tool(), s.exe, s.dump};
                 },
                 [](const Scene& s) { return BadFormat(Printed(s.dump)); }, 1},
        ToolCase{"DumpNotMinidump",
                 [](Scene& s) {
                   return Argv{Tool(), s.Add("x.dmp", Bytes(64, 'M')), s.exe};
                 },
                 [](const Scene& s) { return BadFormat(Printed(s.dir / "x.dmp")); }, 1},
        ToolCase{"NoModuleMatches",
                 [](Scene& s) {
                   return Argv{Tool(), s.dump,
                               s.Add("bin/other.exe", PeBuilder().Identity(0x1234, 1, 2).Build())};
                 },
                 [](const Scene&) { return NotFound("other.exe"); }, 1},
        ToolCase{"DumpIsADirectory",
                 [](Scene& s) {
                   return Argv{Tool(), s.dir / "bin", s.exe};
                 },
                 [](const Scene& s) { return CannotOpen(Printed(s.dir / "bin")); }, 1},
        ToolCase{"ExecutableIsADirectory",
                 [](Scene& s) {
                   return Argv{Tool(), s.dump, s.dir / "bin"};
                 },
                 [](const Scene& s) { return CannotOpen(Printed(s.dir / "bin")); }, 1},
        ToolCase{"DumpIsEmpty",
                 [](Scene& s) {
                   return Argv{Tool(), s.Add("empty.dmp", {}), s.exe};
                 },
                 [](const Scene& s) { return CannotOpen(Printed(s.dir / "empty.dmp")); }, 1}),
    CaseName);

}  // namespace
}  // namespace corvinade::test
