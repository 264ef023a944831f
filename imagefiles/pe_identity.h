// Reads an executable's identity (TimeDateStamp, SizeOfImage, CheckSum) from its PE headers.
//
// Three tests decide that the bytes are a PE image: "MZ" at 0, "PE\0\0" at e_lfanew, and
// an optional-header Magic of PE32 (0x10B) or PE32+ (0x20B). Nothing else is checked: not
// the machine, the characteristics, the section table, the data directories, whether
// CheckSum is the file's true checksum, nor the file's length beyond the fields read.
#ifndef CORVINADE_IMAGEFILES_PE_IDENTITY_H
#define CORVINADE_IMAGEFILES_PE_IDENTITY_H

#include "imagefiles/byte_view.h"
#include "imagefiles/image_identity.h"

namespace corvinade {

// The format logic alone, over bytes. Returns Ok and fills `identity`, or BadFormat and
// leaves `identity` untouched.
FileStatus ReadImageIdentityFromBytes(ConstBytes image, ImageIdentity& identity);

// Reads through `view`, which has Data(), Length() and RunGuarded(work) as MappedFile
// does: BadFormat when the view faults while it is read.
template <typename View>
FileStatus ReadImageIdentityFromView(View& view, ImageIdentity& identity) {
  FileStatus status = FileStatus::BadFormat;
  auto work = [&] {
    status = ReadImageIdentityFromBytes(ConstBytes(view.Data(), view.Length()), identity);
  };
  return view.RunGuarded(work) ? status : FileStatus::BadFormat;
}

// Maps the file at `path` read-only and reads its identity: Ok, CannotOpen or BadFormat.
// The file is never changed.
FileStatus ReadImageIdentity(const NativeChar* path, ImageIdentity& identity);

}  // namespace corvinade

#endif  // CORVINADE_IMAGEFILES_PE_IDENTITY_H
