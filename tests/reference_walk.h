// A plain walk over a minidump, written as directly as the format reads: every directory
// entry, every module list in turn, every record, with no cleverness. It costs entries x
// records, so it is for checking the product on small and mid-sized inputs only.
#ifndef CORVINADE_TESTS_REFERENCE_WALK_H
#define CORVINADE_TESTS_REFERENCE_WALK_H

#include <cstdint>
#include <vector>

#include "tests/builders.h"

namespace corvinade::test {

enum class ReferenceResult { Ok, BadFormat, ModuleNotFound };

// What a walk saw, for checks beyond the bytes.
struct WalkFacts {
  std::vector<std::uint64_t> matchedRecords;  // each matched record once, ascending
  // Whether a write landed on a byte that the walk read (the header, a directory entry,
  // a list's count or a record's TimeDateStamp). Only then can a second run differ.
  bool writesOverlapReads = false;
};

// Updates `dump` the plain way: checks the header, the directory and every module list
// first and changes nothing unless all lie within the bytes; decides every match on the
// bytes as they were; then writes SizeOfImage and CheckSum of each match, list by list,
// record by record, repeating a record as often as lists name it.
ReferenceResult ReferenceUpdate(Bytes& dump, std::uint32_t timeDateStamp, std::uint32_t sizeOfImage,
                                std::uint32_t checkSum, WalkFacts* facts = nullptr);

// A dump whose directory has `entries` ModuleListStream entries all naming one list of
// `records` records. Alternate entries give the list a padded DataSize, so that their
// records start 4 bytes later and overlap the others' out of step. Every `matchEvery`-th
// record carries `stamp` where a plain list reads it and where a padded list reads it, so
// that both readings match it and their writes cross; the record half-way between two of
// those carries it only where a padded list reads it.
Bytes SharedListDump(std::uint32_t entries, std::uint32_t records, std::uint32_t stamp,
                     std::uint32_t matchEvery);

}  // namespace corvinade::test

#endif  // CORVINADE_TESTS_REFERENCE_WALK_H
