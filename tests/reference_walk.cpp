#include "tests/reference_walk.h"

#include <algorithm>
#include <vector>

namespace corvinade::test {

namespace {

bool Fits(const Bytes& bytes, std::uint64_t offset, std::uint64_t width) {
  return offset <= bytes.size() && width <= bytes.size() - offset;
}

struct List {
  std::uint64_t first;
  std::uint32_t count;
};

}  // namespace

ReferenceResult ReferenceUpdate(Bytes& dump, std::uint32_t timeDateStamp, std::uint32_t sizeOfImage,
                                std::uint32_t checkSum, WalkFacts* facts) {
  std::vector<bool> read(facts != nullptr ? dump.size() : 0, false);
  auto markRead = [&](std::uint64_t offset, std::uint64_t width) {
    for (std::uint64_t i = 0; facts != nullptr && i < width; ++i) {
      read[offset + i] = true;
    }
  };
  if (!Fits(dump, 0, 16) || Get32(dump, 0) != 0x504D444D) {
    return ReferenceResult::BadFormat;
  }
  const std::uint32_t streams = Get32(dump, 8);
  const std::uint32_t directory = Get32(dump, 12);
  if (streams != 0 && !Fits(dump, directory, 12ull * streams)) {
    return ReferenceResult::BadFormat;
  }
  markRead(0, 16);
  markRead(directory, 12ull * streams);
  std::vector<List> lists;
  for (std::uint32_t i = 0; i < streams; ++i) {
    const std::uint64_t entry = directory + 12ull * i;
    if (Get32(dump, entry) != 4) {
      continue;
    }
    const std::uint32_t dataSize = Get32(dump, entry + 4);
    const std::uint32_t rva = Get32(dump, entry + 8);
    if (!Fits(dump, rva, 4)) {
      return ReferenceResult::BadFormat;
    }
    const std::uint32_t count = Get32(dump, rva);
    markRead(rva, 4);
    const bool padded = dataSize == 8 + 108ull * count;
    const std::uint64_t first = std::uint64_t{rva} + (padded ? 8 : 4);
    if (count != 0 && !Fits(dump, first, 108ull * count)) {
      return ReferenceResult::BadFormat;
    }
    lists.push_back(List{first, count});
  }
  const Bytes before = dump;
  bool matched = false;
  for (const List& list : lists) {
    for (std::uint32_t j = 0; j < list.count; ++j) {
      const std::uint64_t record = list.first + 108ull * j;
      markRead(record + 16, 4);
      if (Get32(before, record + 16) == timeDateStamp) {
        Put32(dump, record + 8, sizeOfImage);
        Put32(dump, record + 12, checkSum);
        matched = true;
        if (facts != nullptr) {
          facts->matchedRecords.push_back(record);
        }
      }
    }
  }
  if (facts != nullptr) {
    std::vector<std::uint64_t>& records = facts->matchedRecords;
    std::sort(records.begin(), records.end());
    records.erase(std::unique(records.begin(), records.end()), records.end());
    for (const std::uint64_t record : records) {
      for (std::uint64_t at = record + 8; at < record + 16; ++at) {
        facts->writesOverlapReads = facts->writesOverlapReads || read[at];
      }
    }
  }
  return matched ? ReferenceResult::Ok : ReferenceResult::ModuleNotFound;
}

Bytes SharedListDump(std::uint32_t entries, std::uint32_t records, std::uint32_t stamp,
                     std::uint32_t matchEvery) {
  const std::uint64_t directory = 32;
  const std::uint64_t list = directory + 12ull * entries;
  Bytes dump(list + 8 + 108ull * records, 0);
  Put32(dump, 0, 0x504D444D);
  Put32(dump, 4, 0xA793);
  Put32(dump, 8, entries);
  Put32(dump, 12, static_cast<std::uint32_t>(directory));
  for (std::uint32_t i = 0; i < entries; ++i) {
    const std::uint64_t entry = directory + 12ull * i;
    const bool padded = i % 2 == 1;
    Put32(dump, entry, 4);
    Put32(dump, entry + 4, static_cast<std::uint32_t>((padded ? 8 : 4) + 108ull * records));
    Put32(dump, entry + 8, static_cast<std::uint32_t>(list));
  }
  Put32(dump, list, records);
  for (std::uint32_t j = 0; j < records; ++j) {
    const std::uint64_t record = list + 4 + 108ull * j;
    for (std::uint64_t field = 0; field < 108; field += 4) {
      Put32(dump, record + field, 0x0B000000u + j);
    }
    if (j % matchEvery == 0) {
      Put32(dump, record + 16, stamp);  // a plain list's TimeDateStamp
    }
    if (j % matchEvery == 0 || j % matchEvery == matchEvery / 2) {
      Put32(dump, record + 20, stamp);  // a padded list's TimeDateStamp
    }
  }
  return dump;
}

}  // namespace corvinade::test
