#include "imagefiles/dump_modules.h"

#include <cstddef>
#include <new>

#include "imagefiles/mapped_file.h"

namespace corvinade {

namespace {

// MINIDUMP_HEADER: only the first 16 bytes are read.
constexpr std::uint64_t kHeaderSignature = 0;
constexpr std::uint64_t kHeaderNumberOfStreams = 8;
constexpr std::uint64_t kHeaderStreamDirectoryRva = 12;
constexpr std::uint32_t kMinidumpSignature = 0x504D444D;  // "MDMP"

// MINIDUMP_DIRECTORY
constexpr std::uint64_t kDirectoryEntrySize = 12;
constexpr std::uint64_t kEntryStreamType = 0;
constexpr std::uint64_t kEntryDataSize = 4;
constexpr std::uint64_t kEntryRva = 8;
constexpr std::uint32_t kModuleListStream = 4;

// MINIDUMP_MODULE_LIST: a 32-bit count, then records packed at a stride of 108 (not 112:
// the 64-bit BaseOfImage is only 4-byte aligned). Some writers pad the count to 8 bytes
// and say so through DataSize.
constexpr std::uint64_t kModuleCountSize = 4;
constexpr std::uint64_t kPaddedModuleCountSize = 8;

// MINIDUMP_MODULE
constexpr std::uint64_t kModuleRecordSize = 108;
constexpr std::uint64_t kModuleSizeOfImage = 8;
constexpr std::uint64_t kModuleCheckSum = 12;
constexpr std::uint64_t kModuleTimeDateStamp = 16;
static_assert(kModuleSizeOfImage + 4 == kModuleCheckSum, "the two written fields are adjacent");
static_assert(8 + 4 + 4 + 4 + 4 + 52 + 8 + 8 + 8 + 8 == kModuleRecordSize, "MINIDUMP_MODULE size");

// Where a module list's first record lies. DataSize is believed only when it equals a
// padded list's size exactly; any other value, larger or smaller, means the plain layout.
std::uint64_t FirstRecordOffset(std::uint32_t listRva, std::uint32_t dataSize,
                                std::uint32_t numberOfModules) {
  const std::uint64_t paddedSize =
      kPaddedModuleCountSize + kModuleRecordSize * std::uint64_t{numberOfModules};
  const std::uint64_t countSize =
      dataSize == paddedSize ? kPaddedModuleCountSize : kModuleCountSize;
  return std::uint64_t{listRva} + countSize;
}

}  // namespace

FileStatus FindMatchingModules(ConstBytes dump, std::uint32_t timeDateStamp,
                               std::vector<std::uint64_t>& recordOffsets) {
  std::uint32_t signature = 0;
  if (!dump.ReadU32(kHeaderSignature, signature) || signature != kMinidumpSignature) {
    return FileStatus::BadFormat;
  }
  std::uint32_t numberOfStreams = 0;
  std::uint32_t directoryRva = 0;
  if (!dump.ReadU32(kHeaderNumberOfStreams, numberOfStreams) ||
      !dump.ReadU32(kHeaderStreamDirectoryRva, directoryRva)) {
    return FileStatus::BadFormat;
  }
  // The whole directory must lie in the file. An empty one is never read, wherever it
  // claims to be.
  if (numberOfStreams != 0 &&
      dump.At(directoryRva, kDirectoryEntrySize * numberOfStreams) == nullptr) {
    return FileStatus::BadFormat;
  }

  const std::size_t matchesBefore = recordOffsets.size();
  for (std::uint32_t i = 0; i < numberOfStreams; ++i) {
    const std::uint64_t entry = std::uint64_t{directoryRva} + kDirectoryEntrySize * i;
    std::uint32_t streamType = 0;
    std::uint32_t dataSize = 0;
    std::uint32_t listRva = 0;
    if (!dump.ReadU32(entry + kEntryStreamType, streamType)) {
      return FileStatus::BadFormat;
    }
    if (streamType != kModuleListStream) {
      continue;
    }
    std::uint32_t numberOfModules = 0;
    if (!dump.ReadU32(entry + kEntryDataSize, dataSize) ||
        !dump.ReadU32(entry + kEntryRva, listRva) || !dump.ReadU32(listRva, numberOfModules)) {
      return FileStatus::BadFormat;
    }
    const std::uint64_t first = FirstRecordOffset(listRva, dataSize, numberOfModules);
    // Check the list's whole extent before walking it, so that a huge count in a small
    // file fails at once. An empty list reads nothing.
    if (numberOfModules != 0 && dump.At(first, kModuleRecordSize * numberOfModules) == nullptr) {
      return FileStatus::BadFormat;
    }
    for (std::uint32_t j = 0; j < numberOfModules; ++j) {
      const std::uint64_t record = first + kModuleRecordSize * j;
      std::uint32_t recordStamp = 0;
      if (!dump.ReadU32(record + kModuleTimeDateStamp, recordStamp)) {
        return FileStatus::BadFormat;
      }
      if (recordStamp == timeDateStamp) {
        try {
          recordOffsets.push_back(record);
        } catch (const std::bad_alloc&) {
          // Only a dump whose directory names the same huge lists over and over holds
          // more matches than memory; treat it as the malformed file it is.
          return FileStatus::BadFormat;
        }
      }
    }
  }
  return recordOffsets.size() > matchesBefore ? FileStatus::Ok : FileStatus::ModuleNotFound;
}

void WriteModuleIdentity(MutableBytes dump, const std::vector<std::uint64_t>& recordOffsets,
                         const ImageIdentity& identity) {
  for (const std::uint64_t record : recordOffsets) {
    dump.WriteU32(record + kModuleSizeOfImage, identity.SizeOfImage);
    dump.WriteU32(record + kModuleCheckSum, identity.CheckSum);
  }
}

FileStatus UpdateDumpModulesInBytes(MutableBytes dump, const ImageIdentity& identity) {
  std::vector<std::uint64_t> matches;
  const FileStatus status = FindMatchingModules(dump, identity.TimeDateStamp, matches);
  if (status == FileStatus::Ok) {
    WriteModuleIdentity(dump, matches, identity);
  }
  return status;
}

FileStatus UpdateDumpModules(const NativeChar* path, const ImageIdentity& identity) {
  MappedFile dump;
  const FileStatus opened = dump.Open(path, MapAccess::ReadWrite);
  if (opened != FileStatus::Ok) {
    return opened;
  }
  return UpdateDumpModulesInView(dump, identity);
}

}  // namespace corvinade
