// The POSIX side of the file mapping: signal handlers around the view, and faults.
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
