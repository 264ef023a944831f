// Builders for the test inputs: minidumps and PE headers.
//
//   MinidumpBuilder dump;
//   dump.AddModuleList({TestModule{0x5AB38077, 0x9000, 0}});
//   std::vector<std::uint8_t> bytes = dump.Build();
//   Put32(bytes, dump.RecordOffset(0, 0) + 16, 0);  // change one field
//
// They spell every offset out themselves and never include the product's layout
// constants, so a wrong offset in the product cannot slip into the fixtures. Every field
// that the product should leave alone holds a distinctive value, so that a write to the
// wrong place shows.
#ifndef CORVINADE_TESTS_BUILDERS_H
#define CORVINADE_TESTS_BUILDERS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace corvinade::test {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& bytes, std::uint64_t offset, std::uint16_t value);
void Put32(Bytes& bytes, std::uint64_t offset, std::uint32_t value);
std::uint32_t Get32(const Bytes& bytes, std::uint64_t offset);

struct TestModule {
  std::uint32_t timeDateStamp;
  std::uint32_t sizeOfImage = 0x00ADA542;
  std::uint32_t checkSum = 0xB1054D2A;
  // With a name, the record points at it and its other fields are zero, as a real
  // writer's would be, so that general minidump tools can read it. Without one, every
  // byte the product must not touch holds a distinctive value.
  std::u16string name = {};
};

class MinidumpBuilder {
 public:
  // A ModuleListStream (type 4). A padded list has 4 bytes after its count and says so
  // in its DataSize (8 + 108 n) as some 64-bit writers do.
  MinidumpBuilder& AddModuleList(std::vector<TestModule> modules, bool padded = false);
  // Any other stream, with its bytes.
  MinidumpBuilder& AddStream(std::uint32_t type, Bytes data);
  Bytes Build();

  // Where Build() put things. The directory follows the 32-byte header.
  static constexpr std::uint64_t kDirectoryOffset = 32;
  static constexpr std::uint64_t DirectoryEntryOffset(std::size_t stream) {
    return kDirectoryOffset + 12 * stream;
  }
  std::uint64_t StreamOffset(std::size_t stream) const;
  // Offset of module `module` of the `list`-th module list.
  std::uint64_t RecordOffset(std::size_t list, std::size_t module) const;

 private:
  struct Stream {
    std::uint32_t type;
    Bytes data;
    std::vector<std::uint64_t> recordStarts;  // within data
    std::vector<std::u16string> names;        // one a record; empty: none
  };
  std::vector<Stream> streams_;
  std::vector<std::uint64_t> streamOffsets_;
};

class PeBuilder {
 public:
  PeBuilder& NtHeadersAt(std::uint32_t eLfanew);
  PeBuilder& Magic(std::uint16_t magic);
  PeBuilder& Identity(std::uint32_t timeDateStamp, std::uint32_t sizeOfImage,
                      std::uint32_t checkSum);
  // Cut the file to `length` bytes (or pad it with zeros).
  PeBuilder& Length(std::uint64_t length);
  Bytes Build() const;

 private:
  std::uint32_t eLfanew_ = 0x80;
  std::uint16_t magic_ = 0x10B;
  std::uint32_t timeDateStamp_ = 0x5AB38077;
  std::uint32_t sizeOfImage_ = 0x9000;
  std::uint32_t checkSum_ = 0x0001D0C5;
  bool lengthSet_ = false;
  std::uint64_t length_ = 0;
};

}  // namespace corvinade::test

#endif  // CORVINADE_TESTS_BUILDERS_H
