#include "fuzz/checks.h"

#include <algorithm>
#include <vector>

#include "imagefiles/dump_modules.h"
#include "imagefiles/pe_identity.h"
#include "tests/reference_walk.h"

namespace corvinade::fuzz {

namespace {

using test::Bytes;
using test::Get32;
using test::Put32;

bool Read(const std::uint8_t* data, std::size_t size, std::uint64_t offset, int width,
          std::uint32_t& value) {
  if (offset > size || static_cast<std::uint64_t>(width) > size - offset) {
    return false;
  }
  value = 0;
  for (int i = width - 1; i >= 0; --i) {
    value = (value << 8) | data[offset + static_cast<std::uint64_t>(i)];
  }
  return true;
}

FileStatus Update(Bytes& dump, const ImageIdentity& identity) {
  return UpdateDumpModulesInBytes(MutableBytes(dump.data(), dump.size()), identity);
}

FileStatus AsStatus(test::ReferenceResult result) {
  switch (result) {
    case test::ReferenceResult::Ok:
      return FileStatus::Ok;
    case test::ReferenceResult::BadFormat:
      return FileStatus::BadFormat;
    case test::ReferenceResult::ModuleNotFound:
      break;
  }
  return FileStatus::ModuleNotFound;
}

}  // namespace

const char* CheckPeIdentityInput(const std::uint8_t* data, std::size_t size) {
  ImageIdentity identity{0xDEADBEEF, 0xDEADBEEF, 0xDEADBEEF};
  const FileStatus status = ReadImageIdentityFromBytes(ConstBytes(data, size), identity);

  std::uint32_t mz = 0, lfanew = 0, pe = 0, magic = 0, stamp = 0, image = 0, checkSum = 0;
  const bool valid =
      Read(data, size, 0, 2, mz) && mz == 0x5A4D && Read(data, size, 0x3C, 4, lfanew) &&
      Read(data, size, lfanew, 4, pe) && pe == 0x00004550 &&
      Read(data, size, lfanew + 24ull, 2, magic) && (magic == 0x10B || magic == 0x20B) &&
      Read(data, size, lfanew + 8ull, 4, stamp) && Read(data, size, lfanew + 80ull, 4, image) &&
      Read(data, size, lfanew + 88ull, 4, checkSum);
  if (valid) {
    if (status != FileStatus::Ok) {
      return "a valid image was not read";
    }
    if (identity.TimeDateStamp != stamp || identity.SizeOfImage != image ||
        identity.CheckSum != checkSum) {
      return "the identity is not the headers' values";
    }
    return nullptr;
  }
  if (status != FileStatus::BadFormat) {
    return "an invalid image was not BadFormat";
  }
  if (identity.TimeDateStamp != 0xDEADBEEF || identity.SizeOfImage != 0xDEADBEEF ||
      identity.CheckSum != 0xDEADBEEF) {
    return "the identity changed although reading failed";
  }
  return nullptr;
}

const char* CheckDumpModulesInput(const std::uint8_t* data, std::size_t size) {
  if (size < 12) {
    return nullptr;
  }
  const Bytes prefix(data, data + 12);
  const ImageIdentity identity{Get32(prefix, 0), Get32(prefix, 4), Get32(prefix, 8)};
  const Bytes original(data + 12, data + size);

  Bytes dump = original;
  const FileStatus status = Update(dump, identity);
  if (dump.size() != original.size()) {
    return "the length changed";
  }
  Bytes reference = original;
  test::WalkFacts facts;
  const FileStatus expected = AsStatus(test::ReferenceUpdate(
      reference, identity.TimeDateStamp, identity.SizeOfImage, identity.CheckSum, &facts));
  if (status != expected) {
    return "the status differs from a plain walk's";
  }
  if (dump != reference) {
    return "the bytes differ from a plain walk's";
  }
  if (status != FileStatus::Ok) {
    return dump == original ? nullptr : "a failed update changed bytes";
  }

  // The bytes that a matching record's SizeOfImage and CheckSum receive.
  Bytes values(8);
  Put32(values, 0, identity.SizeOfImage);
  Put32(values, 4, identity.CheckSum);
  const std::vector<std::uint64_t>& matched = facts.matchedRecords;
  for (std::size_t at = 0; at < dump.size(); ++at) {
    if (dump[at] == original[at]) {
      continue;
    }
    // The matched records that cover `at`: those starting from at - 15 to at - 8.
    bool explained = false;
    const std::uint64_t lowest = at >= 15 ? at - 15 : 0;
    for (auto record = std::lower_bound(matched.begin(), matched.end(), lowest);
         record != matched.end() && *record + 8 <= at && !explained; ++record) {
      explained = dump[at] == values[at - *record - 8] &&
                  Get32(original, *record + 16) == identity.TimeDateStamp;
    }
    if (!explained) {
      return "a byte changed outside the written fields of a matching record";
    }
  }

  if (!facts.writesOverlapReads) {
    Bytes again = dump;
    if (Update(again, identity) != FileStatus::Ok) {
      return "a second run did not succeed";
    }
    if (again != dump) {
      return "a second run changed bytes";
    }
  }
  return nullptr;
}

}  // namespace corvinade::fuzz
