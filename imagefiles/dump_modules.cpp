#include "imagefiles/dump_modules.h"

#include <algorithm>
#include <cstddef>
#include <new>
#include <queue>

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

// The records of one module list: `count` records from `first`, at a stride of 108.
struct ListSpan {
  std::uint64_t first;
  std::uint64_t end;    // first + 108 * count
  std::uint32_t entry;  // the directory entry that names it
};

// Reads the directory and returns the extent of every non-empty module list, after
// checking that the directory and each list lie wholly within the bytes. Reads no record.
FileStatus CollectModuleLists(ConstBytes dump, std::vector<ListSpan>& lists) {
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
  // The whole directory must lie in the file, so a huge NumberOfStreams in a small file
  // fails here at once. An empty one is never read, wherever it claims to be.
  if (numberOfStreams != 0 &&
      dump.At(directoryRva, kDirectoryEntrySize * numberOfStreams) == nullptr) {
    return FileStatus::BadFormat;
  }
  for (std::uint32_t i = 0; i < numberOfStreams; ++i) {
    const std::uint64_t entry = std::uint64_t{directoryRva} + kDirectoryEntrySize * i;
    std::uint32_t streamType = 0;
    if (!dump.ReadU32(entry + kEntryStreamType, streamType)) {
      return FileStatus::BadFormat;
    }
    if (streamType != kModuleListStream) {
      continue;
    }
    std::uint32_t dataSize = 0;
    std::uint32_t listRva = 0;
    std::uint32_t numberOfModules = 0;
    if (!dump.ReadU32(entry + kEntryDataSize, dataSize) ||
        !dump.ReadU32(entry + kEntryRva, listRva) || !dump.ReadU32(listRva, numberOfModules)) {
      return FileStatus::BadFormat;
    }
    const std::uint64_t first = FirstRecordOffset(listRva, dataSize, numberOfModules);
    const std::uint64_t size = kModuleRecordSize * numberOfModules;
    // The list's whole extent, so that a huge count in a small file fails at once. An
    // empty list reads nothing.
    if (numberOfModules == 0) {
      continue;
    }
    if (dump.At(first, size) == nullptr) {
      return FileStatus::BadFormat;
    }
    lists.push_back(ListSpan{first, first + size, i});
  }
  return FileStatus::Ok;
}

// Orders lists so that those whose records line up (the same first offset modulo 108)
// come together, by where they start.
bool OnSameGridByStart(const ListSpan& a, const ListSpan& b) {
  const std::uint64_t gridA = a.first % kModuleRecordSize;
  const std::uint64_t gridB = b.first % kModuleRecordSize;
  return gridA != gridB ? gridA < gridB : a.first < b.first;
}

// A matching record, and the last directory entry whose list holds it.
struct Match {
  std::uint64_t record;
  std::uint32_t lastEntry;
};

// Appends to `matches` every record with the stamp among `lists[begin, end)`, which share
// one grid and are sorted by start. Each record position is read once, however many lists
// hold it. Its last entry comes from a sweep that keeps the open lists in a heap by entry.
void MatchOnOneGrid(ConstBytes dump, const std::vector<ListSpan>& lists, std::size_t begin,
                    std::size_t end, std::uint32_t timeDateStamp, std::vector<Match>& matches) {
  auto byEntry = [](const ListSpan* a, const ListSpan* b) { return a->entry < b->entry; };
  std::priority_queue<const ListSpan*, std::vector<const ListSpan*>, decltype(byEntry)> open(
      byEntry);
  std::size_t next = begin;
  std::uint64_t record = lists[begin].first;
  while (true) {
    if (open.empty()) {
      if (next == end) {
        return;
      }
      // A gap on this grid: jump to the next list's first record.
      record = record > lists[next].first ? record : lists[next].first;
    }
    while (next < end && lists[next].first <= record) {
      open.push(&lists[next]);
      ++next;
    }
    // Drop the lists that ended before this record; those still in the heap below the
    // top are dropped when they reach it.
    while (!open.empty() && open.top()->end <= record) {
      open.pop();
    }
    if (open.empty()) {
      continue;
    }
    std::uint32_t recordStamp = 0;
    dump.ReadU32(record + kModuleTimeDateStamp, recordStamp);  // within a checked list
    if (recordStamp == timeDateStamp) {
      matches.push_back(Match{record, open.top()->entry});
    }
    record += kModuleRecordSize;
  }
}

}  // namespace

FileStatus FindMatchingModules(ConstBytes dump, std::uint32_t timeDateStamp,
                               std::vector<std::uint64_t>& recordOffsets) {
  // Only a hostile directory makes these large, and then memory may run out: that file
  // is malformed, so say so rather than throw.
  try {
    std::vector<ListSpan> lists;
    const FileStatus status = CollectModuleLists(dump, lists);
    if (status != FileStatus::Ok) {
      return status;
    }
    // Many entries may name the same or overlapping lists. Walking each list in turn
    // would cost entries x records; instead every record position is visited once. The
    // result is the same: a plain walk writes every match with the same two values, so
    // what counts is only which records match and, where two matched records overlap
    // out of step, which one a plain walk writes last. That is the one whose last list
    // comes later in the directory, or, in the same list, the later record.
    std::sort(lists.begin(), lists.end(), OnSameGridByStart);
    std::vector<Match> matches;
    for (std::size_t begin = 0; begin < lists.size();) {
      std::size_t end = begin + 1;
      while (end < lists.size() &&
             lists[end].first % kModuleRecordSize == lists[begin].first % kModuleRecordSize) {
        ++end;
      }
      MatchOnOneGrid(dump, lists, begin, end, timeDateStamp, matches);
      begin = end;
    }
    if (matches.empty()) {
      return FileStatus::ModuleNotFound;
    }
    std::sort(matches.begin(), matches.end(), [](const Match& a, const Match& b) {
      return a.lastEntry != b.lastEntry ? a.lastEntry < b.lastEntry : a.record < b.record;
    });
    recordOffsets.reserve(recordOffsets.size() + matches.size());
    for (const Match& match : matches) {
      recordOffsets.push_back(match.record);
    }
    return FileStatus::Ok;
  } catch (const std::bad_alloc&) {
    return FileStatus::BadFormat;
  }
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
