// End to end: the built tool runs as a process; its output, exit status and the dump's
// bytes afterwards are checked exactly.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/builders.h"
#include "tests/test_files.h"

namespace corvinade {
namespace {

using test::Bytes;
using test::TempDir;

constexpr std::uint32_t kStamp = 0x5AB38077;

// A directory with a dump whose first record matches the executable, the executable in a
// subdirectory, and what the dump must look like once updated.
struct Scene {
  TempDir dir;
  std::string dump = dir / "crash.dmp";
  std::string exe = dir / "bin/app.exe";
  Bytes dumpBytes;
  Bytes updatedBytes;

  Scene() {
    ::mkdir((dir / "bin").c_str(), 0755);
    test::MinidumpBuilder builder;
    builder.AddModuleList({test::TestModule{kStamp, 0x8000, 0x1111}, test::TestModule{0x11}});
    dumpBytes = builder.Build();
    updatedBytes = dumpBytes;
    test::Put32(updatedBytes, builder.RecordOffset(0, 0) + 8, 0x9000);
    test::Put32(updatedBytes, builder.RecordOffset(0, 0) + 12, 0x2222);
    test::WriteFile(dump, dumpBytes);
    test::WriteFile(exe, test::PeBuilder().Identity(kStamp, 0x9000, 0x2222).Build());
  }
  // Another file beside the others, with the given bytes.
  std::string Add(const std::string& name, const Bytes& bytes) {
    test::WriteFile(dir / name, bytes);
    return dir / name;
  }
};

enum class DumpAfter { Unchanged, Updated };

struct ToolCase {
  const char* name;
  // The whole argument vector, argument 0 included.
  std::function<std::vector<std::string>(Scene&)> argv;
  // What follows the banner.
  std::function<std::string(const Scene&)> output;
  int exitStatus;
  DumpAfter dumpAfter = DumpAfter::Unchanged;
};

class ToolTest : public testing::TestWithParam<ToolCase> {};

TEST_P(ToolTest, PrintsOneOutcomeAndChangesOnlyWhatItSays) {
  const ToolCase& c = GetParam();
  Scene scene;
  const std::vector<std::string> argv = c.argv(scene);
  const test::ProcessResult result = test::RunToolWithArgv(test::ToolPath(), argv);
  ASSERT_FALSE(result.timedOut) << "the tool must return promptly";
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exitStatus, c.exitStatus);
  EXPECT_EQ(result.standardOutput, test::kBanner + c.output(scene));
  EXPECT_EQ(result.standardError, "");
  EXPECT_EQ(test::ReadFile(scene.dump),
            c.dumpAfter == DumpAfter::Updated ? scene.updatedBytes : scene.dumpBytes);
}

std::string Quoted(const char* before, const std::string& path, const char* after) {
  return before + ("\"" + path + "\"") + after;
}
std::string CannotOpen(const std::string& path) {
  return Quoted("Can not open ", path, ".");
}
std::string BadFormat(const std::string& path) {
  return Quoted("File ", path, " has an incorrect format.");
}
std::string NotFound(const std::string& name) {
  return Quoted("Module ", name, " not found in the DMP file.");
}
const std::string kUpdated = "DMP file sucessfully updated.";
std::string Tool() {
  return test::ToolPath();
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, ToolTest,
    testing::Values(
        ToolCase{"NoArguments", [](Scene&) { return std::vector<std::string>{Tool()}; },
                 [](const Scene&) { return std::string("Usage: corvinade dmp_file exe_file\n"); },
                 1},
        ToolCase{"OnlyTheDump",
                 [](Scene& s) {
                   return std::vector<std::string>{Tool(), s.dump};
                 },
                 [](const Scene&) { return std::string("Usage: corvinade dmp_file exe_file\n"); },
                 1},
        ToolCase{
            "UsageNamesTheProgramWithoutItsDirectories",
            [](Scene&) { return std::vector<std::string>{"/opt/débug tools/my-corvinade"}; },
            [](const Scene&) { return std::string("Usage: my-corvinade dmp_file exe_file\n"); }, 1},
        ToolCase{"NoArgumentZeroAtAll", [](Scene&) { return std::vector<std::string>{}; },
                 [](const Scene&) { return std::string("Usage: corvinade dmp_file exe_file\n"); },
                 1},
        ToolCase{"BothEmpty",
                 [](Scene&) {
                   return std::vector<std::string>{Tool(), "", ""};
                 },
                 [](const Scene&) { return std::string("Crash dump file does not specified."); },
                 1},
        ToolCase{"EmptyDumpPath",
                 [](Scene& s) {
                   return std::vector<std::string>{Tool(), "", s.exe};
                 },
                 [](const Scene&) { return std::string("Crash dump file does not specified."); },
                 1},
        ToolCase{"EmptyExecutablePath",
                 [](Scene& s) {
                   return std::vector<std::string>{Tool(), s.dump, ""};
                 },
                 [](const Scene&) { return std::string("Executable file does not specified."); },
                 1},
        ToolCase{"Updates",
                 [](Scene& s) {
                   return std::vector<std::string>{Tool(), s.dump, s.exe};
                 },
                 [](const Scene&) { return kUpdated; }, 0, DumpAfter::Updated},
        ToolCase{"ExtraArgumentsAreIgnored",
                 [](Scene& s) {
                   return std::vector<std::string>{Tool(), s.dump, s.exe, "--help", ""};
                 },
                 [](const Scene&) { return kUpdated; }, 0, DumpAfter::Updated}),
    [](const testing::TestParamInfo<ToolCase>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Files, ToolTest,
    testing::Values(
        ToolCase{"NeitherFileExists",
                 [](Scene& s) {
                   return std::vector<std::string>{Tool(), s.dir / "no.dmp", s.dir / "no.exe"};
                 },
                 [](const Scene& s) { return CannotOpen(s.dir / "no.exe"); }, 1},
        ToolCase{"ExecutableMissing",
                 [](Scene& s) {
                   return std::vector<std::string>{Tool(), s.dump, s.dir / "no.exe"};
                 },
                 [](const Scene& s) { return CannotOpen(s.dir / "no.exe"); }, 1},
        ToolCase{
            "ExecutableNotPe",
            [](Scene& s) {
              return std::vector<std::string>{Tool(), s.dump, s.Add("notes.txt", Bytes(200, 'x'))};
            },
            [](const Scene& s) { return BadFormat(s.dir / "notes.txt"); }, 1},
        ToolCase{"DumpMissing",
                 [](Scene& s) {
                   return std::vector<std::string>{Tool(), s.dir / "no.dmp", s.exe};
                 },
                 [](const Scene& s) { return CannotOpen(s.dir / "no.dmp"); }, 1},
        // The executable is read first, so swapped arguments show up as a bad executable
        // and the dump is never opened.
        ToolCase{"ArgumentsSwapped",
                 [](Scene& s) {
                   return std::vector<std::string>{Tool(), s.exe, s.dump};
                 },
                 [](const Scene& s) { return BadFormat(s.dump); }, 1},
        ToolCase{"DumpNotMinidump",
                 [](Scene& s) {
                   return std::vector<std::string>{Tool(), s.Add("x.dmp", Bytes(64, 'M')), s.exe};
                 },
                 [](const Scene& s) { return BadFormat(s.dir / "x.dmp"); }, 1},
        ToolCase{"NoModuleMatches",
                 [](Scene& s) {
                   return std::vector<std::string>{
                       Tool(), s.dump,
                       s.Add("bin/other.exe", test::PeBuilder().Identity(0x1234, 1, 2).Build())};
                 },
                 [](const Scene&) { return NotFound("other.exe"); }, 1},
        ToolCase{"DumpIsADirectory",
                 [](Scene& s) {
                   return std::vector<std::string>{Tool(), s.dir / "bin", s.exe};
                 },
                 [](const Scene& s) { return CannotOpen(s.dir / "bin"); }, 1},
        ToolCase{"ExecutableIsADirectory",
                 [](Scene& s) {
                   return std::vector<std::string>{Tool(), s.dump, s.dir / "bin"};
                 },
                 [](const Scene& s) { return CannotOpen(s.dir / "bin"); }, 1},
        ToolCase{"DumpIsAFifo",
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
                 [](const Scene&) { return CannotOpen("/dev/null"); }, 1},
        ToolCase{"DumpIsEmpty",
                 [](Scene& s) {
                   return std::vector<std::string>{Tool(), s.Add("empty.dmp", {}), s.exe};
                 },
                 [](const Scene& s) { return CannotOpen(s.dir / "empty.dmp"); }, 1}),
    [](const testing::TestParamInfo<ToolCase>& info) { return info.param.name; });

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
                       s.Add("répertoire %s/äpp %s%n.exe",
                             test::PeBuilder().Identity(7, 1, 2).Build())};
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
    [](const testing::TestParamInfo<ToolCase>& info) { return info.param.name; });

// File modes: root ignores them, so as root the tool runs as an unprivileged user.
TEST(ToolPermissionTest, ReadOnlyDumpAndUnreadableExecutableCannotBeOpened) {
  Scene scene;
  std::vector<std::string> prefix;
  std::string tool = test::ToolPath();
  if (::geteuid() == 0) {
    if (::access("/usr/bin/setpriv", X_OK) != 0) {
      GTEST_SKIP() << "running as root without setpriv: cannot drop privileges to test modes";
    }
    // The unprivileged user must reach the tool and the files.
    tool = scene.dir / "corvinade";
    test::WriteFile(tool, test::ReadFile(test::ToolPath()));
    ::chmod(tool.c_str(), 0755);
    ::chmod(scene.dir.Path().c_str(), 0755);
    ::chmod((scene.dir / "bin").c_str(), 0755);
    prefix = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
  }
  auto run = [&](const std::vector<std::string>& args) {
    std::vector<std::string> argv = prefix;
    argv.push_back(tool);
    argv.insert(argv.end(), args.begin(), args.end());
    return test::RunProcess(argv);
  };

  ::chmod(scene.exe.c_str(), 0644);
  ::chmod(scene.dump.c_str(), 0444);
  test::ProcessResult result = run({scene.dump, scene.exe});
  EXPECT_EQ(result.standardOutput, test::kBanner + CannotOpen(scene.dump));
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(test::ReadFile(scene.dump), scene.dumpBytes);

  ::chmod(scene.dump.c_str(), 0666);
  ::chmod(scene.exe.c_str(), 0200);
  result = run({scene.dump, scene.exe});
  EXPECT_EQ(result.standardOutput, test::kBanner + CannotOpen(scene.exe));
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(test::ReadFile(scene.dump), scene.dumpBytes);

  // With the modes put right, the same user updates the dump: the failures above were
  // the modes, not the setup.
  ::chmod(scene.exe.c_str(), 0644);
  result = run({scene.dump, scene.exe});
  EXPECT_EQ(result.standardOutput, test::kBanner + kUpdated);
  EXPECT_EQ(test::ReadFile(scene.dump), scene.updatedBytes);
}

}  // namespace
}  // namespace corvinade
