// libFuzzer target: the dump patcher over arbitrary bytes, the identity in the first 12
// (see fuzz/checks.h).
#include <cstdio>
#include <cstdlib>

#include "fuzz/checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (const char* failure = corvinade::fuzz::CheckDumpModulesInput(data, size)) {
    std::fprintf(stderr, "fuzz_dump_modules: %s\n", failure);
    std::abort();
  }
  return 0;
}
