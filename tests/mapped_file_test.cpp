#include "imagefiles/mapped_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "imagefiles/dump_modules.h"
#include "imagefiles/pe_identity.h"
#include "tests/builders.h"
#include "tests/test_files.h"

namespace corvinade {
namespace {

using test::Bytes;
using test::TempDir;

struct OpenCase {
  const char* name;
  std::string (*make)(const TempDir& dir);  // returns the path to open
};

class MappedFileOpenTest : public testing::TestWithParam<OpenCase> {};

TEST_P(MappedFileOpenTest, CannotOpenWhatIsNotANonEmptyRegularFile) {
  TempDir dir;
  const std::string path = GetParam().make(dir);
  for (const MapAccess access : {MapAccess::ReadOnly, MapAccess::ReadWrite}) {
    MappedFile file;
    EXPECT_EQ(file.Open(path.c_str(), access), FileStatus::CannotOpen);
    EXPECT_EQ(file.Data(), nullptr);
    EXPECT_EQ(file.Length(), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, MappedFileOpenTest,
    testing::Values(OpenCase{"Missing", [](const TempDir& d) { return d / "missing.dmp"; }},
                    OpenCase{"Directory", [](const TempDir& d) { return d.Path(); }},
                    OpenCase{"Fifo",
                             [](const TempDir& d) {
                               const std::string path = d / "fifo";
                               EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
                               return path;
                             }},
                    OpenCase{"DevNull", [](const TempDir&) { return std::string("/dev/null"); }},
                    OpenCase{"EmptyFile",
                             [](const TempDir& d) {
                               const std::string path = d / "empty.dmp";
                               test::WriteFile(path, Bytes{});
                               return path;
                             }},
                    OpenCase{"EmptyPath", [](const TempDir&) { return std::string(); }}),
    [](const testing::TestParamInfo<OpenCase>& info) { return info.param.name; });

TEST(MappedFileTest, ViewsTheWholeFileAndFlushesWritesToIt) {
  TempDir dir;
  const std::string path = dir / "data.bin";
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

// Installs a handler of our own, so that the test can tell whether the guard put it back.
struct ScopedMarkerHandlers {
  static void Marker(int) {}
  struct sigaction oldBus {};
  struct sigaction oldSegv {};
  ScopedMarkerHandlers() {
    struct sigaction marker {};
    marker.sa_handler = Marker;
    sigemptyset(&marker.sa_mask);
    ::sigaction(SIGBUS, &marker, &oldBus);
    ::sigaction(SIGSEGV, &marker, &oldSegv);
  }
  ~ScopedMarkerHandlers() {
    ::sigaction(SIGBUS, &oldBus, nullptr);
    ::sigaction(SIGSEGV, &oldSegv, nullptr);
  }
  static bool InPlace() {
    struct sigaction bus {};
    struct sigaction segv {};
    ::sigaction(SIGBUS, nullptr, &bus);
    ::sigaction(SIGSEGV, nullptr, &segv);
    return bus.sa_handler == Marker && segv.sa_handler == Marker;
  }
};

// The file shrinks under the view, as when another process truncates it: reading past
// the new end faults, and the fault becomes BadFormat instead of a crash.
TEST(MappedFileGuardTest, ReadingPastATruncatedEndIsBadFormatNotACrash) {
  const long page = ::sysconf(_SC_PAGESIZE);
  TempDir dir;

  // A dump whose module list starts on the third page.
  test::MinidumpBuilder builder;
  builder.AddStream(7, Bytes(2 * page, 0x11)).AddModuleList({test::TestModule{0x5AB38077}});
  const std::string dumpPath = dir / "crash.dmp";
  test::WriteFile(dumpPath, builder.Build());
  // An executable whose NT headers are on the third page.
  const std::string exePath = dir / "app.exe";
  test::WriteFile(exePath, test::PeBuilder().NtHeadersAt(2 * page).Build());

  ScopedMarkerHandlers markers;
  {
    MappedFile dump;
    ASSERT_EQ(dump.Open(dumpPath.c_str(), MapAccess::ReadWrite), FileStatus::Ok);
    ASSERT_EQ(::truncate(dumpPath.c_str(), page), 0);
    EXPECT_EQ(UpdateDumpModulesInView(dump, ImageIdentity{0x5AB38077, 1, 2}),
              FileStatus::BadFormat);
    EXPECT_TRUE(ScopedMarkerHandlers::InPlace()) << "the previous handlers must be back";

    MappedFile exe;
    ASSERT_EQ(exe.Open(exePath.c_str(), MapAccess::ReadOnly), FileStatus::Ok);
    ASSERT_EQ(::truncate(exePath.c_str(), page), 0);
    ImageIdentity identity;
    EXPECT_EQ(ReadImageIdentityFromView(exe, identity), FileStatus::BadFormat);
    EXPECT_TRUE(ScopedMarkerHandlers::InPlace());

    // The guard works again after a fault: the signal is not left blocked.
    bool ran = false;
    auto work = [&] { ran = exe.Data()[0] == 'M'; };
    EXPECT_TRUE(exe.RunGuarded(work));
    EXPECT_TRUE(ran);
  }
  EXPECT_EQ(test::ReadFile(dumpPath).size(), static_cast<std::size_t>(page));
}

// A fault that has nothing to do with the view is a bug, and must still crash.
TEST(MappedFileGuardDeathTest, FaultsOutsideTheViewAreNotContained) {
  TempDir dir;
  const std::string path = dir / "data.bin";
  test::WriteFile(path, Bytes(64, 1));
  auto run = [&] {
    MappedFile file;
    if (file.Open(path.c_str(), MapAccess::ReadOnly) != FileStatus::Ok) {
      return;
    }
    void* elsewhere = ::mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    auto work = [&] { *static_cast<volatile std::uint8_t*>(elsewhere) = 1; };
    file.RunGuarded(work);
  };
  // Killed by SIGSEGV, or reported and ended by a sanitizer that handles it.
  EXPECT_DEATH(run(), "");
}

}  // namespace
}  // namespace corvinade
