#include "imagefiles/pe_identity.h"

#include <cstdint>

#include "imagefiles/mapped_file.h"

namespace corvinade {

namespace {

// Where the fields lie. NT-header offsets are relative to e_lfanew; SizeOfImage and
// CheckSum sit at the same places in PE32 and PE32+ optional headers.
constexpr std::uint64_t kDosMagicOffset = 0;
constexpr std::uint64_t kNtHeadersOffsetField = 0x3C;  // e_lfanew
constexpr std::uint64_t kNtSignature = 0;
constexpr std::uint64_t kFileHeaderTimeDateStamp = 4 + 4;
constexpr std::uint64_t kOptionalHeader = 4 + 20;
constexpr std::uint64_t kOptionalMagic = kOptionalHeader + 0;
constexpr std::uint64_t kOptionalSizeOfImage = kOptionalHeader + 56;
constexpr std::uint64_t kOptionalCheckSum = kOptionalHeader + 64;
static_assert(kOptionalSizeOfImage == 80 && kOptionalCheckSum == 88, "PE optional header layout");

constexpr std::uint16_t kDosMagic = 0x5A4D;     // "MZ"
constexpr std::uint32_t kNtMagic = 0x00004550;  // "PE\0\0"
constexpr std::uint16_t kPe32Magic = 0x010B;
constexpr std::uint16_t kPe32PlusMagic = 0x020B;

}  // namespace

FileStatus ReadImageIdentityFromBytes(ConstBytes image, ImageIdentity& identity) {
  std::uint16_t dosMagic = 0;
  if (!image.ReadU16(kDosMagicOffset, dosMagic) || dosMagic != kDosMagic) {
    return FileStatus::BadFormat;
  }
  std::uint32_t ntHeaders = 0;
  std::uint32_t signature = 0;
  if (!image.ReadU32(kNtHeadersOffsetField, ntHeaders) ||
      !image.ReadU32(ntHeaders + kNtSignature, signature) || signature != kNtMagic) {
    return FileStatus::BadFormat;
  }
  std::uint16_t magic = 0;
  if (!image.ReadU16(ntHeaders + kOptionalMagic, magic) ||
      (magic != kPe32Magic && magic != kPe32PlusMagic)) {
    return FileStatus::BadFormat;
  }
  ImageIdentity read;
  if (!image.ReadU32(ntHeaders + kFileHeaderTimeDateStamp, read.TimeDateStamp) ||
      !image.ReadU32(ntHeaders + kOptionalSizeOfImage, read.SizeOfImage) ||
      !image.ReadU32(ntHeaders + kOptionalCheckSum, read.CheckSum)) {
    return FileStatus::BadFormat;
  }
  identity = read;
  return FileStatus::Ok;
}

FileStatus ReadImageIdentity(const NativeChar* path, ImageIdentity& identity) {
  MappedFile image;
  const FileStatus opened = image.Open(path, MapAccess::ReadOnly);
  if (opened != FileStatus::Ok) {
    return opened;
  }
  return ReadImageIdentityFromView(image, identity);
}

}  // namespace corvinade
