// The Windows side of the file mapping: sharing, the read-only attribute, and faults when
// the file shrinks under the view.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "imagefiles/dump_modules.h"
#include "imagefiles/mapped_file.h"
#include "imagefiles/pe_identity.h"
#include "tests/builders.h"
#include "tests/test_files.h"

namespace corvinade {
namespace {

using test::Bytes;
using test::TempDir;

constexpr std::uint64_t kPage = 4096;

TEST(MappedFileWin32Test, ReadOnlyAttributeRefusesWritingButNotReading) {
  TempDir dir;
  const std::wstring path = dir / "data.bin";
  test::WriteFile(path, Bytes(64, 7));
  ASSERT_TRUE(::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
  CORVINADE_REQUIRE_READ_ONLY_ATTRIBUTE(path);
  MappedFile file;
  EXPECT_EQ(file.Open(path.c_str(), MapAccess::ReadWrite), FileStatus::CannotOpen);
  EXPECT_EQ(file.Data(), nullptr);
  EXPECT_EQ(file.Open(path.c_str(), MapAccess::ReadOnly), FileStatus::Ok);
  EXPECT_EQ(file.Length(), 64u);
}

// Both modes share reading and writing: an open MappedFile does not keep others out,
// and another process's handle that shares both does not keep the tool out.
TEST(MappedFileWin32Test, SharesReadingAndWritingWithOthers) {
  TempDir dir;
  const std::wstring path = dir / "data.bin";
  test::WriteFile(path, Bytes(64, 7));
  MappedFile dump;
  ASSERT_EQ(dump.Open(path.c_str(), MapAccess::ReadWrite), FileStatus::Ok);
  const HANDLE other =
      ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(other, INVALID_HANDLE_VALUE);
  MappedFile second;
  EXPECT_EQ(second.Open(path.c_str(), MapAccess::ReadWrite), FileStatus::Ok);
  ::CloseHandle(other);

  // A handle that shares nothing keeps it out.
  second.Release();
  dump.Release();
  const HANDLE exclusive = ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
  EXPECT_EQ(dump.Open(path.c_str(), MapAccess::ReadOnly), FileStatus::CannotOpen);
  ::CloseHandle(exclusive);
}

// Under Wine, the Linux path of a Windows one; "" elsewhere.
std::string UnixPathUnderWine(const std::wstring& path) {
  using GetUnixFileName = char*(__cdecl*)(const wchar_t*);
  const auto get = reinterpret_cast<GetUnixFileName>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (get == nullptr) {
    return std::string();
  }
  char* unixPath = get(path.c_str());
  if (unixPath == nullptr) {
    return std::string();
  }
  std::string result = unixPath;
  ::HeapFree(::GetProcessHeap(), 0, unixPath);
  return result;
}

// Cuts the file at `path` to `length` bytes from outside Windows, which is the only way to
// shrink a mapped file: Windows itself refuses (ERROR_USER_MAPPED_FILE). Wine starts Linux
// programs, but splits their command line at spaces, ignoring quotes, and its handle for
// them cannot be waited on, so the size is watched instead.
bool TruncateFromLinux(const std::wstring& path, std::uint64_t length) {
  const std::string unixPath = UnixPathUnderWine(path);
  if (unixPath.empty() || unixPath.find(' ') != std::string::npos) {
    return false;
  }
  std::wstring commandLine = L"truncate -s " + std::to_wstring(length) + L" " +
                             std::wstring(unixPath.begin(), unixPath.end());
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(L"Z:\\usr\\bin\\truncate", &commandLine[0], nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &process)) {
    return false;
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  for (int attempt = 0; attempt < 500; ++attempt) {
    std::error_code error;
    if (std::filesystem::file_size(path, error) == length && !error) {
      return true;
    }
    ::Sleep(10);
  }
  return false;
}

// The file shrinks under the view: reading past the new end faults, and the fault
// becomes BadFormat instead of a crash.
TEST(MappedFileWin32GuardTest, ReadingPastATruncatedEndIsBadFormatNotACrash) {
  TempDir dir;
  test::MinidumpBuilder builder;
  builder.AddStream(7, Bytes(2 * kPage, 0x11)).AddModuleList({test::TestModule{0x5AB38077}});
  const std::wstring dumpPath = dir / "crash.dmp";
  test::WriteFile(dumpPath, builder.Build());
  const std::wstring exePath = dir / "app.exe";
  test::WriteFile(exePath, test::PeBuilder().NtHeadersAt(2 * kPage).Build());

  MappedFile dump;
  ASSERT_EQ(dump.Open(dumpPath.c_str(), MapAccess::ReadWrite), FileStatus::Ok);
  // Windows keeps a mapped file from shrinking.
  const HANDLE other =
      ::CreateFileW(dumpPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(kPage);
  EXPECT_FALSE(::SetFilePointerEx(other, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(other));
  ::CloseHandle(other);

  if (UnixPathUnderWine(dumpPath).empty()) {
    GTEST_SKIP() << "not under Wine: no Windows program can shrink a mapped file, so the "
                    "fault cannot be provoked here";
  }
  ASSERT_TRUE(TruncateFromLinux(dumpPath, kPage));
  EXPECT_EQ(UpdateDumpModulesInView(dump, ImageIdentity{0x5AB38077, 1, 2}), FileStatus::BadFormat);

  MappedFile exe;
  ASSERT_EQ(exe.Open(exePath.c_str(), MapAccess::ReadOnly), FileStatus::Ok);
  ASSERT_TRUE(TruncateFromLinux(exePath, kPage));
  ImageIdentity identity;
  EXPECT_EQ(ReadImageIdentityFromView(exe, identity), FileStatus::BadFormat);

  // The guard works again after a fault.
  bool ran = false;
  auto work = [&] { ran = exe.Data()[0] == 'M'; };
  EXPECT_TRUE(exe.RunGuarded(work));
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace corvinade
