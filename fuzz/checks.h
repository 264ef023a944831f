// What the fuzz targets check on each input, shared with the test that replays kept
// findings and seeds. Each returns nullptr when the input passes, or what failed.
#ifndef CORVINADE_FUZZ_CHECKS_H
#define CORVINADE_FUZZ_CHECKS_H

#include <cstddef>
#include <cstdint>

namespace corvinade::fuzz {

// The identity reader over arbitrary bytes. The result must agree with the PE rules
// spelled out here independently: "MZ", e_lfanew, "PE\0\0", magic 0x10B or 0x20B, and the
// three fields all within the bytes; on failure the identity is left untouched.
const char* CheckPeIdentityInput(const std::uint8_t* data, std::size_t size);

// The dump patcher over arbitrary bytes. The first 12 bytes are the identity
// (TimeDateStamp, SizeOfImage, CheckSum, little-endian), so that matches are common; the
// rest is the dump. Checked:
// - the length never changes, and the result is what a plain walk of every list gives,
//   status and bytes alike;
// - on BadFormat or ModuleNotFound no byte changes;
// - on Ok every changed byte lies at offsets 8-15 of a record whose TimeDateStamp was the
//   identity's, and holds what the identity puts there for one such record;
// - a second run on the output gives Ok and changes nothing, unless a write landed on a
//   byte that the walk reads (records out of step with one another, or overlapping the
//   directory): then the second run walks another dump, for a plain walk as much as for
//   the tool.
const char* CheckDumpModulesInput(const std::uint8_t* data, std::size_t size);

}  // namespace corvinade::fuzz

#endif  // CORVINADE_FUZZ_CHECKS_H
