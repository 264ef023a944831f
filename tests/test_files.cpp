// The parts of the test support that are the same on every platform.
#include "tests/test_files.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace corvinade::test {

NativeString Native(const std::string& ascii) {
  return NativeString(ascii.begin(), ascii.end());
}

NativeString TempDir::operator/(const std::string& name) const {
  NativeString path = path_ + kSeparator;
  for (const char character : name) {
    path += character == '/' ? kSeparator : static_cast<NativeChar>(character);
  }
  return path;
}

void WriteFile(const NativeString& path, const Bytes& bytes) {
  std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    throw std::runtime_error("cannot write a test file");
  }
}

Bytes ReadFile(const NativeString& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  if (!in) {
    throw std::runtime_error("cannot read a test file");
  }
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

NativeString TestDataDir() {
  const NativeString dir = Native(CORVINADE_TESTDATA_DIR);
  std::error_code error;
  return std::filesystem::is_regular_file(std::filesystem::path(dir + kSeparator) / "PROVENANCE.md",
                                          error)
             ? dir
             : NativeString();
}

NativeString TestDataFile(const std::string& relative) {
  NativeString path = TestDataDir();
  for (const char character : "/" + relative) {
    path += character == '/' ? kSeparator : static_cast<NativeChar>(character);
  }
  return path;
}

NativeString ToolPath() {
  return Native(CORVINADE_TOOL_PATH);
}

ProcessResult RunProcess(const std::vector<NativeString>& argv, int timeoutSeconds) {
  return RunToolWithArgv(argv.at(0), argv, timeoutSeconds);
}

}  // namespace corvinade::test
