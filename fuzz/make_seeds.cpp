// Writes the fuzzers' seed inputs: dumps and executables from the test builders, and the
// real dumps of a test-data folder with an identity in front taken from their first
// module record.
//
//   fuzz_make_seeds OUT_DIR [TESTDATA_DIR]
//
// writes OUT_DIR/pe/* and OUT_DIR/dump/* (each dump input starts with the 12 identity
// bytes that fuzz_dump_modules reads first).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/builders.h"
#include "tests/reference_walk.h"

namespace {

using namespace corvinade::test;
namespace fs = std::filesystem;

void Write(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Bytes WithIdentity(std::uint32_t stamp, std::uint32_t size, std::uint32_t checkSum,
                   const Bytes& dump) {
  Bytes input(12);
  Put32(input, 0, stamp);
  Put32(input, 4, size);
  Put32(input, 8, checkSum);
  input.insert(input.end(), dump.begin(), dump.end());
  return input;
}

// The TimeDateStamp of the first record of the first module list, or 0.
std::uint32_t FirstStamp(const Bytes& dump) {
  auto fits = [&](std::uint64_t at, std::uint64_t width) {
    return at <= dump.size() && width <= dump.size() - at;
  };
  if (!fits(0, 16)) {
    return 0;
  }
  const std::uint32_t streams = Get32(dump, 8);
  const std::uint64_t directory = Get32(dump, 12);
  for (std::uint64_t i = 0; i < streams && fits(directory + 12 * i, 12); ++i) {
    if (Get32(dump, directory + 12 * i) == 4) {
      const std::uint64_t record = Get32(dump, directory + 12 * i + 8) + 4ull;
      return fits(record + 16, 4) ? Get32(dump, record + 16) : 0;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUT_DIR [TESTDATA_DIR]\n", argv[0]);
    return 2;
  }
  const fs::path out = argv[1];
  fs::create_directories(out / "pe");
  fs::create_directories(out / "dump");

  Write(out / "pe" / "pe32", PeBuilder().Magic(0x10B).Build());
  Write(out / "pe" / "pe32plus", PeBuilder().Magic(0x20B).Build());
  Write(out / "pe" / "headers-far", PeBuilder().NtHeadersAt(0x400).Build());

  const std::uint32_t stamp = 0x5AB38077;
  {
    MinidumpBuilder b;
    b.AddModuleList({TestModule{stamp}, TestModule{0x11}, TestModule{stamp}});
    Write(out / "dump" / "one-list", WithIdentity(stamp, 0x9000, 0x1234, b.Build()));
  }
  {
    MinidumpBuilder b;
    b.AddStream(3, Bytes(16, 0)).AddModuleList({TestModule{0x22}, TestModule{stamp}});
    b.AddModuleList({TestModule{stamp}}, /*padded=*/true);
    Write(out / "dump" / "two-lists-one-padded", WithIdentity(stamp, 0x9000, 0x1234, b.Build()));
  }
  {
    MinidumpBuilder b;
    b.AddModuleList({});
    Write(out / "dump" / "empty-list", WithIdentity(0, 0, 0, b.Build()));
  }

  // One list named by several entries, read plain and padded, so that matched records
  // overlap out of step and the order of writes shows.
  Write(out / "dump" / "shared-list-plain-padded-plain",
        WithIdentity(stamp, 0x9000, 0x1234, SharedListDump(3, 6, stamp, 2)));
  Write(out / "dump" / "shared-list-plain-padded",
        WithIdentity(stamp, 0x9000, 0x1234, SharedListDump(2, 4, stamp, 1)));

  if (argc > 2) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(fs::path(argv[2]) / "minidumps", error)) {
      std::ifstream in(entry.path(), std::ios::binary);
      const Bytes dump((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      const std::string name = entry.path().filename().string();
      Write(out / "dump" / (name + ".first-stamp"),
            WithIdentity(FirstStamp(dump), 0x00C0FFEE, 0x00FACADE, dump));
      Write(out / "dump" / (name + ".stamp-0"), WithIdentity(0, 0x00C0FFEE, 0x00FACADE, dump));
    }
  }
  return 0;
}
