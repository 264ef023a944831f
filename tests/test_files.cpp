// The parts of the test support that are the same on every platform.
#include "tests/test_files.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace corvinade::test {

NativeString Native(const std::string& ascii) {
  return NativeString(ascii.begin(), ascii.end());
}

std::string Printed(const NativeString& path) {
  std::string bytes;
  for (const NativeChar character : path) {
    if (sizeof(NativeChar) > 1 && static_cast<std::uint32_t>(character) >= 0x80) {
      throw std::invalid_argument("Printed() takes only ASCII wide text");
    }
    bytes += static_cast<char>(character);
  }
  return bytes;
}

namespace {

// `base`, a separator, then `relative` with each "/" turned into the platform's separator.
NativeString Join(const NativeString& base, const std::string& relative) {
  NativeString path = base + kSeparator;
  for (const char character : relative) {
    path += character == '/' ? kSeparator : static_cast<NativeChar>(character);
  }
  return path;
}

}  // namespace

NativeString TempDir::operator/(const std::string& name) const {
  return Join(path_, name);
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
  return Join(TestDataDir(), relative);
}

NativeString ToolPath() {
  return Native(CORVINADE_TOOL_PATH);
}

ProcessResult RunProcess(const std::vector<NativeString>& argv, int timeoutSeconds) {
  return RunToolWithArgv(argv.at(0), argv, timeoutSeconds);
}

}  // namespace corvinade::test
