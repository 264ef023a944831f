// What the end-to-end tables of every platform share: the files a case starts from, the
// case itself, and the outcome texts. The test that runs a case, and the cases that hold
// on every platform, are in tool_test.cpp; each platform's own are in
// tool_<platform>_test.cpp.
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
  // Another file beside the others, with the given bytes. `name` is ASCII text, where "/"
  // separates directories, or on Windows also a wide name taken as it is.
  template <typename Name>
  NativeString Add(const Name& name, const Bytes& bytes) {
    const NativeString path = dir / name;
    WriteFile(path, bytes);
    return path;
  }
};

enum class DumpAfter { Unchanged, Updated };

// The whole argument vector, argument 0 included.
using Argv = std::vector<NativeString>;

struct ToolCase {
  const char* name;
  std::function<Argv(Scene&)> argv;
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
// The usage line, naming the program by the file name that the tests run.
#ifdef _WIN32
inline const std::string kUsage = "Usage: corvinade.exe dmp_file exe_file" + kLineBreak;
#else
inline const std::string kUsage = "Usage: corvinade dmp_file exe_file" + kLineBreak;
#endif

inline NativeString Tool() {
  return ToolPath();
}

}  // namespace corvinade::test

#endif  // CORVINADE_TESTS_TOOL_SCENE_H
