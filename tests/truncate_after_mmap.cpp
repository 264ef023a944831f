// A test-only shared library for LD_PRELOAD: right after the process maps the file named by
// CORVINADE_TEST_TRUNCATE_PATH, it cuts that file to CORVINADE_TEST_TRUNCATE_TO bytes, as
// another process could at any moment. That puts the shrink deterministically between
// mapping and walking, without any hook in the tool itself.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

using MmapFunction = void* (*)(void*, size_t, int, int, int, off_t);
// <sys/mman.h> is left out: its declaration of mmap would clash with the one below.
void* const kMapFailed = reinterpret_cast<void*>(-1);

void TruncateIfTarget(int fd) {
  const char* target = ::getenv("CORVINADE_TEST_TRUNCATE_PATH");
  const char* length = ::getenv("CORVINADE_TEST_TRUNCATE_TO");
  if (fd < 0 || target == nullptr || length == nullptr) {
    return;
  }
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char mapped[PATH_MAX];
  const ssize_t size = ::readlink(link, mapped, sizeof mapped - 1);
  char wanted[PATH_MAX];
  if (size <= 0 || ::realpath(target, wanted) == nullptr) {
    return;
  }
  mapped[size] = '\0';
  if (std::strcmp(mapped, wanted) == 0) {
    if (::truncate(wanted, static_cast<off_t>(std::strtoll(length, nullptr, 10))) != 0) {
      std::abort();
    }
  }
}

}  // namespace

extern "C" void* mmap(void* address, size_t length, int protection, int flags, int fd,
                      off_t offset) {
  static const auto real = reinterpret_cast<MmapFunction>(::dlsym(RTLD_NEXT, "mmap"));
  void* view = real(address, length, protection, flags, fd, offset);
  if (view != kMapFailed) {
    TruncateIfTarget(fd);
  }
  return view;
}

extern "C" void* mmap64(void* address, size_t length, int protection, int flags, int fd,
                        off_t offset) {
  return mmap(address, length, protection, flags, fd, offset);
}
