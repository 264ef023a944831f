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
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kStamp = 0x5AB38077;

void Put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

bool WriteAll(const char* path, const std::vector<std::uint8_t>& bytes, std::uint64_t size) {
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
    const std::size_t list = 32 + 12;
    std::vector<std::uint8_t> dump(list + 4 + 108ull * records, 0);
    Put32(dump, 0, 0x504D444D);
    Put32(dump, 4, 0xA793);
    Put32(dump, 8, 1);
    Put32(dump, 12, 32);
    Put32(dump, 32, 4);
    Put32(dump, 36, static_cast<std::uint32_t>(4 + 108ull * records));
    Put32(dump, 40, static_cast<std::uint32_t>(list));
    Put32(dump, list, records);
    for (std::uint32_t j = 0; j < records; ++j) {
      const std::size_t record = list + 4 + 108ull * j;
      Put32(dump, record + 8, 0x8000);
      Put32(dump, record + 16, j == 0 ? kStamp : 0x10000000u + j);
    }
    return WriteAll(argv[2], dump, size) ? 0 : 1;
  }
  if (argc == 3 && std::strcmp(argv[1], "exe") == 0) {
    std::vector<std::uint8_t> image(512, 0);
    image[0] = 'M';
    image[1] = 'Z';
    Put32(image, 0x3C, 0x80);
    Put32(image, 0x80, 0x00004550);
    Put32(image, 0x80 + 8, kStamp);
    image[0x80 + 24] = 0x0B;
    image[0x80 + 25] = 0x02;
    Put32(image, 0x80 + 80, 0x9000);
    Put32(image, 0x80 + 88, 0x1D0C5);
    return WriteAll(argv[2], image, 0) ? 0 : 1;
  }
  std::fprintf(stderr, "usage: %s dump PATH RECORDS [FILE_SIZE] | exe PATH\n", argv[0]);
  return 2;
}
