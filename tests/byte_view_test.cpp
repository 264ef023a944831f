#include "imagefiles/byte_view.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace corvinade {
namespace {

struct FitCase {
  const char* name;
  std::uint64_t offset;
  std::uint64_t width;
  std::uint64_t length;
  bool fits;
};

class FitsWithinTest : public testing::TestWithParam<FitCase> {};

TEST_P(FitsWithinTest, AnswersWithoutWrapping) {
  const FitCase& c = GetParam();
  EXPECT_EQ(FitsWithin(c.offset, c.width, c.length), c.fits);
}

constexpr std::uint64_t kMax = ~std::uint64_t{0};
constexpr std::uint64_t k4G = std::uint64_t{1} << 32;

INSTANTIATE_TEST_SUITE_P(
    Ranges, FitsWithinTest,
    testing::Values(
        FitCase{"EndsAtEnd", 92, 16, 108, true}, FitCase{"OneByteOver", 93, 16, 108, false},
        FitCase{"EmptyAtEnd", 108, 0, 108, true}, FitCase{"EmptyPastEnd", 109, 0, 108, false},
        FitCase{"WidthLargerThanFile", 0, 109, 108, false},
        // A 32-bit RVA near 2^32 plus 108 times a count near 2^32 is far past
        // any file, even though its 32-bit sum would wrap to something small.
        FitCase{"RvaNear4GPlusHugeList", 0xFFFFFFFC + 4, 108 * 0xFFFFFFFFull, 4096, false},
        FitCase{"SumWouldWrap64Bits", kMax - 3, 8, kMax, false},
        FitCase{"WidthWouldWrap64Bits", 16, kMax - 8, kMax, false},
        FitCase{"LastBytesOfHugeFile", k4G - 4, 4, k4G, true}),
    [](const testing::TestParamInfo<FitCase>& info) { return info.param.name; });

TEST(ByteViewTest, ReadsLittleEndianAtAnyAlignment) {
  const std::uint8_t bytes[] = {0xEE, 0x78, 0x56, 0x34, 0x12, 0xCD, 0xAB};
  const ConstBytes view(bytes, sizeof bytes);
  std::uint32_t value32 = 0;
  std::uint16_t value16 = 0;
  ASSERT_TRUE(view.ReadU32(1, value32));
  EXPECT_EQ(value32, 0x12345678u);
  ASSERT_TRUE(view.ReadU16(5, value16));
  EXPECT_EQ(value16, 0xABCDu);
  EXPECT_FALSE(view.ReadU32(4, value32)) << "three bytes left: a 32-bit read must not fit";
  EXPECT_FALSE(view.ReadU16(6, value16));
}

TEST(ByteViewTest, WritesLittleEndianOnlyWithinTheView) {
  std::uint8_t bytes[7] = {};
  const MutableBytes view(bytes, 6);
  ASSERT_TRUE(view.WriteU32(1, 0xA1B2C3D4));
  EXPECT_FALSE(view.WriteU32(3, 0xFFFFFFFF));
  const std::uint8_t expected[7] = {0, 0xD4, 0xC3, 0xB2, 0xA1, 0, 0};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(bytes[i], expected[i]) << "byte " << i;
  }
}

}  // namespace
}  // namespace corvinade
