// End to end: the built tool runs as a process; its output, exit status and the dump's
// bytes afterwards are checked exactly. The cases are in tool_<platform>_test.cpp.
#include "tests/tool_scene.h"

namespace corvinade::test {
namespace {

TEST_P(ToolTest, PrintsOneOutcomeAndChangesOnlyWhatItSays) {
  const ToolCase& c = GetParam();
  Scene scene;
  const std::vector<NativeString> argv = c.argv(scene);
  const ProcessResult result = RunToolWithArgv(ToolPath(), argv);
  ASSERT_FALSE(result.timedOut) << "the tool must return promptly";
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exitStatus, c.exitStatus);
  EXPECT_EQ(result.standardOutput, kBanner + c.output(scene));
  EXPECT_EQ(result.standardError, "");
  EXPECT_EQ(ReadFile(scene.dump),
            c.dumpAfter == DumpAfter::Updated ? scene.updatedBytes : scene.dumpBytes);
}

}  // namespace
}  // namespace corvinade::test
