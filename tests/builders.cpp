#include "tests/builders.h"

#include <algorithm>
#include <utility>

namespace corvinade::test {

void Put16(Bytes& bytes, std::uint64_t offset, std::uint16_t value) {
  bytes.at(offset) = static_cast<std::uint8_t>(value);
  bytes.at(offset + 1) = static_cast<std::uint8_t>(value >> 8);
}

void Put32(Bytes& bytes, std::uint64_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    bytes.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

std::uint32_t Get32(const Bytes& bytes, std::uint64_t offset) {
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    value |= std::uint32_t{bytes.at(offset + i)} << (8 * i);
  }
  return value;
}

namespace {

void Put64(Bytes& bytes, std::uint64_t offset, std::uint64_t value) {
  Put32(bytes, offset, static_cast<std::uint32_t>(value));
  Put32(bytes, offset + 4, static_cast<std::uint32_t>(value >> 32));
}

}  // namespace

MinidumpBuilder& MinidumpBuilder::AddModuleList(std::vector<TestModule> modules, bool padded) {
  // MINIDUMP_MODULE_LIST: NumberOfModules, [4 bytes of padding], 108-byte records.
  const std::uint64_t first = padded ? 8 : 4;
  Stream stream{4, Bytes(first + 108 * modules.size(), 0), {}, {}};
  Put32(stream.data, 0, static_cast<std::uint32_t>(modules.size()));
  if (padded) {
    Put32(stream.data, 4, 0xDDDDDDDD);
  }
  for (std::size_t i = 0; i < modules.size(); ++i) {
    const std::uint64_t record = first + 108 * i;
    stream.recordStarts.push_back(record);
    // Fields the product never touches get values that differ per record and per field.
    for (std::uint64_t b = 0; b < 108; ++b) {
      stream.data[record + b] = static_cast<std::uint8_t>(0x40 + 3 * i + b);
    }
    Put64(stream.data, record + 0, 0x00007FF6ADA50000ull + (i << 20));  // BaseOfImage
    Put32(stream.data, record + 8, modules[i].sizeOfImage);
    Put32(stream.data, record + 12, modules[i].checkSum);
    Put32(stream.data, record + 16, modules[i].timeDateStamp);
    if (!modules[i].name.empty()) {
      std::fill(stream.data.begin() + record + 20, stream.data.begin() + record + 108, 0);
    }
    stream.names.push_back(modules[i].name);
  }
  streams_.push_back(std::move(stream));
  return *this;
}

MinidumpBuilder& MinidumpBuilder::AddStream(std::uint32_t type, Bytes data) {
  streams_.push_back(Stream{type, std::move(data), {}, {}});
  return *this;
}

Bytes MinidumpBuilder::Build() {
  // MINIDUMP_HEADER (32 bytes), then the directory (12 bytes an entry), then the streams
  // one after another.
  const std::uint64_t directorySize = 12 * streams_.size();
  Bytes bytes(kDirectoryOffset + directorySize, 0);
  Put32(bytes, 0, 0x504D444D);  // "MDMP"
  Put32(bytes, 4, 0x0000A793);  // Version
  Put32(bytes, 8, static_cast<std::uint32_t>(streams_.size()));
  Put32(bytes, 12, static_cast<std::uint32_t>(kDirectoryOffset));
  Put32(bytes, 16, 0x1234ABCD);             // CheckSum
  Put32(bytes, 20, 0x5E5E5E5E);             // TimeDateStamp
  Put64(bytes, 24, 0x0000000000001234ull);  // Flags

  streamOffsets_.clear();
  for (std::size_t i = 0; i < streams_.size(); ++i) {
    const Stream& stream = streams_[i];
    const std::uint64_t at = bytes.size();
    streamOffsets_.push_back(at);
    bytes.insert(bytes.end(), stream.data.begin(), stream.data.end());
    const std::uint64_t entry = DirectoryEntryOffset(i);
    Put32(bytes, entry + 0, stream.type);
    Put32(bytes, entry + 4, static_cast<std::uint32_t>(stream.data.size()));  // DataSize
    Put32(bytes, entry + 8, static_cast<std::uint32_t>(at));                  // Rva
  }
  // Module names, as MINIDUMP_STRINGs (byte length, UTF-16LE, NUL) after the streams.
  for (std::size_t i = 0; i < streams_.size(); ++i) {
    for (std::size_t m = 0; m < streams_[i].names.size(); ++m) {
      const std::u16string& name = streams_[i].names[m];
      if (name.empty()) {
        continue;
      }
      const std::uint64_t at = bytes.size();
      bytes.resize(at + 4 + 2 * name.size() + 2, 0);
      Put32(bytes, at, static_cast<std::uint32_t>(2 * name.size()));
      for (std::size_t c = 0; c < name.size(); ++c) {
        Put16(bytes, at + 4 + 2 * c, static_cast<std::uint16_t>(name[c]));
      }
      Put32(bytes, streamOffsets_[i] + streams_[i].recordStarts[m] + 20,
            static_cast<std::uint32_t>(at));  // ModuleNameRva
    }
  }
  return bytes;
}

std::uint64_t MinidumpBuilder::StreamOffset(std::size_t stream) const {
  return streamOffsets_.at(stream);
}

std::uint64_t MinidumpBuilder::RecordOffset(std::size_t list, std::size_t module) const {
  std::size_t seen = 0;
  for (std::size_t i = 0; i < streams_.size(); ++i) {
    if (streams_[i].type == 4 && seen++ == list) {
      return streamOffsets_.at(i) + streams_[i].recordStarts.at(module);
    }
  }
  return ~std::uint64_t{0};
}

PeBuilder& PeBuilder::NtHeadersAt(std::uint32_t eLfanew) {
  eLfanew_ = eLfanew;
  return *this;
}

PeBuilder& PeBuilder::Magic(std::uint16_t magic) {
  magic_ = magic;
  return *this;
}

PeBuilder& PeBuilder::Identity(std::uint32_t timeDateStamp, std::uint32_t sizeOfImage,
                               std::uint32_t checkSum) {
  timeDateStamp_ = timeDateStamp;
  sizeOfImage_ = sizeOfImage;
  checkSum_ = checkSum;
  return *this;
}

PeBuilder& PeBuilder::Length(std::uint64_t length) {
  lengthSet_ = true;
  length_ = length;
  return *this;
}

Bytes PeBuilder::Build() const {
  // IMAGE_DOS_HEADER (64 bytes), then at e_lfanew: "PE\0\0", IMAGE_FILE_HEADER (20 bytes),
  // and an optional header of 224 (PE32) or 240 (PE32+) bytes.
  // The rest of the DOS header holds a pattern, the NT headers a section-less image that
  // general PE tools can read.
  const bool plus = magic_ == 0x20B;
  const std::uint64_t optionalSize = plus ? 240 : 224;
  const std::uint64_t nt = eLfanew_;
  const std::uint64_t fullLength = nt + 4 + 20 + optionalSize;
  Bytes bytes(fullLength < 64 ? 64 : fullLength, 0);
  for (std::size_t i = 0; i < 64 && i < nt; ++i) {
    bytes[i] = static_cast<std::uint8_t>(0x90 + i);
  }
  Put16(bytes, 0, 0x5A4D);                       // "MZ"
  Put32(bytes, nt + 0, 0x00004550);              // "PE\0\0"
  Put16(bytes, nt + 4, plus ? 0x8664 : 0x014C);  // Machine
  Put32(bytes, nt + 8, timeDateStamp_);
  Put16(bytes, nt + 20, static_cast<std::uint16_t>(optionalSize));
  Put16(bytes, nt + 22, plus ? 0x0022 : 0x0102);  // Characteristics: executable
  const std::uint64_t optional = nt + 24;
  Put16(bytes, optional + 0, magic_);
  Put32(bytes, optional + 32, 0x1000);  // SectionAlignment
  Put32(bytes, optional + 36, 0x200);   // FileAlignment
  Put16(bytes, optional + 40, 6);       // MajorOperatingSystemVersion
  Put16(bytes, optional + 48, 6);       // MajorSubsystemVersion
  Put32(bytes, optional + 56, sizeOfImage_);
  Put32(bytes, optional + 60, 0x200);  // SizeOfHeaders
  Put32(bytes, optional + 64, checkSum_);
  Put16(bytes, optional + 68, 3);                  // Subsystem: console
  Put32(bytes, optional + (plus ? 108 : 92), 16);  // NumberOfRvaAndSizes
  // Last, so that it wins where tiny images overlap the NT headers with the DOS header.
  Put32(bytes, 60, eLfanew_);
  if (lengthSet_) {
    bytes.resize(length_, 0);
  }
  return bytes;
}

}  // namespace corvinade::test
