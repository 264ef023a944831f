// Writes an executable's SizeOfImage and CheckSum into the module records of a minidump
// that carry its TimeDateStamp.
//
// Records are matched on TimeDateStamp alone. The minidump's Version, the header's own
// CheckSum, TimeDateStamp and Flags, the module names and every stream other than
// ModuleListStream are neither read nor checked. A list's DataSize is read only to tell a
// padded list (records from Rva + 8) from a plain one (records from Rva + 4).
//
// The whole directory and every module list are checked, and the matches found, before
// anything is written, so a dump that is malformed or has no match is never changed.
#ifndef CORVINADE_IMAGEFILES_DUMP_MODULES_H
#define CORVINADE_IMAGEFILES_DUMP_MODULES_H

#include <cstdint>
#include <vector>

#include "imagefiles/byte_view.h"
#include "imagefiles/image_identity.h"

namespace corvinade {

// Checks every directory entry and every ModuleListStream, reading only, and appends the
// file offset of each record whose TimeDateStamp equals `timeDateStamp`. Each record
// appears once, however many lists hold it, in the order in which a walk of the
// directory's lists in turn would last write it. Reads each record position at most
// once, so the cost grows with the directory's size plus the file's, not with entries
// times records. Returns Ok (at least one match), ModuleNotFound, or BadFormat when the
// signature is wrong or any structure lies wholly or partly outside the bytes.
FileStatus FindMatchingModules(ConstBytes dump, std::uint32_t timeDateStamp,
                               std::vector<std::uint64_t>& recordOffsets);

// Writes the identity's SizeOfImage and CheckSum into each record found above.
void WriteModuleIdentity(MutableBytes dump, const std::vector<std::uint64_t>& recordOffsets,
                         const ImageIdentity& identity);

// Finds, then writes: the format logic alone, without a file.
FileStatus UpdateDumpModulesInBytes(MutableBytes dump, const ImageIdentity& identity);

// Updates through `view`, which has Data(), Length(), RunGuarded(work) and Flush() as
// MappedFile does. A fault while reading is BadFormat; a fault while writing, or a failed
// flush, is CannotWrite. The view is flushed only when records were written.
template <typename View>
FileStatus UpdateDumpModulesInView(View& view, const ImageIdentity& identity) {
  const MutableBytes dump(view.Data(), view.Length());
  std::vector<std::uint64_t> matches;
  FileStatus status = FileStatus::BadFormat;
  auto find = [&] { status = FindMatchingModules(dump, identity.TimeDateStamp, matches); };
  if (!view.RunGuarded(find)) {
    return FileStatus::BadFormat;
  }
  if (status != FileStatus::Ok) {
    return status;
  }
  auto write = [&] { WriteModuleIdentity(dump, matches, identity); };
  if (!view.RunGuarded(write) || !view.Flush()) {
    return FileStatus::CannotWrite;
  }
  return FileStatus::Ok;
}

// Maps the dump at `path` for reading and writing and updates it in place: Ok,
// CannotOpen, BadFormat, ModuleNotFound or CannotWrite.
FileStatus UpdateDumpModules(const NativeChar* path, const ImageIdentity& identity);

}  // namespace corvinade

#endif  // CORVINADE_IMAGEFILES_DUMP_MODULES_H
