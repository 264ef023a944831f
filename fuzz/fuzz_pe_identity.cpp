// libFuzzer target: the identity reader over arbitrary bytes (see fuzz/checks.h).
#include <cstdio>
#include <cstdlib>

#include "fuzz/checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (const char* failure = corvinade::fuzz::CheckPeIdentityInput(data, size)) {
    std::fprintf(stderr, "fuzz_pe_identity: %s\n", failure);
    std::abort();
  }
  return 0;
}
