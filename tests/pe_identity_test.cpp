#include "imagefiles/pe_identity.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/builders.h"
#include "tests/test_files.h"

namespace corvinade {
namespace {

using test::Bytes;
using test::PeBuilder;
using test::Put16;
using test::Put32;

struct PeCase {
  const char* name;
  std::function<Bytes()> make;
  FileStatus status;
  ImageIdentity identity;  // expected on Ok
};

class ReadImageIdentityTest : public testing::TestWithParam<PeCase> {};

TEST_P(ReadImageIdentityTest, GivesStatusAndValues) {
  const PeCase& c = GetParam();
  const Bytes image = c.make();
  // A sentinel that must survive any failure: the caller's record is written only on Ok.
  ImageIdentity identity{0xDEADBEEF, 0xDEADBEEF, 0xDEADBEEF};
  EXPECT_EQ(ReadImageIdentityFromBytes(ConstBytes(image.data(), image.size()), identity), c.status);
  const ImageIdentity expected =
      c.status == FileStatus::Ok ? c.identity : ImageIdentity{0xDEADBEEF, 0xDEADBEEF, 0xDEADBEEF};
  EXPECT_EQ(identity.TimeDateStamp, expected.TimeDateStamp);
  EXPECT_EQ(identity.SizeOfImage, expected.SizeOfImage);
  EXPECT_EQ(identity.CheckSum, expected.CheckSum);
}

constexpr ImageIdentity kId{0x5AB38077, 0x9000, 0x0001D0C5};
constexpr ImageIdentity kNone{};

PeBuilder Pe() {
  return PeBuilder().Identity(kId.TimeDateStamp, kId.SizeOfImage, kId.CheckSum);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, ReadImageIdentityTest,
    testing::Values(
        PeCase{"Pe32", [] { return Pe().Build(); }, FileStatus::Ok, kId},
        PeCase{"Pe32Plus",
               [] { return PeBuilder().Magic(0x20B).Identity(0x589DFD11, 0x1A000, 0x7).Build(); },
               FileStatus::Ok, ImageIdentity{0x589DFD11, 0x1A000, 0x7}},
        PeCase{"CheckSumZeroIsTakenAsItIs",
               [] { return PeBuilder().Identity(0x11, 0x22, 0).Build(); }, FileStatus::Ok,
               ImageIdentity{0x11, 0x22, 0}},
        // The fields read end at e_lfanew + 91; nothing past them is needed.
        PeCase{"EndsRightAfterCheckSum", [] { return Pe().Length(0x80 + 92).Build(); },
               FileStatus::Ok, kId},
        PeCase{"CheckSumOneByteShort", [] { return Pe().Length(0x80 + 91).Build(); },
               FileStatus::BadFormat, kNone},
        PeCase{"SizeOfImageOneByteShort", [] { return Pe().Length(0x80 + 83).Build(); },
               FileStatus::BadFormat, kNone},
        PeCase{"MagicOneByteShort", [] { return Pe().Length(0x80 + 25).Build(); },
               FileStatus::BadFormat, kNone},
        PeCase{"SignatureOneByteShort", [] { return Pe().Length(0x80 + 3).Build(); },
               FileStatus::BadFormat, kNone},
        PeCase{"NtHeadersInsideDosHeader", [] { return Pe().NtHeadersAt(4).Length(96).Build(); },
               FileStatus::Ok, kId},
        PeCase{"ShorterThanDosHeader", [] { return Pe().Length(63).Build(); },
               FileStatus::BadFormat, kNone},
        PeCase{"OnlyMz", [] { return Pe().Length(2).Build(); }, FileStatus::BadFormat, kNone},
        PeCase{"OneByte", [] { return Pe().Length(1).Build(); }, FileStatus::BadFormat, kNone},
        PeCase{"ZmInsteadOfMz",
               [] {
                 Bytes b = Pe().Build();
                 Put16(b, 0, 0x4D5A);
                 return b;
               },
               FileStatus::BadFormat, kNone},
        PeCase{"NeInsteadOfPe",
               [] {
                 Bytes b = Pe().Build();
                 Put32(b, 0x80, 0x0000454E);
                 return b;
               },
               FileStatus::BadFormat, kNone},
        PeCase{"RomImageMagic", [] { return Pe().Magic(0x107).Build(); }, FileStatus::BadFormat,
               kNone},
        PeCase{"ZeroMagic", [] { return Pe().Magic(0).Build(); }, FileStatus::BadFormat, kNone},
        PeCase{"NtHeadersPastEnd",
               [] {
                 Bytes b = Pe().Build();
                 Put32(b, 60, static_cast<std::uint32_t>(b.size()));
                 return b;
               },
               FileStatus::BadFormat, kNone},
        // In 32-bit arithmetic e_lfanew + 4 would wrap to 2 and pass a bounds check.
        PeCase{"NtHeadersNearTopOf32Bits",
               [] {
                 Bytes b = Pe().Build();
                 Put32(b, 60, 0xFFFFFFFE);
                 return b;
               },
               FileStatus::BadFormat, kNone}),
    [](const testing::TestParamInfo<PeCase>& info) { return info.param.name; });

TEST(ReadImageIdentityFileTest, ReadsAFileWithoutChangingIt) {
  test::TempDir dir;
  const NativeString path = dir / "app.exe";
  const Bytes image = Pe().Magic(0x20B).Build();
  test::WriteFile(path, image);
  ImageIdentity identity;
  ASSERT_EQ(ReadImageIdentity(path.c_str(), identity), FileStatus::Ok);
  EXPECT_EQ(identity.TimeDateStamp, kId.TimeDateStamp);
  EXPECT_EQ(identity.SizeOfImage, kId.SizeOfImage);
  EXPECT_EQ(identity.CheckSum, kId.CheckSum);
  EXPECT_EQ(test::ReadFile(path), image);
}

}  // namespace
}  // namespace corvinade
