// Hostile input and a hostile file system: files that claim huge sizes, read under a 1 GiB
// address-space limit, and glyph_guess against a full disk, directories and pipes where
// files should be. Each gives the library's message, and the run finishes with exit 0.
// Every run has a deadline, so a hang fails the test instead of stalling the suite.
#include "support/Platform.h"

#ifdef PIXELRY_TESTS_POSIX
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Pixelry/Pixelry.h"
#include "support/BmpFile.h"
#include "support/Capture.h"
#include "support/Child.h"
#include "support/Messages.h"
#include "support/Pixel.h"
#include "support/RunProgram.h"
#include "support/Sanitizer.h"
#include "support/TempDir.h"

namespace {

using namespace testing_support;

constexpr long kAddressSpaceLimit = 1L << 30;

// A run under a 1 GiB address-space limit, its standard error apart. AddressSanitizer
// reserves far more address space than that for itself, so a sanitized build caps the
// size of a single allocation through the sanitizer instead, which is what the limit
// amounts to for one huge grid.
Launch underMemoryLimit() {
  Launch launch;
  launch.errors = Errors::apart;
#ifdef PIXELRY_TESTS_ASAN
  const char* options = std::getenv("ASAN_OPTIONS");
  launch.environment.push_back(std::string("ASAN_OPTIONS=") + (options ? options : "") +
                               ":allocator_may_return_null=1:max_allocation_size_mb=1024");
#else
  launch.addressSpace = kAddressSpaceLimit;
#endif
  return launch;
}

// A small valid 24-bit file: two rows of two pixels.
Bytes smallImage() {
  return BmpFile::make(2, 2, 24)
      .row({0, 0, 0, 255, 255, 255, 0, 0})
      .row({255, 255, 255, 0, 0, 0, 0, 0})
      .bytes();
}

// The 26 templates, all small and valid, so that only the input decides what is printed.
void writeTemplates(const TempDir& dir) {
  std::filesystem::create_directories(dir.path() / "ideal_characters");
  for (char letter = 'a'; letter <= 'z'; ++letter)
    writeBytes(dir.file(std::string("ideal_characters/") + letter + ".bmp"), smallImage());
}

// A full run: whatever the input and the file system did, the 26 score lines and the
// verdict come last, and glyph_guess exits with 0.
void expectFullRun(const ProgramRun& run) {
  EXPECT_EQ(run.status, 0);
  const std::vector<std::string> lines = run.lines();
  ASSERT_GE(lines.size(), 28u);
  int scores = 0;
  for (const std::string& line : lines) scores += line.size() > 3 && line[1] == ':' && line[2] == ' ';
  EXPECT_EQ(scores, 26);
  EXPECT_EQ(lines.back().rfind("The character is most likely a '", 0), 0u) << lines.back();
}

// The lines a run printed before the shape-class line: the reader's, for the input.
std::string inputMessages(const ProgramRun& run) { return run.output.substr(0, run.output.find("One of: ")); }

// A small file that claims a huge image, what the reader prints for it, and the image it
// leaves: the claimed size when the grid fits, else one pixel at 1 bit after a refusal.
struct HugeClaim {
  std::string name;
  Bytes bytes;
  std::string messages;  // NAME stands for the file name
  bool loaded;
  int width;
  int height;
  int bits;
};

void PrintTo(const HugeClaim& claim, std::ostream* out) { *out << claim.name; }

BmpFile withOffBits(BmpFile file, PixelryDWORD offBits) {
  file.fileHeader.bfOffBits = offBits;
  return file;
}

BmpFile withHeaderSize(BmpFile file, PixelryDWORD headerSize) {
  file.infoHeader.biSize = headerSize;
  return file;
}

std::vector<RGBApixel> grayPalette(int entries) {
  std::vector<RGBApixel> palette;
  for (int i = 0; i < entries; ++i) palette.push_back(pixel(i, i, i));
  return palette;
}

const Bytes kSomePixels(16, 0x5A);

std::vector<HugeClaim> hugeClaims() {
  const std::string skippedThenShort = std::string(kExtra) + kShortData;
  return {
      {"square_60000_1bit.bmp",
       BmpFile::make(60000, 60000, 1).palette(grayPalette(2)).row(kSomePixels).bytes(),
       tooLarge("60000 x 60000"), false, 1, 1, 1},
      {"square_60000_24bit.bmp", BmpFile::make(60000, 60000, 24).row(kSomePixels).bytes(),
       tooLarge("60000 x 60000"), false, 1, 1, 1},
      {"width_2p31.bmp", BmpFile::make(2147483647, 1, 24).row(kSomePixels).bytes(),
       tooLarge("2147483647 x 1"), false, 1, 1, 1},
      {"height_2p31.bmp", BmpFile::make(1, 2147483647, 8).palette(grayPalette(256)).row(kSomePixels).bytes(),
       tooLarge("1 x 2147483647"), false, 1, 1, 1},
      {"offbits_near_4gib.bmp", withOffBits(BmpFile::make(2, 2, 24).row(kSomePixels), 0xFFFFFFF0u).bytes(),
       skippedThenShort, true, 2, 2, 24},
      {"offbits_near_4gib_8bit.bmp",
       withOffBits(BmpFile::make(2, 2, 8).palette(grayPalette(256)).row(kSomePixels), 0xFFFFFFF0u).bytes(),
       skippedThenShort, true, 2, 2, 8},
      // A 4 GiB info header: its remainder is skipped up to the end of the file, and the
      // pixel offset just past it leaves room for 60 of the 256 colours.
      {"header_near_4gib.bmp",
       withOffBits(withHeaderSize(BmpFile::make(3, 3, 8).row(kSomePixels), 0xFFFFFF00u), 0xFFFFFFFFu).bytes(),
       std::string(kExtra) + kUnderspecified + kShortData, true, 3, 3, 8},
  };
}

std::string claimName(const ::testing::TestParamInfo<HugeClaim>& info) {
  return info.param.name.substr(0, info.param.name.find('.'));
}

class HugeClaims : public ::testing::TestWithParam<HugeClaim> {};

TEST_P(HugeClaims, GlyphGuessReportsThemAndRunsToTheEnd) {
#ifndef PIXELRY_TESTS_POSIX
  GTEST_SKIP() << kNeedsPosix;
#elif defined(PIXELRY_TESTS_EMULATED)
  GTEST_SKIP() << kNeedsHardware;
#endif
  const HugeClaim& claim = GetParam();
  TempDir dir;
  writeTemplates(dir);
  writeBytes(dir.file(claim.name), claim.bytes);
  // AddressSanitizer reports the allocation it refuses on standard error.
  const ProgramRun run = runGlyphGuess(dir, {claim.name}, underMemoryLimit());
  EXPECT_EQ(inputMessages(run), withName(claim.messages, claim.name));
  expectFullRun(run);
}

#ifdef PIXELRY_TESTS_POSIX
// Reads path in a child process under the address-space limit, so that a grid the limit
// refuses cannot reach this process; the child reports the lines the read printed, its
// result and the image it left.
ChildRun readUnderLimit(const std::string& path) {
  return inChild(
      [&] {
        const rlimit limit{static_cast<rlim_t>(kAddressSpaceLimit), static_cast<rlim_t>(kAddressSpaceLimit)};
        setrlimit(RLIMIT_AS, &limit);
        BMP image;
        bool loaded = false;
        std::string report = capturedOutput([&] { loaded = image.ReadFromFile(path.c_str()); });
        return report + (loaded ? "true " : "false ") + std::to_string(image.TellWidth()) + " x " +
               std::to_string(image.TellHeight()) + " at " + std::to_string(image.TellBitDepth()) + "\n";
      },
      kDeadlineSeconds);
}

#endif

TEST_P(HugeClaims, TheReaderRefusesOrReadsThemUnderTheLimit) {
#ifndef PIXELRY_TESTS_POSIX
  GTEST_SKIP() << kNeedsPosix;
#else
#ifdef PIXELRY_TESTS_ASAN
  GTEST_SKIP() << "AddressSanitizer needs more address space than the limit; glyph_guess covers this";
#elif defined(PIXELRY_TESTS_EMULATED)
  GTEST_SKIP() << kNeedsHardware;
#endif
  const HugeClaim& claim = GetParam();
  TempDir dir;
  const std::string path = dir.file(claim.name);
  writeBytes(path, claim.bytes);
  const ChildRun read = readUnderLimit(path);
  ASSERT_TRUE(read.finished) << read.report;
  // The reader names the file as it was given: here by its full path.
  EXPECT_EQ(read.report, withName(claim.messages, path) + (claim.loaded ? "true " : "false ") +
                             std::to_string(claim.width) + " x " + std::to_string(claim.height) + " at " +
                             std::to_string(claim.bits) + "\n");
#endif
}

INSTANTIATE_TEST_SUITE_P(Hostile, HugeClaims, ::testing::ValuesIn(hugeClaims()), claimName);

// glyph_guess where the file system stands in its way.
class HostileFileSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    writeTemplates(dir);
    writeBytes(dir.file("input.bmp"), smallImage());
  }

  // The lines of a run from the score line of 'a' up to that of 'b': the writer's, for out.bmp.
  static std::vector<std::string> writerMessages(const ProgramRun& run) {
    std::vector<std::string> messages;
    bool inside = false;
    for (const std::string& line : run.lines()) {
      if (line.rfind("b: ", 0) == 0) break;
      if (inside) messages.push_back(line);
      inside = inside || line.rfind("a: ", 0) == 0;
    }
    return messages;
  }

  // The lines of a run between the score lines of the letters before and after letter.
  static std::vector<std::string> templateMessages(const ProgramRun& run, char letter) {
    const std::string from = std::string(1, static_cast<char>(letter - 1)) + ": ";
    const std::string to = std::string(1, letter) + ": ";
    std::vector<std::string> messages;
    bool inside = false;
    for (const std::string& line : run.lines()) {
      if (line.rfind(to, 0) == 0) break;
      if (inside) messages.push_back(line);
      inside = inside || line.rfind(from, 0) == 0;
    }
    return messages;
  }

  TempDir dir;
};

TEST_F(HostileFileSystem, OutputOnAFullDisk) {
#ifndef PIXELRY_TESTS_POSIX
  GTEST_SKIP() << kNeedsPosix;
#else
  std::filesystem::create_symlink("/dev/full", dir.path() / "out.bmp");
  const ProgramRun run = runGlyphGuess(dir, {"input.bmp"});
  EXPECT_EQ(writerMessages(run), linesOf(kShortWrite));
  expectFullRun(run);
#endif
}

TEST_F(HostileFileSystem, OutputWhereADirectoryStands) {
  std::filesystem::create_directory(dir.path() / "out.bmp");
  const ProgramRun run = runGlyphGuess(dir, {"input.bmp"});
  EXPECT_EQ(writerMessages(run), linesOf(cannotOpenOutput("out.bmp")));
  expectFullRun(run);
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "out.bmp"));
}

// POSIX opens a directory and fails on its first read; Windows does not open it.
std::string directoryRead(const std::string& name) {
#ifdef PIXELRY_TESTS_POSIX
  return withName(kCorrupted, name);
#else
  return withName(kCannotOpenInput, name);
#endif
}

TEST_F(HostileFileSystem, InputThatIsADirectory) {
  std::filesystem::create_directory(dir.path() / "folder.bmp");
  const ProgramRun run = runGlyphGuess(dir, {"folder.bmp"});
  EXPECT_EQ(inputMessages(run), directoryRead("folder.bmp"));
  expectFullRun(run);
}

#ifdef PIXELRY_TESTS_POSIX
// Writes bytes into the FIFO at path once a reader has opened it, giving up at the
// deadline if none does.
void feedFifo(const std::string& path, const Bytes& bytes) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kDeadlineSeconds);
  int fd = -1;
  while ((fd = open(path.c_str(), O_WRONLY | O_NONBLOCK)) < 0 && errno == ENXIO &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (fd < 0) return;
  fcntl(fd, F_SETFL, 0);
  (void)!write(fd, bytes.data(), bytes.size());
  close(fd);
}
#endif

// A pipe delivers the first bytes of a valid file and then ends, as a download cut short.
TEST_F(HostileFileSystem, InputFromAPipeThatEndsEarly) {
#ifndef PIXELRY_TESTS_POSIX
  GTEST_SKIP() << kNeedsPosix;
#else
  const Bytes whole = BmpFile::make(4, 3, 24).row(Bytes(12, 9)).row(Bytes(12, 9)).row(Bytes(12, 9)).bytes();
  struct Case {
    std::size_t bytes;
    std::string messages;
  };
  const Case cases[] = {{54 + 20, kShortData}, {30, withName(kCorrupted, "pipe.bmp")}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    std::filesystem::remove(dir.path() / "pipe.bmp");
    ASSERT_EQ(mkfifo(dir.file("pipe.bmp").c_str(), 0600), 0);
    std::thread feeder(feedFifo, dir.file("pipe.bmp"),
                       Bytes(whole.begin(), whole.begin() + static_cast<long>(c.bytes)));
    const ProgramRun run = runGlyphGuess(dir, {"pipe.bmp"});
    feeder.join();
    EXPECT_EQ(inputMessages(run), c.messages);
    expectFullRun(run);
  }
#endif
}

TEST_F(HostileFileSystem, TemplatesThatAreDirectoriesOrEmpty) {
  // 'a' also decides the size of out.bmp: one pixel after its refusal.
  std::filesystem::remove(dir.path() / "ideal_characters/a.bmp");
  std::filesystem::create_directory(dir.path() / "ideal_characters/a.bmp");
  std::filesystem::remove(dir.path() / "ideal_characters/k.bmp");
  std::filesystem::create_directory(dir.path() / "ideal_characters/k.bmp");
  writeBytes(dir.file("ideal_characters/q.bmp"), {});
  const ProgramRun run = runGlyphGuess(dir, {"input.bmp"});
  EXPECT_EQ(inputMessages(run), "");
  EXPECT_EQ(templateMessages(run, 'k'), linesOf(directoryRead("ideal_characters/k.bmp")));
  EXPECT_EQ(templateMessages(run, 'q'), linesOf(withName(kCorrupted, "ideal_characters/q.bmp")));
  ASSERT_GE(run.lines().size(), 2u);
  EXPECT_EQ(run.lines()[1] + "\n", directoryRead("ideal_characters/a.bmp"));
  expectFullRun(run);
  const Bytes out = readBytes(dir.file("out.bmp"));
  ASSERT_GE(out.size(), 26u);
  EXPECT_EQ(le32(out, 18), 1u);
  EXPECT_EQ(le32(out, 22), 1u);
}

}  // namespace
