// The floor for a design that maps the file: map the dump, walk its first module list and
// patch the matching records, with no checks beyond staying inside the file, then msync.
//
//   bench_bare_walk DUMP STAMP SIZE CHECKSUM
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

std::uint32_t Get(const std::uint8_t* p) {
  std::uint32_t value;
  std::memcpy(&value, p, 4);
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    return 2;
  }
  const std::uint32_t stamp = static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 0));
  const std::uint32_t size = static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 0));
  const std::uint32_t checkSum = static_cast<std::uint32_t>(std::strtoul(argv[4], nullptr, 0));
  const int fd = ::open(argv[1], O_RDWR);
  struct stat status {};
  if (fd < 0 || ::fstat(fd, &status) != 0 || status.st_size < 16) {
    return 1;
  }
  const std::uint64_t length = static_cast<std::uint64_t>(status.st_size);
  auto* dump = static_cast<std::uint8_t*>(
      ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
  if (dump == MAP_FAILED) {
    return 1;
  }
  int matches = 0;
  const std::uint64_t streams = Get(dump + 8);
  const std::uint64_t directory = Get(dump + 12);
  for (std::uint64_t i = 0; i < streams && directory + 12 * i + 12 <= length; ++i) {
    const std::uint8_t* entry = dump + directory + 12 * i;
    if (Get(entry) != 4) {
      continue;
    }
    const std::uint64_t list = Get(entry + 8);
    const std::uint64_t count = list + 4 <= length ? Get(dump + list) : 0;
    for (std::uint64_t j = 0; j < count && list + 4 + 108 * (j + 1) <= length; ++j) {
      std::uint8_t* record = dump + list + 4 + 108 * j;
      if (Get(record + 16) == stamp) {
        std::memcpy(record + 8, &size, 4);
        std::memcpy(record + 12, &checkSum, 4);
        ++matches;
      }
    }
  }
  const bool synced = ::msync(dump, length, MS_SYNC) == 0;
  ::munmap(dump, length);
  ::close(fd);
  return matches > 0 && synced ? 0 : 1;
}
