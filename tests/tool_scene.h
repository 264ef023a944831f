// What the end-to-end tables of every platform share: the files a case starts from, the
// case itself, and the outcome texts. The test that runs a case is in tool_test.cpp; each
// platform's tables are in tool_<platform>_test.cpp.
#ifndef CORVINADE_TESTS_TOOL_SCENE_H
#define CORVINADE_TESTS_TOOL_SCENE_H

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/builders.h"
#include "tests/test_files.h"

namespace corvinade::test {

constexpr std::uint32_t kSceneStamp = 0x5AB38077;

// A directory with a dump whose first record matches the executable, the executable in a
// subdirectory, and what the dump must look like once updated.
struct Scene {
  TempDir dir;
  NativeString dump = dir / "crash.dmp";
  NativeString exe = dir / "bin/app.exe";
  Bytes dumpBytes;
  Bytes updatedBytes;

  Scene() {
    std::filesystem::create_directory(std::filesystem::path(dir / "bin"));
    MinidumpBuilder builder;
    builder.AddModuleList({TestModule{kSceneStamp, 0x8000, 0x1111}, TestModule{0x11}});
    dumpBytes = builder.Build();
    updatedBytes = dumpBytes;
    Put32(updatedBytes, builder.RecordOffset(0, 0) + 8, 0x9000);
    Put32(updatedBytes, builder.RecordOffset(0, 0) + 12, 0x2222);
    WriteFile(dump, dumpBytes);
    WriteFile(exe, PeBuilder().Identity(kSceneStamp, 0x9000, 0x2222).Build());
  }
  // Another file beside the others, with the given bytes.
  NativeString Add(const NativeString& name, const Bytes& bytes) {
    WriteFile(dir / name, bytes);
    return dir / name;
  }
};

enum class DumpAfter { Unchanged, Updated };

struct ToolCase {
  const char* name;
  // The whole argument vector, argument 0 included.
  std::function<std::vector<NativeString>(Scene&)> argv;
  // What follows the banner, as bytes.
  std::function<std::string(const Scene&)> output;
  int exitStatus;
  DumpAfter dumpAfter = DumpAfter::Unchanged;
};

class ToolTest : public testing::TestWithParam<ToolCase> {};

inline std::string CaseName(const testing::TestParamInfo<ToolCase>& info) {
  return info.param.name;
}

// The outcome texts, with the path or name that they quote.
inline std::string CannotOpen(const std::string& path) {
  return "Can not open \"" + path + "\".";
}
inline std::string BadFormat(const std::string& path) {
  return "File \"" + path + "\" has an incorrect format.";
}
inline std::string NotFound(const std::string& name) {
  return "Module \"" + name + "\" not found in the DMP file.";
}
inline const std::string kUpdated = "DMP file sucessfully updated.";

inline NativeString Tool() {
  return ToolPath();
}

}  // namespace corvinade::test

#endif  // CORVINADE_TESTS_TOOL_SCENE_H
