// Writing BMP files: headers and layout at every depth, the palette search, round trips
// through the reader, write failures, replacing a file (its mode, special bits included,
// a new file's mode, a folder that takes no new file) and the public row encoders.
#include "support/Platform.h"

#ifdef PIXELRY_TESTS_POSIX
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <sched.h>
#include <sys/mount.h>
#endif

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Pixelry/Pixelry.h"
#include "support/BmpFile.h"
#include "support/Capture.h"
#include "support/Child.h"
#include "support/Messages.h"
#include "support/Pattern.h"
#include "support/Pixel.h"
#include "support/RoundTrip.h"
#include "support/TempDir.h"

namespace {

using namespace testing_support;

class Writer : public ::testing::Test {
 protected:
  // Writes image, expecting success and no output, and returns the file's bytes.
  Bytes write(BMP& image) {
    bool result = false;
    EXPECT_EQ(capturedOutput([&] { result = image.WriteToFile(path.c_str()); }), "");
    EXPECT_TRUE(result);
    return readBytes(path);
  }
  TempDir dir;
  std::string path = dir.file("out.bmp");
};

struct Layout {
  int bits;
  PixelryDWORD offBits;
  PixelryDWORD rowSize;  // for a width of 3
  PixelryDWORD compression;
};

void PrintTo(const Layout& layout, std::ostream* out) { *out << layout.bits << " bits"; }

class WriterLayout : public Writer, public ::testing::WithParamInterface<Layout> {};

TEST_P(WriterLayout, HeadersDescribeTheFile) {
  const Layout& l = GetParam();
  BMP image;
  image.SetSize(3, 2);
  image.SetBitDepth(l.bits);
  const Bytes file = write(image);
  const PixelryDWORD imageBytes = 2 * l.rowSize;
  ASSERT_EQ(file.size(), l.offBits + imageBytes);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  EXPECT_EQ(le32(file, 2), l.offBits + imageBytes);  // bfSize
  EXPECT_EQ(le32(file, 6), 0u);                      // both reserved words
  EXPECT_EQ(le32(file, 10), l.offBits);
  EXPECT_EQ(le32(file, 14), 40u);  // biSize
  EXPECT_EQ(le32(file, 18), 3u);
  EXPECT_EQ(le32(file, 22), 2u);
  EXPECT_EQ(le16(file, 26), 1);  // biPlanes
  EXPECT_EQ(le16(file, 28), l.bits);
  EXPECT_EQ(le32(file, 30), l.compression);
  EXPECT_EQ(le32(file, 34), imageBytes);
  EXPECT_EQ(le32(file, 38), 3780u);  // an unset resolution is written as 96 dpi
  EXPECT_EQ(le32(file, 42), 3780u);
  EXPECT_EQ(le32(file, 46), 0u);
  EXPECT_EQ(le32(file, 50), 0u);
}

INSTANTIATE_TEST_SUITE_P(EveryDepth, WriterLayout,
                         ::testing::Values(Layout{1, 62, 4, 0}, Layout{4, 118, 4, 0}, Layout{8, 1078, 4, 0},
                                           Layout{16, 66, 8, 3}, Layout{24, 54, 12, 0},
                                           Layout{32, 54, 12, 0}),
                         [](const auto& info) { return std::to_string(info.param.bits) + "bits"; });

TEST_F(Writer, OnePixelAt24BitsIs58Bytes) {
  BMP image;
  image.SetPixel(0, 0, pixel(1, 2, 3, 4));
  const Bytes file = write(image);
  ASSERT_EQ(file.size(), 58u);
  EXPECT_EQ(le32(file, 2), 58u);
  EXPECT_EQ(le32(file, 10), 54u);
  EXPECT_EQ(le32(file, 34), 4u);
  EXPECT_EQ(Bytes(file.begin() + 54, file.end()), (Bytes{3, 2, 1, 0}));
}

TEST_F(Writer, RowsGoBottomFirstWithZeroPadding) {
  BMP image;
  image.SetSize(1, 2);
  image.SetPixel(0, 0, pixel(10, 11, 12));
  image.SetPixel(0, 1, pixel(20, 21, 22, 99));
  const Bytes file = write(image);
  EXPECT_EQ(Bytes(file.begin() + 54, file.end()), (Bytes{22, 21, 20, 0, 12, 11, 10, 0}));
}

TEST_F(Writer, ThirtyTwoBitsKeepAlpha) {
  BMP image;
  image.SetBitDepth(32);
  image.SetPixel(0, 0, pixel(1, 2, 3, 4));
  const Bytes file = write(image);
  EXPECT_EQ(Bytes(file.begin() + 54, file.end()), (Bytes{3, 2, 1, 4}));
}

TEST_F(Writer, SixteenBitsWritesFiveSixFiveWithCopiedPadding) {
  BMP image;
  image.SetSize(3, 2);
  image.SetBitDepth(16);
  image.SetPixel(0, 1, pixel(255, 255, 255));  // 0xFFFF
  image.SetPixel(1, 1, pixel(8, 4, 8));        // 0x0821
  image.SetPixel(2, 1, pixel(16, 0, 248));     // 0x101F
  image.SetPixel(2, 0, pixel(0, 252, 0));      // 0x07E0
  const Bytes file = write(image);
  EXPECT_EQ(Bytes(file.begin() + 54, file.begin() + 66),
            (Bytes{0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0x00, 0, 0}));
  EXPECT_EQ(Bytes(file.begin() + 66, file.end()),
            (Bytes{0xFF, 0xFF, 0x21, 0x08, 0x1F, 0x10, 0x1F, 0x1F,     // bottom row
                   0xFF, 0xFF, 0xFF, 0xFF, 0xE0, 0x07, 0xE0, 0xE0}));  // top row
}

TEST_F(Writer, SixteenBitsAtAnEvenWidthHasNoPadding) {
  BMP image;
  image.SetSize(2, 1);
  image.SetBitDepth(16);
  EXPECT_EQ(write(image).size(), 66u + 4);
}

TEST_F(Writer, OneBitRowOfNineWhitePixels) {
  BMP image;
  image.SetSize(9, 1);
  image.SetBitDepth(1);
  const Bytes file = write(image);
  EXPECT_EQ(Bytes(file.begin() + 62, file.end()), (Bytes{0xFF, 0x80, 0x00, 0x00}));
}

TEST_F(Writer, FourBitsPacksTheFirstPixelHigh) {
  BMP image;
  image.SetSize(3, 1);
  image.SetBitDepth(4);
  image.SetPixel(0, 0, pixel(128, 0, 0));    // entry 1
  image.SetPixel(1, 0, pixel(130, 3, 60));   // nearest: entry 1 again
  image.SetPixel(2, 0, pixel(255, 0, 250));  // entry 13
  const Bytes file = write(image);
  EXPECT_EQ(Bytes(file.begin() + 118, file.end()), (Bytes{0x11, 0xD0, 0, 0}));
}

TEST_F(Writer, EightBitsTakesTheFirstExactEntry) {
  BMP image;
  image.SetSize(2, 1);
  image.SetBitDepth(8);
  image.SetPixel(0, 0, pixel(192, 192, 192));
  image.SetPixel(1, 0, pixel(128, 128, 128));  // in the colour cube at 164, before the grey at 248
  const Bytes file = write(image);
  EXPECT_EQ(Bytes(file.begin() + 1078, file.end()), (Bytes{7, 164, 0, 0}));
}

TEST_F(Writer, ColourTableIsWrittenAsStored) {
  BMP image;
  image.SetBitDepth(4);
  image.SetColor(3, pixel(1, 2, 3, 4));
  const Bytes file = write(image);
  EXPECT_EQ(Bytes(file.begin() + 54, file.begin() + 62), (Bytes{0, 0, 0, 0, 0, 0, 128, 0}));
  EXPECT_EQ(Bytes(file.begin() + 66, file.begin() + 70), (Bytes{3, 2, 1, 4}));
  EXPECT_EQ(Bytes(file.begin() + 114, file.begin() + 118), (Bytes{255, 255, 255, 0}));
}

TEST_F(Writer, ResolutionIsWrittenExactly) {
  BMP image;
  image.SetDPI(72, 96);
  Bytes file = write(image);
  EXPECT_EQ(le32(file, 38), 2834u);
  EXPECT_EQ(le32(file, 42), 3779u);
  image.SetDPI(INT_MAX, INT_MIN);  // saturated, not overflowed
  file = write(image);
  EXPECT_EQ(le32(file, 38), 0x7FFFFFFFu);
  EXPECT_EQ(le32(file, 42), 0x80000000u);

  BmpFile source = BmpFile::make(1, 1, 24).row({0, 0, 0, 0});
  source.infoHeader.biXPelsPerMeter = 2835;
  source.infoHeader.biYPelsPerMeter = 0;
  writeBytes(path, source.bytes());
  ASSERT_TRUE(image.ReadFromFile(path.c_str()));
  file = write(image);
  EXPECT_EQ(le32(file, 38), 2835u);
  EXPECT_EQ(le32(file, 42), 3780u);
}

TEST(WriterPaletteSearch, TiesGoToTheLowestIndex) {
  BMP image;
  image.SetBitDepth(4);
  RGBApixel halfway = pixel(64, 0, 0);  // entries 0 (black) and 1 (dark red) are equally far
  EXPECT_EQ(image.FindClosestColor(halfway), 0);
  RGBApixel between = pixel(128, 0, 64);  // entries 1 and 5
  EXPECT_EQ(image.FindClosestColor(between), 1);
  image.SetColor(9, pixel(10, 10, 10, 1));
  image.SetColor(12, pixel(10, 10, 10, 2));
  RGBApixel exact = pixel(10, 10, 10, 2);  // Alpha takes no part
  EXPECT_EQ(image.FindClosestColor(exact), 9);
  EXPECT_EQ(rgba(exact), (Rgba{10, 10, 10, 2}));
}

TEST(WriterPaletteSearch, WithoutATableWarnsOncePerCallAndAnswersZero) {
  const std::string once = noTable("access");
  for (const int bits : {16, 24, 32}) {
    BMP image;
    image.SetSize(9, 1);
    image.SetBitDepth(bits);
    RGBApixel white = pixel(255, 255, 255);
    int index = -1;
    EXPECT_EQ(capturedOutput([&] { index = image.FindClosestColor(white); }), once);
    EXPECT_EQ(index, 0);
    // Nine pixels take 9, 5 and 2 bytes at 8, 4 and 1 bits; the bytes after them are left.
    for (const auto& [encoder, bytes] :
         {std::pair{&BMP::Write8bitRow, 9}, {&BMP::Write4bitRow, 5}, {&BMP::Write1bitRow, 2}}) {
      const auto write = encoder;  // a plain variable, which every compiler lets a lambda capture
      Bytes row(16, 0xAA);
      bool result = false;
      EXPECT_EQ(capturedOutput([&] { result = (image.*write)(row.data(), 16, 0); }), once);
      EXPECT_TRUE(result);
      Bytes expected(16, 0xAA);
      std::fill_n(expected.begin(), bytes, 0);
      EXPECT_EQ(row, expected) << bits << " bits";
    }
  }
}

TEST(WriterPaletteSearch, FindsTheNearestEntryInEveryTable) {
  BMP image;
  image.SetBitDepth(8);
  RGBApixel nearWhite = pixel(250, 250, 250);
  EXPECT_EQ(image.FindClosestColor(nearWhite), 255);
  RGBApixel nearEntry100 = pixel(130, 126, 66);
  EXPECT_EQ(image.FindClosestColor(nearEntry100), 100);
  image.SetBitDepth(1);
  RGBApixel darkGrey = pixel(100, 100, 100);
  EXPECT_EQ(image.FindClosestColor(darkGrey), 0);
}

// Written and read back at every depth: every pixel by the rules of its depth, the table
// and the resolution. Small sizes cover every padding and partial byte; the large ones
// span several read chunks of the reader.
struct RoundTripCase {
  int bits, width, height;
};

void PrintTo(const RoundTripCase& c, std::ostream* out) {
  *out << c.bits << " bits, " << c.width << " x " << c.height;
}

class WriterRoundTrip : public Writer, public ::testing::WithParamInterface<RoundTripCase> {
 protected:
  // Writes the pattern at the case's depth (a random table when indexed) and returns the
  // file's bytes.
  Bytes writeSample() {
    const RoundTripCase c = GetParam();
    image.SetSize(c.width, c.height);
    paintPattern(image);
    image.SetBitDepth(c.bits);
    image.SetDPI(300, 150);
    if (c.bits <= 8) setTable(image, randomTable(c.bits));
    table = tableOf(image);
    return write(image);
  }
  // Pixel (x, y) as it must read back; white when it was not stored.
  Rgba expected(int x, int y, bool stored = true) {
    return stored ? afterRoundTrip(GetParam().bits, table, image.GetPixel(x, y)) : kWhite;
  }
  BMP image;
  Palette table;
};

TEST_P(WriterRoundTrip, EveryPixelReadsBackAsWritten) {
  const RoundTripCase c = GetParam();
  writeSample();
  BMP back;
  ASSERT_EQ(capturedOutput([&] { ASSERT_TRUE(back.ReadFromFile(path.c_str())); }), "");
  ASSERT_EQ(back.TellWidth(), c.width);
  ASSERT_EQ(back.TellHeight(), c.height);
  ASSERT_EQ(back.TellBitDepth(), c.bits);
  for (std::size_t n = 0; n < table.size(); ++n) EXPECT_EQ(rgba(back.GetColor(int(n))), rgba(table[n])) << n;
  EXPECT_EQ(back.TellHorizontalDPI(), image.TellHorizontalDPI());
  EXPECT_EQ(back.TellVerticalDPI(), image.TellVerticalDPI());
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x) ASSERT_EQ(rgba(back.GetPixel(x, y)), expected(x, y)) << x << "," << y;
}

// Cut inside a row near the middle of the pixel data: the rows stored before the cut
// read back, the rest stay white; at 16 bits the whole words of the cut row read back too.
TEST_P(WriterRoundTrip, AFileCutShortKeepsTheRowsBeforeTheCut) {
  const RoundTripCase c = GetParam();
  Bytes file = writeSample();
  const std::size_t offBits = le32(file, 10);
  const std::size_t rowBytes = (file.size() - offBits) / static_cast<std::size_t>(c.height);
  const int wholeRows = c.height / 2;
  const std::size_t extra = rowBytes / 2 + 1;
  file.resize(offBits + rowBytes * static_cast<std::size_t>(wholeRows) + extra);
  writeBytes(path, file);
  BMP back;
  const std::string out = capturedOutput([&] { ASSERT_TRUE(back.ReadFromFile(path.c_str())); });
  EXPECT_EQ(out, c.bits == 16 ? "" : kShortData);
  const int cutRow = c.height - 1 - wholeRows;
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x) {
      const bool stored =
          y > cutRow || (c.bits == 16 && y == cutRow && 2 * static_cast<std::size_t>(x) + 2 <= extra);
      ASSERT_EQ(rgba(back.GetPixel(x, y)), expected(x, y, stored)) << x << "," << y;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, WriterRoundTrip,
    ::testing::Values(RoundTripCase{1, 7, 3}, RoundTripCase{1, 9, 5}, RoundTripCase{1, 33, 4},
                      RoundTripCase{4, 7, 3}, RoundTripCase{4, 3, 5}, RoundTripCase{4, 17, 6},
                      RoundTripCase{8, 7, 3}, RoundTripCase{8, 5, 4}, RoundTripCase{8, 6, 7},
                      RoundTripCase{16, 7, 3}, RoundTripCase{16, 3, 4}, RoundTripCase{16, 2, 5},
                      RoundTripCase{24, 7, 3}, RoundTripCase{24, 5, 6}, RoundTripCase{24, 1, 3},
                      RoundTripCase{32, 7, 3}, RoundTripCase{1, 8001, 1100}, RoundTripCase{4, 2001, 1100},
                      RoundTripCase{8, 999, 1100}, RoundTripCase{16, 1001, 700}, RoundTripCase{24, 1003, 450},
                      RoundTripCase{32, 700, 500}),
    [](const auto& info) {
      return std::to_string(info.param.bits) + "bits_" + std::to_string(info.param.width) + "x" +
             std::to_string(info.param.height);
    });

class WriterFailure : public ::testing::TestWithParam<int> {};

TEST_P(WriterFailure, IsReportedOnceAndReturnsFalse) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
  for (int size : {1, 200}) {  // fails at the final flush, and in the middle of the rows
    BMP image;
    image.SetSize(size, size);
    image.SetBitDepth(GetParam());
    bool result = true;
    EXPECT_EQ(capturedOutput([&] { result = image.WriteToFile("/dev/full"); }), kShortWrite);
    EXPECT_FALSE(result);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryDepth, WriterFailure, ::testing::Values(1, 4, 8, 16, 24, 32),
                         [](const auto& info) { return std::to_string(info.param) + "bits"; });

TEST_F(Writer, UnopenableTargetIsReported) {
  BMP image;
  const std::string target = dir.path().string();
  bool result = true;
  EXPECT_EQ(capturedOutput([&] { result = image.WriteToFile(target.c_str()); }), cannotOpenOutput(target));
  EXPECT_FALSE(result);
}

// Saving over a file that is already there.
class WriterReplacing : public Writer {
 protected:
  void SetUp() override {
    BMP old;
    old.SetSize(2, 2);
    oldBytes = write(old);
  }
  // The names in the directory, sorted.
  std::vector<std::string> names() const {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      found.push_back(entry.path().filename().string());
    std::sort(found.begin(), found.end());
    return found;
  }
#ifdef PIXELRY_TESTS_POSIX
  // Writes a 3 x 3 image (a 90-byte file) to target, in a child process as an unprivileged
  // user that owns the directory and the old file, and reports the output and the result.
  std::string writeAsUser(const std::string& target) {
    handToUser();
    return asUser([&] { return writeThreeByThree(target); });
  }
  // Gives the directory and the old file to the unprivileged user, when the tests run as root.
  void handToUser() {
    if (geteuid() == 0) {
      EXPECT_EQ(chown(dir.path().c_str(), kNobody, kNobody), 0);
      EXPECT_EQ(chown(path.c_str(), kNobody, kNobody), 0);
    }
  }
  // Runs body in a child process as the unprivileged user (as this one when not root).
  static std::string asUser(const std::function<std::string()>& body) {
    const ChildRun run = inChild([&] {
      if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) return std::string("no user");
      return body();
    });
    EXPECT_TRUE(run.finished);
    return run.report;
  }
  static constexpr uid_t kNobody = 65534;
#endif
  static std::string writeThreeByThree(const std::string& target) {
    BMP image;
    image.SetSize(3, 3);
    bool result = false;
    const std::string output = capturedOutput([&] { result = image.WriteToFile(target.c_str()); });
    return output + (result ? "true" : "false");
  }
  Bytes oldBytes;
};

TEST_F(WriterReplacing, AWriteCutShortLeavesTheOldFileOrNoFileAndNothingElse) {
#ifndef PIXELRY_TESTS_POSIX
  GTEST_SKIP() << kNeedsPosix;
#else
  // The file-size limit refuses bytes past the 40th, as a disk that fills up would. A
  // 1 x 1 image fails at the final flush; a 100 x 100 one in the middle of its rows.
  for (const bool existing : {true, false})
    for (const int size : {1, 100}) {
      if (!existing) std::filesystem::remove(path);
      const ChildRun run = inChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{40, 40};
        setrlimit(RLIMIT_FSIZE, &limit);
        BMP image;
        image.SetSize(size, size);
        bool result = true;
        const std::string output = capturedOutput([&] { result = image.WriteToFile(path.c_str()); });
        return output + (result ? "true" : "false");
      });
      EXPECT_EQ(run.report, kShortWrite + std::string("false"));
      EXPECT_EQ(names(), existing ? std::vector<std::string>{"out.bmp"} : std::vector<std::string>{});
      if (existing) {
        EXPECT_EQ(readBytes(path), oldBytes);
      }
    }
#endif
}

#ifdef PIXELRY_TESTS_POSIX
// True when the process runs under valgrind, whose own mappings a tight address-space
// limit would starve.
bool underValgrind() {
  std::ifstream maps("/proc/self/maps");
  const std::string text((std::istreambuf_iterator<char>(maps)), std::istreambuf_iterator<char>());
  return text.find("vgpreload") != std::string::npos;
}
#endif

TEST_F(WriterReplacing, AWriteThatRunsOutOfMemoryLeavesTheOldFile) {
#ifndef PIXELRY_TESTS_POSIX
  GTEST_SKIP() << kNeedsPosix;
#else
#ifdef PIXELRY_TESTS_EMULATED
  GTEST_SKIP() << kNeedsHardware;
#endif
#ifdef PIXELRY_TESTS_ASAN
  GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit leaves";
#endif
  if (underValgrind()) GTEST_SKIP() << "valgrind needs more address space than the limit leaves";
  // No write fails here: the one 64 MiB row of a 32-bit image cannot get its buffer
  // under an address-space limit 16 MiB above what the process already has.
  const ChildRun run = inChild([&] {
    BMP image;
    image.SetSize(1 << 24, 1);
    image.SetBitDepth(32);
    std::ifstream statm("/proc/self/statm");
    unsigned long pages = 0;
    statm >> pages;
    const auto room =
        static_cast<rlim_t>(pages * static_cast<unsigned long>(sysconf(_SC_PAGESIZE)) + (16ul << 20));
    const rlimit limit{room, room};
    setrlimit(RLIMIT_AS, &limit);
    bool result = true;
    const std::string output = capturedOutput([&] { result = image.WriteToFile(path.c_str()); });
    return output + (result ? "true" : "false");
  });
  EXPECT_EQ(run.report, kShortWrite + std::string("false"));
  EXPECT_EQ(readBytes(path), oldBytes);
  EXPECT_EQ(names(), std::vector<std::string>{"out.bmp"});
#endif
}

TEST_F(WriterReplacing, KeepsPermissionsOwnerAndTheSymbolicLinkToTheFile) {
#ifndef PIXELRY_TESTS_POSIX
  GTEST_SKIP() << kNeedsPosix;
#else
  ASSERT_EQ(chmod(path.c_str(), 0604), 0);
  if (geteuid() == 0) {
    ASSERT_EQ(chown(path.c_str(), kNobody, kNobody), 0);
  }
  struct stat before {};
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  std::filesystem::create_symlink("out.bmp", dir.path() / "link.bmp");
  EXPECT_EQ(writeThreeByThree(dir.file("link.bmp")), "true");
  EXPECT_EQ(std::filesystem::read_symlink(dir.path() / "link.bmp"), "out.bmp");
  struct stat after {};
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_mode & 07777, 0604u);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
  EXPECT_EQ(after.st_size, 90);
  EXPECT_EQ(names(), (std::vector<std::string>{"link.bmp", "out.bmp"}));
#endif
}

TEST_F(WriterReplacing, ALinkToNoFileYetCreatesTheFileItNames) {
#ifndef PIXELRY_TESTS_POSIX
  GTEST_SKIP() << kNeedsPosix;
#else
  std::filesystem::create_symlink("new.bmp", dir.path() / "link.bmp");
  EXPECT_EQ(writeThreeByThree(dir.file("link.bmp")), "true");
  EXPECT_TRUE(std::filesystem::is_symlink(dir.path() / "link.bmp"));
  EXPECT_EQ(std::filesystem::file_size(dir.path() / "new.bmp"), 90u);
#endif
}

TEST_F(WriterReplacing, AFileWithOtherHardLinksIsWrittenInPlace) {
#ifndef PIXELRY_TESTS_POSIX
  GTEST_SKIP() << kNeedsPosix;  // Wine, for one, counts one link for every file
#else
  std::filesystem::create_hard_link(path, dir.path() / "twin.bmp");
  EXPECT_EQ(writeThreeByThree(path), "true");
  EXPECT_EQ(std::filesystem::file_size(dir.path() / "twin.bmp"), 90u);
  EXPECT_EQ(std::filesystem::hard_link_count(path), 2u);
#endif
}

TEST_F(WriterReplacing, AWritableFileInAReadOnlyDirectoryIsWrittenInPlace) {
#ifndef PIXELRY_TESTS_POSIX
  GTEST_SKIP() << kNeedsPosix;
#else
  ASSERT_EQ(chmod(dir.path().c_str(), 0555), 0);
  EXPECT_EQ(writeAsUser(path), "true");
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  EXPECT_EQ(std::filesystem::file_size(path), 90u);
  EXPECT_EQ(names(), std::vector<std::string>{"out.bmp"});
#endif
}

TEST_F(WriterReplacing, AReadOnlyFileIsRefusedAsBefore) {
#ifndef PIXELRY_TESTS_POSIX
  GTEST_SKIP() << kNeedsPosix;
#else
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  EXPECT_EQ(writeAsUser(path), cannotOpenOutput(path) + "false");
  EXPECT_EQ(readBytes(path), oldBytes);
  EXPECT_EQ(names(), std::vector<std::string>{"out.bmp"});
#endif
}

#ifdef PIXELRY_TESTS_POSIX
// The permission and special bits of a file, in octal; "none" when there is no file.
std::string modeOf(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return "none";
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(status.st_mode & 07777));
  return text;
}

// Writes a 4 x 4 image (a 102-byte file) with writeFile and reports the result.
std::string writeFourByFour(const std::string& target) {
  BMP image;
  image.SetSize(4, 4);
  const pixelry::Result result = pixelry::writeFile(image, target.c_str());
  return result ? "true" : result.message + " false";
}
#endif

// The set-user-ID, set-group-ID and sticky bits of a file replaced pass to the new one
// through both writers, whoever writes: the system clears the first two when a process
// without the privilege to keep them writes into a file.
struct SpecialBits {
  const char* name;
  unsigned mode;
  bool asUser;  // written by an unprivileged user that owns the file
};

void PrintTo(const SpecialBits& b, std::ostream* out) { *out << b.name; }

class WriterReplacingModes : public WriterReplacing, public ::testing::WithParamInterface<SpecialBits> {};

TEST_P(WriterReplacingModes, PassToTheNewFile) {
#ifndef PIXELRY_TESTS_POSIX
  GTEST_SKIP() << kNeedsPosix;
#else
  const SpecialBits& b = GetParam();
  if (b.asUser) handToUser();
  ASSERT_EQ(chmod(path.c_str(), static_cast<mode_t>(b.mode)), 0);
  const std::string before = modeOf(path);
  const auto body = [&] {
    std::string report = writeThreeByThree(path);
    report += " " + modeOf(path);
    report += ", " + writeFourByFour(path);
    return report + " " + modeOf(path);
  };
  EXPECT_EQ(b.asUser ? asUser(body) : body(), "true " + before + ", true " + before);
  EXPECT_EQ(std::filesystem::file_size(path), 102u);
  EXPECT_EQ(names(), std::vector<std::string>{"out.bmp"});
#endif
}

INSTANTIATE_TEST_SUITE_P(
    SpecialBits, WriterReplacingModes,
    ::testing::Values(SpecialBits{"SetUserId", 04755, false}, SpecialBits{"SetGroupId", 02755, false},
                      SpecialBits{"Sticky", 01644, false}, SpecialBits{"AllThree", 07755, false},
                      SpecialBits{"SetUserIdAsUser", 04755, true},
                      SpecialBits{"SetGroupIdAsUser", 02755, true}, SpecialBits{"StickyAsUser", 01644, true},
                      SpecialBits{"AllThreeAsUser", 07755, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A new file gets the permissions the umask leaves of 0666, as fopen gives, through both
// writers.
struct Umask {
  const char* name;
  unsigned umask;
  unsigned mode;
};

void PrintTo(const Umask& u, std::ostream* out) { *out << u.name; }

class WriterNewFile : public Writer, public ::testing::WithParamInterface<Umask> {};

TEST_P(WriterNewFile, TakesTheModeTheUmaskLeaves) {
#ifndef PIXELRY_TESTS_POSIX
  GTEST_SKIP() << kNeedsPosix;
#else
  const Umask& u = GetParam();
  const std::string classic = dir.file("classic.bmp"), full = dir.file("full.bmp");
  const ChildRun run = inChild([&] {
    umask(static_cast<mode_t>(u.umask));
    BMP image;
    std::string report = image.WriteToFile(classic.c_str()) ? "true " : "false ";
    report += modeOf(classic);
    report += ", " + writeFourByFour(full);
    return report + " " + modeOf(full);
  });
  ASSERT_TRUE(run.finished);
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", u.mode);
  EXPECT_EQ(run.report, std::string("true ") + mode + ", true " + mode);
#endif
}

INSTANTIATE_TEST_SUITE_P(Umasks, WriterNewFile,
                         ::testing::Values(Umask{"Umask022", 022, 0644}, Umask{"Umask027", 027, 0640},
                                           Umask{"Umask077", 077, 0600}, Umask{"Umask000", 0, 0666}),
                         [](const auto& info) { return std::string(info.param.name); });

#ifdef __linux__
// Writes text into a file of /proc; true when all of it went in.
bool writeProcFile(const char* name, const std::string& text) {
  const int fd = open(name, O_WRONLY);
  if (fd < 0) return false;
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  return written;
}

// Mounts, in a mount namespace of this process's own, the file at path onto itself, as
// containers mount single files; with readOnlyFolder, the folder around it becomes a
// read-only file system that still holds the file writable. Empty when done; otherwise
// why it cannot be.
std::string mountFileOnItself(const std::string& folder, const std::string& path, bool readOnlyFolder) {
  const uid_t uid = geteuid();
  const gid_t gid = getegid();
  // Without root, a user namespace of its own grants the mounts.
  if (unshare(uid == 0 ? CLONE_NEWNS : CLONE_NEWUSER | CLONE_NEWNS) != 0)
    return std::string("no mount namespace: ") + std::strerror(errno);
  if (uid != 0 &&
      !(writeProcFile("/proc/self/setgroups", "deny") &&
        writeProcFile("/proc/self/uid_map", std::to_string(uid) + " " + std::to_string(uid) + " 1") &&
        writeProcFile("/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1")))
    return std::string("no user namespace: ") + std::strerror(errno);
  if (mount("none", "/", "none", MS_REC | MS_PRIVATE, nullptr) != 0 ||
      mount(path.c_str(), path.c_str(), "none", MS_BIND, nullptr) != 0)
    return std::string("cannot mount: ") + std::strerror(errno);
  if (!readOnlyFolder) return "";
  if (mount(folder.c_str(), folder.c_str(), "none", MS_BIND | MS_REC, nullptr) != 0 ||
      mount("none", folder.c_str(), "none", MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
    return std::string("cannot mount: ") + std::strerror(errno);
  const int probe = open((folder + "/probe").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (probe >= 0) close(probe);
  if (probe >= 0 || errno != EROFS) return "the folder still takes new files";
  return "";
}
#endif

class WriterMountedFile : public WriterReplacing, public ::testing::WithParamInterface<bool> {};

// A file mounted onto itself cannot be renamed over (EBUSY), and a read-only folder takes
// no temporary file (EROFS): either way the file is written in place.
TEST_P(WriterMountedFile, IsWrittenInPlace) {
#ifndef __linux__
  GTEST_SKIP() << "needs Linux mount namespaces";
#else
  const std::string folder = dir.path().string();
  const bool readOnlyFolder = GetParam();
  const ChildRun run = inChild([&] {
    const std::string refusal = mountFileOnItself(folder, path, readOnlyFolder);
    if (!refusal.empty()) return "skip: " + refusal;
    std::string report = writeThreeByThree(path);
    report += " " + std::to_string(std::filesystem::file_size(path));
    report += ", " + writeFourByFour(path);
    return report + " " + std::to_string(std::filesystem::file_size(path));
  });
  ASSERT_TRUE(run.finished) << run.report;
  if (run.report.rfind("skip: ", 0) == 0) GTEST_SKIP() << run.report.substr(6);
  EXPECT_EQ(run.report, "true 90, true 102");
  EXPECT_EQ(std::filesystem::file_size(path), 102u);
  EXPECT_EQ(names(), std::vector<std::string>{"out.bmp"});
#endif
}

INSTANTIATE_TEST_SUITE_P(Folders, WriterMountedFile, ::testing::Values(false, true), [](const auto& info) {
  return std::string(info.param ? "InAReadOnlyFolder" : "InAWritableFolder");
});

// The public row encoders: one member per depth, checked buffer and row.
struct RowEncoder {
  int bits;
  int imageBits;  // the depth of the image whose row is packed
  bool (BMP::*write)(PixelryBYTE*, int, int);
  Bytes whiteNinePixels;  // what a row of nine white pixels packs into
};

void PrintTo(const RowEncoder& e, std::ostream* out) {
  *out << e.bits << " bits of a " << e.imageBits << "-bit image";
}

class WriterRowEncoder : public ::testing::TestWithParam<RowEncoder> {
 protected:
  WriterRowEncoder() {
    image.SetSize(9, 2);
    image.SetBitDepth(GetParam().imageBits);
    buffer.assign(64, 0xAA);
  }
  bool write(PixelryBYTE* out, int size, int row) { return (image.*GetParam().write)(out, size, row); }
  int needed() const { return static_cast<int>(GetParam().whiteNinePixels.size()); }
  BMP image;
  Bytes buffer;
};

TEST_P(WriterRowEncoder, RefusesAShortBufferANullBufferAndRowsOutsideTheImage) {
  EXPECT_FALSE(write(buffer.data(), needed() - 1, 0));
  EXPECT_FALSE(write(nullptr, needed(), 0));
  EXPECT_FALSE(write(buffer.data(), needed(), -1));
  EXPECT_FALSE(write(buffer.data(), needed(), 2));
  EXPECT_EQ(buffer, Bytes(64, 0xAA));
}

TEST_P(WriterRowEncoder, PacksThePixelsAndLeavesTheRestAlone) {
  EXPECT_TRUE(write(buffer.data(), needed(), 1));
  Bytes expected = GetParam().whiteNinePixels;
  expected.resize(64, 0xAA);
  EXPECT_EQ(buffer, expected);
}

Bytes ff(std::size_t count) { return Bytes(count, 0xFF); }

INSTANTIATE_TEST_SUITE_P(
    Depths, WriterRowEncoder,
    ::testing::Values(RowEncoder{1, 1, &BMP::Write1bitRow, {0xFF, 0x80}},
                      RowEncoder{4, 4, &BMP::Write4bitRow, {0xFF, 0xFF, 0xFF, 0xFF, 0xF0}},
                      RowEncoder{8, 8, &BMP::Write8bitRow, ff(9)},
                      // White is entry 255: each byte is the low 8 bits of
                      // the indices weighted by their places.
                      RowEncoder{1, 8, &BMP::Write1bitRow, {0x01, 0x80}},
                      RowEncoder{4, 8, &BMP::Write4bitRow, {0xEF, 0xEF, 0xEF, 0xEF, 0xF0}},
                      RowEncoder{24, 24, &BMP::Write24bitRow, ff(27)},
                      RowEncoder{32, 24, &BMP::Write32bitRow,
                                 [] {
                                   Bytes b;
                                   for (int i = 0; i < 9; ++i) BmpFile::append(b, {0xFF, 0xFF, 0xFF, 0});
                                   return b;
                                 }()}),
    [](const auto& info) {
      const RowEncoder& e = info.param;
      return std::to_string(e.bits) + "bitsOf" + std::to_string(e.imageBits) + "bitImage";
    });

TEST(WriterRowEncoders, TwentyFourBitsDropAlphaAndThirtyTwoKeepIt) {
  BMP image;
  image.SetPixel(0, 0, pixel(1, 2, 3, 4));
  PixelryBYTE out[4] = {9, 9, 9, 9};
  EXPECT_TRUE(image.Write24bitRow(out, 3, 0));
  EXPECT_EQ(Bytes(out, out + 4), (Bytes{3, 2, 1, 9}));
  EXPECT_TRUE(image.Write32bitRow(out, 4, 0));
  EXPECT_EQ(Bytes(out, out + 4), (Bytes{3, 2, 1, 4}));
}

}  // namespace
