// End to end on POSIX: the cases of its own that the tool test (tool_test.cpp) runs here.
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/tool_scene.h"

namespace corvinade::test {
namespace {

INSTANTIATE_TEST_SUITE_P(
    PosixArguments, ToolTest,
    testing::Values(
        ToolCase{
            "UsageNamesTheProgramWithoutItsDirectories",
            [](Scene&) { return std::vector<std::string>{"/opt/débug tools/my-corvinade"}; },
            [](const Scene&) { return std::string("Usage: my-corvinade dmp_file exe_file\n"); }, 1},
        ToolCase{"NoArgumentZeroAtAll", [](Scene&) { return std::vector<std::string>{}; },
                 [](const Scene&) { return kUsage; }, 1}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    PosixFiles, ToolTest,
    testing::Values(ToolCase{"DumpIsAFifo",
                             [](Scene& s) {
                               ::mkfifo((s.dir / "fifo").c_str(), 0600);
                               return std::vector<std::string>{Tool(), s.dir / "fifo", s.exe};
                             },
                             [](const Scene& s) { return CannotOpen(s.dir / "fifo"); }, 1},
                    ToolCase{"ExecutableIsAFifo",
                             [](Scene& s) {
                               ::mkfifo((s.dir / "fifo").c_str(), 0600);
                               return std::vector<std::string>{Tool(), s.dump, s.dir / "fifo"};
                             },
                             [](const Scene& s) { return CannotOpen(s.dir / "fifo"); }, 1},
                    ToolCase{"DumpIsDevNull",
                             [](Scene& s) {
                               return std::vector<std::string>{Tool(), "/dev/null", s.exe};
                             },
                             [](const Scene&) { return CannotOpen("/dev/null"); }, 1}),
    CaseName);

// Paths reach the system and the output byte for byte: not resolved, not re-encoded, and
// a "%" in them is not a format directive.
INSTANTIATE_TEST_SUITE_P(
    Paths, ToolTest,
    testing::Values(
        ToolCase{"PercentAndNonAsciiUpdate",
                 [](Scene& s) {
                   const std::string dump = s.Add("crash 100%s %n %d ünïcödé.dmp", s.dumpBytes);
                   ::rename(dump.c_str(), s.dump.c_str());
                   ::symlink(s.dump.c_str(), dump.c_str());
                   return std::vector<std::string>{Tool(), dump, s.exe};
                 },
                 [](const Scene&) { return kUpdated; }, 0, DumpAfter::Updated},
        ToolCase{"PercentAndNonAsciiInModuleName",
                 [](Scene& s) {
                   ::mkdir((s.dir / "répertoire %s").c_str(), 0755);
                   return std::vector<std::string>{
                       Tool(), s.dump,
                       s.Add("répertoire %s/äpp %s%n.exe", PeBuilder().Identity(7, 1, 2).Build())};
                 },
                 [](const Scene&) { return NotFound("äpp %s%n.exe"); }, 1},
        ToolCase{"NonUtf8BytesInPath",
                 [](Scene& s) {
                   return std::vector<std::string>{Tool(), s.dump, s.dir / "\xff\xfe\x80%s.exe"};
                 },
                 [](const Scene& s) { return CannotOpen(s.dir / "\xff\xfe\x80%s.exe"); }, 1},
        ToolCase{"PathPrintedAsGivenNotResolved",
                 [](Scene& s) {
                   return std::vector<std::string>{Tool(), s.dir / "bin/.././/no.dmp ", s.exe};
                 },
                 [](const Scene& s) { return CannotOpen(s.dir / "bin/.././/no.dmp "); }, 1}),
    CaseName);

// File modes: root ignores them, so as root the tool runs as an unprivileged user.
TEST(ToolPermissionTest, ReadOnlyDumpAndUnreadableExecutableCannotBeOpened) {
  Scene scene;
  std::vector<std::string> prefix;
  std::string tool = ToolPath();
  if (::geteuid() == 0) {
    if (::access("/usr/bin/setpriv", X_OK) != 0) {
      GTEST_SKIP() << "running as root without setpriv: cannot drop privileges to test modes";
    }
    // The unprivileged user must reach the tool and the files.
    tool = scene.dir / "corvinade";
    WriteFile(tool, ReadFile(ToolPath()));
    ::chmod(tool.c_str(), 0755);
    ::chmod(scene.dir.Path().c_str(), 0755);
    ::chmod((scene.dir / "bin").c_str(), 0755);
    prefix = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
  }
  auto run = [&](const std::vector<std::string>& args) {
    std::vector<std::string> argv = prefix;
    argv.push_back(tool);
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProcess(argv);
  };

  ::chmod(scene.exe.c_str(), 0644);
  ::chmod(scene.dump.c_str(), 0444);
  ProcessResult result = run({scene.dump, scene.exe});
  EXPECT_EQ(result.standardOutput, kBanner + CannotOpen(scene.dump));
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(ReadFile(scene.dump), scene.dumpBytes);

  ::chmod(scene.dump.c_str(), 0666);
  ::chmod(scene.exe.c_str(), 0200);
  result = run({scene.dump, scene.exe});
  EXPECT_EQ(result.standardOutput, kBanner + CannotOpen(scene.exe));
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(ReadFile(scene.dump), scene.dumpBytes);

  // With the modes put right, the same user updates the dump: the failures above were
  // the modes, not the setup.
  ::chmod(scene.exe.c_str(), 0644);
  result = run({scene.dump, scene.exe});
  EXPECT_EQ(result.standardOutput, kBanner + kUpdated);
  EXPECT_EQ(ReadFile(scene.dump), scene.updatedBytes);
}

}  // namespace
}  // namespace corvinade::test
