// Header records, byte order, the guarded read and the integer helpers of the format.
#include <climits>
#include <cstdio>

#include <gtest/gtest.h>

#include "Pixelry/Pixelry.h"
#include "support/BmpFile.h"
#include "support/TempDir.h"

namespace {

TEST(Records, FileHeaderStartsWithTheSignatureAndZeros) {
  const BMFH header;
  EXPECT_EQ(header.bfType, 19778);
  EXPECT_EQ(header.bfSize, 0u);
  EXPECT_EQ(header.bfReserved1, 0);
  EXPECT_EQ(header.bfReserved2, 0);
  EXPECT_EQ(header.bfOffBits, 0u);
}

TEST(Records, InfoHeaderStartsAt96DpiUncompressed) {
  const BMIH header;
  EXPECT_EQ(header.biSize, 0u);
  EXPECT_EQ(header.biWidth, 0u);
  EXPECT_EQ(header.biHeight, 0u);
  EXPECT_EQ(header.biPlanes, 1);
  EXPECT_EQ(header.biBitCount, 0);
  EXPECT_EQ(header.biCompression, 0u);
  EXPECT_EQ(header.biSizeImage, 0u);
  EXPECT_EQ(header.biXPelsPerMeter, 3780u);
  EXPECT_EQ(header.biYPelsPerMeter, 3780u);
  EXPECT_EQ(header.biClrUsed, 0u);
  EXPECT_EQ(header.biClrImportant, 0u);
}

TEST(Records, FileHeaderSwitchEndianessSwapsEveryField) {
  BMFH header;
  header.bfType = 0x0102;
  header.bfSize = 0x03040506;
  header.bfReserved1 = 0x0708;
  header.bfReserved2 = 0x090A;
  header.bfOffBits = 0x0B0C0D0E;
  header.SwitchEndianess();
  EXPECT_EQ(header.bfType, 0x0201);
  EXPECT_EQ(header.bfSize, 0x06050403u);
  EXPECT_EQ(header.bfReserved1, 0x0807);
  EXPECT_EQ(header.bfReserved2, 0x0A09);
  EXPECT_EQ(header.bfOffBits, 0x0E0D0C0Bu);
}

TEST(Records, InfoHeaderSwitchEndianessSwapsEveryField) {
  BMIH header;
  header.biSize = 0x01020304;
  header.biWidth = 0x05060708;
  header.biHeight = 0x090A0B0C;
  header.biPlanes = 0x0D0E;
  header.biBitCount = 0x0F10;
  header.biCompression = 0x11121314;
  header.biSizeImage = 0x15161718;
  header.biXPelsPerMeter = 0x191A1B1C;
  header.biYPelsPerMeter = 0x1D1E1F20;
  header.biClrUsed = 0x21222324;
  header.biClrImportant = 0x25262728;
  header.SwitchEndianess();
  EXPECT_EQ(header.biSize, 0x04030201u);
  EXPECT_EQ(header.biWidth, 0x08070605u);
  EXPECT_EQ(header.biHeight, 0x0C0B0A09u);
  EXPECT_EQ(header.biPlanes, 0x0E0D);
  EXPECT_EQ(header.biBitCount, 0x100F);
  EXPECT_EQ(header.biCompression, 0x14131211u);
  EXPECT_EQ(header.biSizeImage, 0x18171615u);
  EXPECT_EQ(header.biXPelsPerMeter, 0x1C1B1A19u);
  EXPECT_EQ(header.biYPelsPerMeter, 0x201F1E1Du);
  EXPECT_EQ(header.biClrUsed, 0x24232221u);
  EXPECT_EQ(header.biClrImportant, 0x28272625u);
}

TEST(ByteOrder, FlipsReverseTheBytes) {
  EXPECT_EQ(FlipWORD(0x1234), 0x3412);
  EXPECT_EQ(FlipWORD(0x00FF), 0xFF00);
  EXPECT_EQ(FlipDWORD(0x12345678u), 0x78563412u);
  EXPECT_EQ(FlipDWORD(0x000000FFu), 0xFF000000u);
  EXPECT_EQ(FlipDWORD(0x80000001u), 0x01000080u);
}

TEST(ByteOrder, IsBigEndianTellsTheHostsOrder) {
  const PixelryWORD one = 1;
  EXPECT_EQ(IsBigEndian(), *reinterpret_cast<const unsigned char*>(&one) == 0);
}

class SafeFreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::writeBytes(dir.file("five"), {1, 2, 3, 4, 5});
    file = std::fopen(dir.file("five").c_str(), "rb");
    ASSERT_NE(file, nullptr);
  }
  void TearDown() override {
    if (file) std::fclose(file);
  }
  testing_support::TempDir dir;
  std::FILE* file = nullptr;
  char buffer[8] = {9, 9, 9, 9, 9, 9, 9, 9};
};

TEST_F(SafeFreadTest, ReadsWholeItems) {
  EXPECT_TRUE(SafeFread(buffer, 2, 2, file));
  EXPECT_EQ(buffer[0], 1);
  EXPECT_EQ(buffer[3], 4);
  EXPECT_EQ(buffer[4], 9);
}

TEST_F(SafeFreadTest, ShortReadIsFalseButFillsWhatArrived) {
  EXPECT_TRUE(SafeFread(buffer, 1, 3, file));
  EXPECT_FALSE(SafeFread(buffer, 1, 4, file));
  EXPECT_EQ(buffer[0], 4);
  EXPECT_EQ(buffer[1], 5);
  EXPECT_EQ(buffer[2], 3);
}

TEST_F(SafeFreadTest, AfterTheEndOfFileReadsNothingEvenWhenDataArrives) {
  EXPECT_FALSE(SafeFread(buffer, 1, 6, file));
  ASSERT_TRUE(std::feof(file));
  std::FILE* more = std::fopen(dir.file("five").c_str(), "ab");
  std::fputc(7, more);
  std::fclose(more);
  buffer[0] = 9;
  EXPECT_FALSE(SafeFread(buffer, 1, 1, file));
  EXPECT_EQ(buffer[0], 9);
}

TEST(DataSize, FixedWidthTypesFitTheFormat) { EXPECT_TRUE(PixelrycheckDataSize()); }

TEST(IntSquare, SquaresAndWrapsBeyondTheIntRange) {
  EXPECT_EQ(IntSquare(0), 0);
  EXPECT_EQ(IntSquare(-3), 9);
  EXPECT_EQ(IntSquare(255), 65025);
  EXPECT_EQ(IntSquare(-255), 65025);
  EXPECT_EQ(IntSquare(46340), 2147395600);
  EXPECT_EQ(IntSquare(46341), -2147479015);  // 2147488281 mod 2^32
  EXPECT_EQ(IntSquare(65536), 0);
  EXPECT_EQ(IntSquare(INT_MIN), 0);
}

}  // namespace
