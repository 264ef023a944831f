// Faults from outside, end to end on the built tool: the dump shrinks under the mapping,
// the disk has no room for a write, and another process writes the dump meanwhile.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "tests/builders.h"
#include "tests/test_files.h"
#include "tests/tool_scene.h"

namespace corvinade {
namespace {

using test::BadFormat;
using test::Bytes;
using test::kBanner;
using test::TempDir;

constexpr std::uint32_t kStamp = 0x5AB38077;
constexpr std::uint64_t kPage = 4096;

// Sets environment variables for the processes started while it lives.
class ScopedEnvironment {
 public:
  explicit ScopedEnvironment(std::vector<std::pair<std::string, std::string>> variables)
      : variables_(std::move(variables)) {
    for (const auto& [name, value] : variables_) {
      ::setenv(name.c_str(), value.c_str(), 1);
    }
  }
  ~ScopedEnvironment() {
    for (const auto& variable : variables_) {
      ::unsetenv(variable.first.c_str());
    }
  }

 private:
  std::vector<std::pair<std::string, std::string>> variables_;
};

// (a) Another process cuts the file between the tool's mapping and its walk. A preloaded
// test library (truncate_after_mmap.cpp) does the cutting right after the mmap call, so
// the moment is always the same; the tool itself has no hook.
TEST(FaultInjectionTest, FileCutShortAfterMappingIsBadFormat) {
  TempDir dir;
  test::MinidumpBuilder builder;
  builder.AddStream(7, Bytes(2 * kPage, 0x11)).AddModuleList({test::TestModule{kStamp}});
  const Bytes dumpBytes = builder.Build();
  ASSERT_GT(builder.RecordOffset(0, 0), 2 * kPage) << "the list must lie beyond the cut";
  const std::string dump = dir / "crash.dmp";
  const std::string exe = dir / "app.exe";
  const Bytes exeBytes = test::PeBuilder().Identity(kStamp, 0x9000, 0x1234).Build();
  test::WriteFile(dump, dumpBytes);
  test::WriteFile(exe, exeBytes);
  const std::string farExe = dir / "far.exe";
  test::WriteFile(farExe, test::PeBuilder().NtHeadersAt(2 * kPage).Build());

  // The tool's own entry and code, linked so that a library can be preloaded into it.
  const std::string kPreloadable = CORVINADE_PRELOADABLE_TOOL;
  struct Case {
    std::string cut;
    std::vector<std::string> argv;
    std::string output;
  };
  const Case cases[] = {
      {dump, {kPreloadable, dump, exe}, BadFormat(dump)},
      {farExe, {kPreloadable, dump, farExe}, BadFormat(farExe)},
  };
  for (const Case& c : cases) {
    ScopedEnvironment environment({{"LD_PRELOAD", CORVINADE_TRUNCATE_SHIM},
                                   {"CORVINADE_TEST_TRUNCATE_PATH", c.cut},
                                   {"CORVINADE_TEST_TRUNCATE_TO", std::to_string(kPage)},
                                   // A sanitizer build must accept a library before its own.
                                   {"ASAN_OPTIONS", "verify_asan_link_order=0"}});
    const test::ProcessResult result = test::RunProcess(c.argv);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.standardOutput, kBanner + c.output);
    const Bytes after = test::ReadFile(c.cut);
    ASSERT_EQ(after.size(), kPage) << "the preloaded library did not cut the file";
  }
  EXPECT_EQ(test::ReadFile(dump), Bytes(dumpBytes.begin(), dumpBytes.begin() + kPage));
}

// A small ext4 file system on a loop device, mounted while the object lives.
class ScopedLoopFileSystem {
 public:
  explicit ScopedLoopFileSystem(const TempDir& dir)
      : image_(dir / "fs.img"), mountPoint_(dir / "mnt") {
    const std::string commands = "truncate -s 8M '" + image_ + "' && mkdir '" + mountPoint_ +
                                 "' && mkfs.ext4 -q -F -b 4096 -m 0 '" + image_ +
                                 "' >/dev/null 2>&1 && mount -o loop '" + image_ + "' '" +
                                 mountPoint_ + "' 2>/dev/null";
    mounted_ = std::system(commands.c_str()) == 0;
  }
  ~ScopedLoopFileSystem() {
    if (mounted_) {
      const std::string command = "umount '" + mountPoint_ + "'";
      if (std::system(command.c_str()) != 0) {
        ADD_FAILURE() << "could not unmount " << mountPoint_;
      }
    }
  }
  bool Mounted() const { return mounted_; }
  const std::string& Path() const { return mountPoint_; }

 private:
  std::string image_;
  std::string mountPoint_;
  bool mounted_ = false;
};

void WriteAt(int fd, std::uint64_t offset, const Bytes& bytes) {
  ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)),
            static_cast<ssize_t>(bytes.size()));
}

// (b) The disk is full and the record's page was never written: reading it gives zeros,
// but writing it needs a block that the file system cannot give. The write faults, and
// the tool says it could not write, leaving the file as it was.
TEST(FaultInjectionTest, NoRoomForTheWriteIsCannotWrite) {
  if (::geteuid() != 0) {
    GTEST_SKIP() << "mounting a small file system to fill needs root";
  }
  TempDir dir;
  ScopedLoopFileSystem fileSystem(dir);
  if (!fileSystem.Mounted()) {
    GTEST_SKIP() << "could not make and mount an ext4 file system on a loop device here "
                    "(needs mkfs.ext4, loop devices and the right to mount)";
  }
  // One record whose written fields start on page 8, a hole; its count sits on page 7.
  const std::uint64_t record = 8 * kPage - 8;
  Bytes header(44, 0);
  test::Put32(header, 0, 0x504D444D);
  test::Put32(header, 4, 0xA793);
  test::Put32(header, 8, 1);    // NumberOfStreams
  test::Put32(header, 12, 32);  // StreamDirectoryRva
  test::Put32(header, 32, 4);   // ModuleListStream
  test::Put32(header, 36, 4 + 108);
  test::Put32(header, 40, static_cast<std::uint32_t>(record - 4));
  Bytes count(4, 0);
  test::Put32(count, 0, 1);

  const std::string dump = fileSystem.Path() + "/crash.dmp";
  const int fd = ::open(dump.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  WriteAt(fd, 0, header);
  WriteAt(fd, record - 4, count);
  ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(record + 108)), 0);
  ASSERT_EQ(::fsync(fd), 0);
  ::close(fd);
  const Bytes before = test::ReadFile(dump);

  // Fill the file system to the last byte. (It has no reserve for root.)
  const std::string filler = fileSystem.Path() + "/filler";
  const int fill = ::open(filler.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fill, 0);
  const Bytes block(64 * 1024, 'x');
  for (std::size_t size = block.size(); size >= 1; size /= 2) {
    while (::write(fill, block.data(), size) == static_cast<ssize_t>(size)) {
    }
  }
  ::fsync(fill);
  ::close(fill);

  const std::string exe = dir / "app.exe";
  test::WriteFile(exe, test::PeBuilder().Identity(0, 0x9000, 0x1234).Build());  // stamp 0
  const test::ProcessResult result = test::RunProcess({test::ToolPath(), dump, exe});
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.standardOutput, kBanner + "Can not write \"" + dump + "\".");
  EXPECT_EQ(test::ReadFile(dump), before);
}

// (c) Another process keeps rewriting the dump while the tool runs, again and again: the
// list's count (sometimes absurd), the second record's stamp (sometimes matching) and
// another stream. There is no locking, so any outcome message may come; but the tool
// never crashes and writes nothing but the two fields of the records in the list.
TEST(FaultInjectionTest, ConcurrentWriterNeverCausesACrashOrAStrayWrite) {
  TempDir dir;
  test::MinidumpBuilder builder;
  builder.AddStream(7, Bytes(256, 0x11))
      .AddModuleList({test::TestModule{kStamp}, test::TestModule{0x22}, test::TestModule{0x33}});
  const Bytes original = builder.Build();
  const std::string dump = dir / "crash.dmp";
  const std::string exe = dir / "app.exe";
  test::WriteFile(dump, original);
  test::WriteFile(exe, test::PeBuilder().Identity(kStamp, 0x9000, 0x1234).Build());

  const std::uint64_t count = builder.StreamOffset(1);
  const std::uint64_t stamp1 = builder.RecordOffset(0, 1) + 16;
  const std::uint64_t other = builder.StreamOffset(0);
  const pid_t writer = ::fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    const int fd = ::open(dump.c_str(), O_WRONLY);
    const std::uint32_t counts[] = {3, 0xFFFFFFFF, 2, 0};
    const std::uint32_t stamps[] = {kStamp, 0x22};
    for (std::uint32_t i = 0;; ++i) {
      const std::uint32_t value = counts[i % 4];
      const std::uint32_t stamp = stamps[i % 2];
      const std::uint8_t noise = static_cast<std::uint8_t>(i);
      if (::pwrite(fd, &value, 4, static_cast<off_t>(count)) != 4 ||
          ::pwrite(fd, &stamp, 4, static_cast<off_t>(stamp1)) != 4 ||
          ::pwrite(fd, &noise, 1, static_cast<off_t>(other + i % 256)) != 1) {
        ::_exit(1);
      }
    }
  }

  const std::string outcomes[] = {test::kUpdated, BadFormat(dump), test::NotFound("app.exe")};
  int runs = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (std::chrono::steady_clock::now() < end || runs < 50) {
    const test::ProcessResult result = test::RunProcess({test::ToolPath(), dump, exe});
    ++runs;
    ASSERT_EQ(result.signal, 0) << "run " << runs;
    ASSERT_FALSE(result.timedOut);
    bool known = false;
    for (const std::string& outcome : outcomes) {
      known = known || result.standardOutput == kBanner + outcome;
    }
    ASSERT_TRUE(known) << result.standardOutput;
    ASSERT_EQ(result.exitStatus, result.standardOutput == kBanner + outcomes[0] ? 0 : 1);
  }
  ::kill(writer, SIGKILL);
  ::waitpid(writer, nullptr, 0);

  // Every byte is as it was, but for what the writer wrote and the records' two fields,
  // which hold either their old values or the executable's.
  const Bytes after = test::ReadFile(dump);
  ASSERT_EQ(after.size(), original.size());
  auto within = [](std::uint64_t at, std::uint64_t start, std::uint64_t width) {
    return at >= start && at < start + width;
  };
  for (std::uint64_t at = 0; at < after.size(); ++at) {
    bool field = false;
    for (std::size_t j = 0; j < 3; ++j) {
      field = field || within(at, builder.RecordOffset(0, j) + 8, 8);
    }
    if (within(at, count, 4) || within(at, stamp1, 4) || within(at, other, 256) || field) {
      continue;
    }
    ASSERT_EQ(after[at], original[at]) << "byte " << at << " changed";
  }
  for (std::size_t j = 0; j < 3; ++j) {
    const std::uint64_t record = builder.RecordOffset(0, j);
    const std::uint32_t size = test::Get32(after, record + 8);
    const std::uint32_t checkSum = test::Get32(after, record + 12);
    EXPECT_TRUE(size == test::Get32(original, record + 8) || size == 0x9000) << j;
    EXPECT_TRUE(checkSum == test::Get32(original, record + 12) || checkSum == 0x1234) << j;
  }
  // The third record never matched, so it never changed.
  EXPECT_EQ(test::Get32(after, builder.RecordOffset(0, 2) + 8),
            test::Get32(original, builder.RecordOffset(0, 2) + 8));
  std::cout << "[          ] " << runs << " runs against a concurrent writer\n";
}

}  // namespace
}  // namespace corvinade
