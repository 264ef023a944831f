// Writes the benchmark's inputs.
//
//   bench_make_input dump PATH RECORDS [FILE_SIZE]   a dump whose module list of RECORDS
//       records follows the header and directory; only its first record carries the stamp
//       0x5AB38077. With FILE_SIZE, the file is then extended, sparse, to that many bytes.
//   bench_make_input exe PATH                        a PE32+ image with that stamp.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/builders.h"
#include "tests/reference_walk.h"

namespace {

using corvinade::test::Bytes;

constexpr std::uint32_t kStamp = 0x5AB38077;

bool WriteAll(const char* path, const Bytes& bytes, std::uint64_t size) {
  const int fd = ::open(path, O_CREAT | O_WRONLY | O_TRUNC, 0644);
  if (fd < 0) {
    return false;
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) {
      ::close(fd);
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  const bool extended = size <= bytes.size() || ::ftruncate(fd, static_cast<off_t>(size)) == 0;
  return ::close(fd) == 0 && extended;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "dump") == 0) {
    const std::uint32_t records = static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10));
    const std::uint64_t size = argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 0;
    // One directory entry and one list; matching every (records + 1)th record means only
    // the first.
    const Bytes dump = corvinade::test::SharedListDump(1, records, kStamp, records + 1);
    return WriteAll(argv[2], dump, size) ? 0 : 1;
  }
  if (argc == 3 && std::strcmp(argv[1], "exe") == 0) {
    const Bytes image =
        corvinade::test::PeBuilder().Magic(0x20B).Identity(kStamp, 0x9000, 0x1D0C5).Build();
    return WriteAll(argv[2], image, 0) ? 0 : 1;
  }
  std::fprintf(stderr, "usage: %s dump PATH RECORDS [FILE_SIZE] | exe PATH\n", argv[0]);
  return 2;
}
