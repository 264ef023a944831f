// A whole file, opened, mapped and viewed for the length of one file operation.
//
//   MappedFile file;
//   if (file.Open(path, MapAccess::ReadOnly) != FileStatus::Ok) { ... }
//   bool completed = file.RunGuarded(work);  // false: the view faulted
//
// The file is opened as it exists: never created, truncated or extended. Other processes
// may read and write it meanwhile; nothing is locked. The platform backends live in
// mapped_file_<platform>.cpp; this header includes no system header.
#ifndef CORVINADE_IMAGEFILES_MAPPED_FILE_H
#define CORVINADE_IMAGEFILES_MAPPED_FILE_H

#include <cstdint>

#include "imagefiles/image_identity.h"

namespace corvinade {

enum class MapAccess {
  ReadOnly,   // the view can only be read; used for the executable
  ReadWrite,  // the view can be read and written; used for the dump
};

class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile() { Release(); }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // Opens the existing regular file at `path` and maps one view of all of it. Returns Ok,
  // or CannotOpen with nothing left acquired: the file is missing, not accessible in the
  // mode asked for, not a regular file, empty, or too large to view in one piece.
  FileStatus Open(const NativeChar* path, MapAccess access);

  std::uint8_t* Data() const { return view_; }
  std::uint64_t Length() const { return length_; }

  // Writes the view's changed bytes to the file and waits for them. False when the system
  // reports that they could not be written.
  bool Flush();

  // Runs `work()` and returns true, or returns false as soon as an access to the view
  // could not be satisfied (the file shrank underneath it, or an I/O error). The work
  // is then abandoned where it stood without unwinding, so it must keep nothing with a
  // destructor on its own stack. Faults outside the view are not contained.
  template <typename Work>
  bool RunGuarded(Work& work) {
    return RunGuardedImpl(&CallWork<Work>, &work);
  }

  // Releases view, mapping and file, in that order. Safe to call more than once.
  void Release();

 private:
  template <typename Work>
  static void CallWork(void* work) {
    (*static_cast<Work*>(work))();
  }
  bool RunGuardedImpl(void (*work)(void*), void* context);

  // Platform handles: a descriptor on POSIX (no mapping object), HANDLEs on Windows.
  std::intptr_t file_ = -1;
  [[maybe_unused]] std::intptr_t mapping_ = 0;
  std::uint8_t* view_ = nullptr;
  std::uint64_t length_ = 0;
};

}  // namespace corvinade

#endif  // CORVINADE_IMAGEFILES_MAPPED_FILE_H
