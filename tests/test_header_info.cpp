// Returning and printing a file's headers without loading its pixels.
#include <algorithm>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "Pixelry/Pixelry.h"
#include "support/BmpFile.h"
#include "support/Capture.h"
#include "support/Messages.h"
#include "support/TempDir.h"

namespace {

using namespace testing_support;

// A top-down 24-bit file with a distinctive value in every header field.
BmpFile distinctiveFile() {
  BmpFile file = BmpFile::make(3, -100, 24);
  file.fileHeader.bfSize = 123456;
  file.fileHeader.bfReserved1 = 65535;
  file.fileHeader.bfReserved2 = 7;
  file.fileHeader.bfOffBits = 60;
  file.infoHeader.biCompression = 2;
  file.infoHeader.biSizeImage = 4000000000u;
  file.infoHeader.biXPelsPerMeter = 2835;
  file.infoHeader.biYPelsPerMeter = 1;
  file.infoHeader.biClrUsed = 256;
  file.infoHeader.biClrImportant = 0x80000000u;
  file.infoHeader.biPlanes = 65534;
  return file;
}

const char kFileHeaderUnsigned[] =
    "bfType: 19778\n"
    "bfSize: 123456\n"
    "bfReserved1: 65535\n"
    "bfReserved2: 7\n"
    "bfOffBits: 60\n"
    "\n";

const char kInfoHeaderUnsigned[] =
    "biSize: 40\n"
    "biWidth: 3\n"
    "biHeight: 4294967196\n"
    "biPlanes: 65534\n"
    "biBitCount: 24\n"
    "biCompression: 2\n"
    "biSizeImage: 4000000000\n"
    "biXPelsPerMeter: 2835\n"
    "biYPelsPerMeter: 1\n"
    "biClrUsed: 256\n"
    "biClrImportant: 2147483648\n"
    "\n";

class HeaderInfo : public ::testing::Test {
 protected:
  void TearDown() override { SetPixelrywarningsOn(); }

  std::string write(const std::string& name, const Bytes& bytes) {
    const std::string path = dir.file(name);
    writeBytes(path, bytes);
    return path;
  }

  std::string missing() const { return dir.file("missing.bmp"); }

  TempDir dir;
};

}  // namespace

// ---------------------------------------------------------------------------------------
// GetBMFH and GetBMIH

TEST_F(HeaderInfo, FileHeaderIsTheFirst14Bytes) {
  const std::string path = write("a.bmp", distinctiveFile().bytes());
  BMFH header;
  const std::string printed = capturedOutput([&] { header = GetBMFH(path.c_str()); });
  EXPECT_EQ(header.bfType, 19778);
  EXPECT_EQ(header.bfSize, 123456u);
  EXPECT_EQ(header.bfReserved1, 65535);
  EXPECT_EQ(header.bfReserved2, 7);
  EXPECT_EQ(header.bfOffBits, 60u);
  EXPECT_EQ(printed, "");
}

TEST_F(HeaderInfo, InfoHeaderIsBytes14To53WhateverItsSizeSays) {
  BmpFile file = distinctiveFile();
  file.infoHeader.biSize = 124;
  file.fileHeader.bfType = 0x4241;  // "AB": nothing checks the signature
  const std::string path = write("a.bmp", file.bytes());
  const BMIH header = GetBMIH(path.c_str());
  EXPECT_EQ(header.biSize, 124u);
  EXPECT_EQ(header.biWidth, 3u);
  EXPECT_EQ(static_cast<std::int32_t>(header.biHeight), -100);
  EXPECT_EQ(header.biPlanes, 65534);
  EXPECT_EQ(header.biBitCount, 24);
  EXPECT_EQ(header.biCompression, 2u);
  EXPECT_EQ(header.biSizeImage, 4000000000u);
  EXPECT_EQ(header.biXPelsPerMeter, 2835u);
  EXPECT_EQ(header.biYPelsPerMeter, 1u);
  EXPECT_EQ(header.biClrUsed, 256u);
  EXPECT_EQ(header.biClrImportant, 0x80000000u);
  EXPECT_EQ(GetBMFH(path.c_str()).bfType, 0x4241);
}

TEST_F(HeaderInfo, MissingFileGivesFileHeaderTypeZeroAfterTheError) {
  BMFH header;
  const std::string printed = capturedOutput([&] { header = GetBMFH(missing().c_str()); });
  EXPECT_EQ(header.bfType, 0);
  EXPECT_EQ(header.bfReserved1, 0);
  EXPECT_EQ(header.bfReserved2, 0);
  EXPECT_EQ(printed, cannotInitialize(missing()));
}

TEST_F(HeaderInfo, MissingFileGivesTheDefaultInfoHeaderAndDepthZero) {
  BMIH header;
  int depth = -1;
  const std::string printed = capturedOutput([&] {
    header = GetBMIH(missing().c_str());
    depth = GetBitmapColorDepth(missing().c_str());
  });
  EXPECT_EQ(header.biSize, 0u);
  EXPECT_EQ(header.biWidth, 0u);
  EXPECT_EQ(header.biPlanes, 1);
  EXPECT_EQ(header.biBitCount, 0);
  EXPECT_EQ(header.biXPelsPerMeter, 3780u);
  EXPECT_EQ(header.biYPelsPerMeter, 3780u);
  EXPECT_EQ(depth, 0);
  EXPECT_EQ(printed, cannotInitialize(missing()) + cannotInitialize(missing()));
}

TEST_F(HeaderInfo, NullPathIsAFileThatCannotBeOpened) {
  BMFH fileHeader;
  int depth = -1;
  const std::string printed = capturedOutput([&] {
    fileHeader = GetBMFH(nullptr);
    depth = GetBitmapColorDepth(nullptr);
    DisplayBitmapInfo(nullptr);
  });
  EXPECT_EQ(fileHeader.bfType, 0);
  EXPECT_EQ(depth, 0);
  EXPECT_EQ(printed, cannotInitialize("") + cannotInitialize("") + cannotInitialize(""));
}

TEST_F(HeaderInfo, EmptyFileKeepsTheDefaultsWithoutAMessage) {
  const std::string path = write("empty.bmp", {});
  BMFH fileHeader;
  BMIH infoHeader;
  const std::string printed = capturedOutput([&] {
    fileHeader = GetBMFH(path.c_str());
    infoHeader = GetBMIH(path.c_str());
  });
  EXPECT_EQ(fileHeader.bfType, 19778);
  EXPECT_EQ(fileHeader.bfReserved1, 0);
  EXPECT_EQ(fileHeader.bfReserved2, 0);
  EXPECT_EQ(infoHeader.biPlanes, 1);
  EXPECT_EQ(infoHeader.biXPelsPerMeter, 3780u);
  EXPECT_EQ(printed, "");
}

TEST_F(HeaderInfo, ShortFileFillsOnlyTheBytesItHas) {
  // "BM", three bytes of bfSize; then a second file that ends inside biXPelsPerMeter.
  const std::string fileHeaderCut = write("fh.bmp", {'B', 'M', 0x11, 0x22, 0x33});
  const BMFH fileHeader = GetBMFH(fileHeaderCut.c_str());
  EXPECT_EQ(fileHeader.bfType, 19778);
  EXPECT_EQ(fileHeader.bfSize, 0x00332211u);
  EXPECT_EQ(fileHeader.bfReserved1, 0);
  EXPECT_EQ(fileHeader.bfOffBits, 0u);

  Bytes bytes = BmpFile::make(7, 5, 8).bytes();
  bytes.resize(14 + 24 + 2);
  bytes[38] = 0x01;
  bytes[39] = 0x02;
  const std::string infoHeaderCut = write("ih.bmp", bytes);
  const BMIH infoHeader = GetBMIH(infoHeaderCut.c_str());
  EXPECT_EQ(infoHeader.biWidth, 7u);
  EXPECT_EQ(infoHeader.biHeight, 5u);
  EXPECT_EQ(infoHeader.biBitCount, 8);
  EXPECT_EQ(infoHeader.biXPelsPerMeter, 0x0201u | (3780u & 0xFFFF0000u));
  EXPECT_EQ(infoHeader.biYPelsPerMeter, 3780u);
}

class ColorDepth : public HeaderInfo, public ::testing::WithParamInterface<int> {};

TEST_P(ColorDepth, IsTheInfoHeadersBitCount) {
  // Nothing but the headers: the pixels and the compression are never looked at.
  BmpFile file = BmpFile::make(2, 2, GetParam());
  file.infoHeader.biCompression = 1;
  const std::string path = write("d.bmp", file.bytes());
  EXPECT_EQ(GetBitmapColorDepth(path.c_str()), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Depths, ColorDepth, ::testing::Values(1, 4, 8, 16, 24, 32, 0, 65535),
                         [](const auto& info) { return std::to_string(info.param) + "bits"; });

// ---------------------------------------------------------------------------------------
// DisplayBitmapInfo and the records' display methods

TEST_F(HeaderInfo, DisplayBitmapInfoListsBothHeadersUnsignedIn22Lines) {
  const std::string path = write("a.bmp", distinctiveFile().bytes());
  const std::string printed = capturedOutput([&] { DisplayBitmapInfo(path.c_str()); });
  EXPECT_EQ(printed, "File information for file " + path + ":\n\nBITMAPFILEHEADER:\n" + kFileHeaderUnsigned +
                         "BITMAPINFOHEADER:\n" + kInfoHeaderUnsigned);
  EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 22);
}

TEST_F(HeaderInfo, DisplayBitmapInfoListsEvenWithWarningsOff) {
  const std::string path = write("empty.bmp", {});
  SetPixelrywarningsOff();
  const std::string printed = capturedOutput([&] { DisplayBitmapInfo(path.c_str()); });
  EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 22);
  EXPECT_NE(printed.find("\nbfType: 19778\n"), std::string::npos) << printed;
  EXPECT_NE(printed.find("\nbiPlanes: 1\n"), std::string::npos) << printed;
}

TEST_F(HeaderInfo, DisplayBitmapInfoOfAMissingFilePrintsOnlyTheError) {
  EXPECT_EQ(capturedOutput([&] { DisplayBitmapInfo(missing().c_str()); }), cannotInitialize(missing()));
}

TEST_F(HeaderInfo, RecordsDisplayTheirFieldsSignedWithoutHeading) {
  const std::string path = write("a.bmp", distinctiveFile().bytes());
  const BMFH fileHeader = GetBMFH(path.c_str());
  const BMIH infoHeader = GetBMIH(path.c_str());
  SetPixelrywarningsOff();
  // 16-bit fields stay within 0 to 65535; a 32-bit field with its top bit set is negative.
  EXPECT_EQ(capturedOutput([&] { fileHeader.display(); }), kFileHeaderUnsigned);
  EXPECT_EQ(capturedOutput([&] { infoHeader.display(); }),
            "biSize: 40\n"
            "biWidth: 3\n"
            "biHeight: -100\n"
            "biPlanes: 65534\n"
            "biBitCount: 24\n"
            "biCompression: 2\n"
            "biSizeImage: -294967296\n"
            "biXPelsPerMeter: 2835\n"
            "biYPelsPerMeter: 1\n"
            "biClrUsed: 256\n"
            "biClrImportant: -2147483648\n"
            "\n");
}

TEST_F(HeaderInfo, FileHeaderDisplaysALargeSizeAsNegative) {
  BMFH header;
  header.bfSize = 0xFFFFFFFFu;
  header.bfOffBits = 0x7FFFFFFFu;
  EXPECT_EQ(capturedOutput([&] { header.display(); }),
            "bfType: 19778\nbfSize: -1\nbfReserved1: 0\nbfReserved2: 0\nbfOffBits: 2147483647\n\n");
}
