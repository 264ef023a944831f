#include "imagefiles/mapped_file.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "tests/builders.h"
#include "tests/test_files.h"

namespace corvinade {
namespace {

using test::Bytes;
using test::TempDir;

struct OpenCase {
  const char* name;
  NativeString (*make)(const TempDir& dir);  // returns the path to open
};

class MappedFileOpenTest : public testing::TestWithParam<OpenCase> {};

TEST_P(MappedFileOpenTest, CannotOpenWhatIsNotANonEmptyRegularFile) {
  TempDir dir;
  const NativeString path = GetParam().make(dir);
  for (const MapAccess access : {MapAccess::ReadOnly, MapAccess::ReadWrite}) {
    MappedFile file;
    EXPECT_EQ(file.Open(path.c_str(), access), FileStatus::CannotOpen);
    EXPECT_EQ(file.Data(), nullptr);
    EXPECT_EQ(file.Length(), 0u);
  }
}

const OpenCase kOpenCases[] = {
    OpenCase{"Missing", [](const TempDir& d) { return d / "missing.dmp"; }},
    OpenCase{"Directory", [](const TempDir& d) { return d.Path(); }},
    OpenCase{"EmptyFile",
             [](const TempDir& d) {
               const NativeString path = d / "empty.dmp";
               test::WriteFile(path, Bytes{});
               return path;
             }},
    OpenCase{"EmptyPath", [](const TempDir&) { return NativeString(); }},
#ifdef _WIN32
    // The null device opens, but cannot be mapped.
    OpenCase{"NulDevice", [](const TempDir&) { return NativeString(L"NUL"); }}
#else
    OpenCase{"Fifo",
             [](const TempDir& d) {
               const NativeString path = d / "fifo";
               EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
               return path;
             }},
    OpenCase{"DevNull", [](const TempDir&) { return NativeString("/dev/null"); }}
#endif
};

INSTANTIATE_TEST_SUITE_P(Paths, MappedFileOpenTest, testing::ValuesIn(kOpenCases),
                         [](const testing::TestParamInfo<OpenCase>& info) {
                           return info.param.name;
                         });

TEST(MappedFileTest, ViewsTheWholeFileAndFlushesWritesToIt) {
  TempDir dir;
  const NativeString path = dir / "data.bin";
  Bytes bytes(3 * 4096 + 5);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>(i * 7);
  }
  test::WriteFile(path, bytes);
  {
    MappedFile file;
    ASSERT_EQ(file.Open(path.c_str(), MapAccess::ReadWrite), FileStatus::Ok);
    ASSERT_EQ(file.Length(), bytes.size());
    EXPECT_EQ(Bytes(file.Data(), file.Data() + file.Length()), bytes);
    file.Data()[file.Length() - 1] = 0xA5;
    EXPECT_TRUE(file.Flush());
    bytes.back() = 0xA5;
    EXPECT_EQ(test::ReadFile(path), bytes) << "a flushed write must be in the file";
  }
  EXPECT_EQ(test::ReadFile(path), bytes) << "the length must not change";
}

// Writing to a view mapped for reading faults inside the view on every platform: the
// guard contains it, the file keeps its bytes, and the guard works again afterwards.
TEST(MappedFileGuardTest, AFaultInsideTheViewEndsTheWorkAndIsContained) {
  TempDir dir;
  const NativeString path = dir / "data.bin";
  test::WriteFile(path, Bytes(100, 0x42));
  MappedFile file;
  ASSERT_EQ(file.Open(path.c_str(), MapAccess::ReadOnly), FileStatus::Ok);

  volatile int stepsAfterTheFault = 0;
  auto write = [&] {
    file.Data()[10] = 0;
    stepsAfterTheFault = stepsAfterTheFault + 1;
  };
  EXPECT_FALSE(file.RunGuarded(write));
  EXPECT_EQ(stepsAfterTheFault, 0) << "the work must stop at the faulting access";

  bool read = false;
  auto readFirst = [&] { read = file.Data()[99] == 0x42; };
  EXPECT_TRUE(file.RunGuarded(readFirst));
  EXPECT_TRUE(read);
  file.Release();
  EXPECT_EQ(test::ReadFile(path), Bytes(100, 0x42));
}

}  // namespace
}  // namespace corvinade
