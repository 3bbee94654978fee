// Hostile input and a hostile file system: files that claim huge sizes, read under a 1 GiB
// address-space limit, and glyph_guess against a full disk, directories and pipes where
// files should be. Each gives the library's message, and the run finishes with exit 0.
// Every run has a deadline, so a hang fails the test instead of stalling the suite.
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Pixelry/Pixelry.h"
#include "support/BmpFile.h"
#include "support/Capture.h"
#include "support/Child.h"
#include "support/RunProgram.h"
#include "support/Sanitizer.h"
#include "support/TempDir.h"


namespace {

using testing_support::linesOf;

using testing_support::BmpFile;
using testing_support::Bytes;
using testing_support::TempDir;

constexpr int kDeadlineSeconds = 60;
constexpr long kAddressSpaceLimit = 1L << 30;

struct RunResult {
  std::vector<std::string> lines;
  int status;  // exit status, or -1 when killed by a signal (a crash or the deadline)
};

// The shell words that run a program under a 1 GiB address-space limit. AddressSanitizer
// reserves far more address space than that for itself, so a sanitized build caps the
// size of a single allocation through the sanitizer instead, which is what the limit
// amounts to for one huge grid.
std::string underMemoryLimit() {
#ifdef PIXELRY_TESTS_ASAN
  return "ASAN_OPTIONS=\"${ASAN_OPTIONS:-}:allocator_may_return_null=1:max_allocation_size_mb=1024\" ";
#else
  return "ulimit -v " + std::to_string(kAddressSpaceLimit / 1024) + " && ";
#endif
}

// Runs glyph_guess on input in dir, killed at the deadline.
RunResult runGlyphGuess(const TempDir& dir, const std::string& input, const std::string& before = "") {
  const testing_support::ProgramRun program = testing_support::runCommand(
      "cd " + testing_support::shellQuoted(dir.path().string()) + " && " + before + "timeout -s KILL " +
      std::to_string(kDeadlineSeconds) + " " + testing_support::shellQuoted(GLYPH_GUESS_PATH) + " " +
      testing_support::shellQuoted(input));
  // timeout reports a killed program as 128 + the signal.
  return RunResult{linesOf(program.output), program.status < 128 ? program.status : -1};
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
    testing_support::writeBytes(dir.file(std::string("ideal_characters/") + letter + ".bmp"), smallImage());
}

// A full run: whatever the input and the file system did, the 26 score lines and the
// verdict come last, and glyph_guess exits with 0.
void expectFullRun(const RunResult& run) {
  EXPECT_EQ(run.status, 0);
  ASSERT_GE(run.lines.size(), 28u);
  int scores = 0;
  for (const std::string& line : run.lines) scores += line.size() > 3 && line[1] == ':' && line[2] == ' ';
  EXPECT_EQ(scores, 26);
  EXPECT_EQ(run.lines.back().rfind("The character is most likely a '", 0), 0u) << run.lines.back();
}

// The lines a run printed before the shape-class line: the reader's, for the input.
std::vector<std::string> inputMessages(const RunResult& run) {
  std::vector<std::string> messages;
  for (const std::string& line : run.lines) {
    if (line.rfind("One of: ", 0) == 0) break;
    messages.push_back(line);
  }
  return messages;
}

std::vector<std::string> tooLarge(const std::string& name, const std::string& size) {
  return {"Pixelry Warning: Not enough memory for a " + size + " image.",
          "                 Size remains unchanged at 1 x 1.",
          "Pixelry Error: " + name + " is too large to fit in memory."};
}

std::vector<std::string> skippedThenShort(const std::string& name) {
  return {"Pixelry Warning: Extra meta data detected in file " + name, "                 Data will be skipped.",
          "Pixelry Error: Could not read proper amount of data."};
}

// A small file that claims a huge image, what the reader prints for it, and the image it
// leaves: the claimed size when the grid fits, else one pixel at 1 bit after a refusal.
struct HugeClaim {
  std::string name;
  Bytes bytes;
  std::vector<std::string> messages;
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
  for (int i = 0; i < entries; ++i)
    palette.push_back(RGBApixel{static_cast<PixelryBYTE>(i), static_cast<PixelryBYTE>(i), static_cast<PixelryBYTE>(i), 0});
  return palette;
}

const Bytes kSomePixels(16, 0x5A);

std::vector<HugeClaim> hugeClaims() {
  const std::vector<std::string> underspecified = {
      "Pixelry Warning: file header_near_4gib.bmp has an underspecified",
      "                 color table. The table will be padded with extra",
      "                 white (255,255,255,0) entries."};
  std::vector<std::string> headerNear4GiB = skippedThenShort("header_near_4gib.bmp");
  headerNear4GiB.insert(headerNear4GiB.begin() + 2, underspecified.begin(), underspecified.end());
  return {
      {"square_60000_1bit.bmp", BmpFile::make(60000, 60000, 1).palette(grayPalette(2)).row(kSomePixels).bytes(),
       tooLarge("square_60000_1bit.bmp", "60000 x 60000"), false, 1, 1, 1},
      {"square_60000_24bit.bmp", BmpFile::make(60000, 60000, 24).row(kSomePixels).bytes(),
       tooLarge("square_60000_24bit.bmp", "60000 x 60000"), false, 1, 1, 1},
      {"width_2p31.bmp", BmpFile::make(2147483647, 1, 24).row(kSomePixels).bytes(),
       tooLarge("width_2p31.bmp", "2147483647 x 1"), false, 1, 1, 1},
      {"height_2p31.bmp", BmpFile::make(1, 2147483647, 8).palette(grayPalette(256)).row(kSomePixels).bytes(),
       tooLarge("height_2p31.bmp", "1 x 2147483647"), false, 1, 1, 1},
      {"offbits_near_4gib.bmp", withOffBits(BmpFile::make(2, 2, 24).row(kSomePixels), 0xFFFFFFF0u).bytes(),
       skippedThenShort("offbits_near_4gib.bmp"), true, 2, 2, 24},
      {"offbits_near_4gib_8bit.bmp",
       withOffBits(BmpFile::make(2, 2, 8).palette(grayPalette(256)).row(kSomePixels), 0xFFFFFFF0u).bytes(),
       skippedThenShort("offbits_near_4gib_8bit.bmp"), true, 2, 2, 8},
      // A 4 GiB info header: its remainder is skipped up to the end of the file, and the
      // pixel offset just past it leaves room for 60 of the 256 colours.
      {"header_near_4gib.bmp",
       withOffBits(withHeaderSize(BmpFile::make(3, 3, 8).row(kSomePixels), 0xFFFFFF00u), 0xFFFFFFFFu).bytes(),
       headerNear4GiB, true, 3, 3, 8},
  };
}

std::string claimName(const testing::TestParamInfo<HugeClaim>& info) {
  return info.param.name.substr(0, info.param.name.find('.'));
}

class HugeClaims : public testing::TestWithParam<HugeClaim> {};

TEST_P(HugeClaims, GlyphGuessReportsThemAndRunsToTheEnd) {
  const HugeClaim& claim = GetParam();
  TempDir dir;
  writeTemplates(dir);
  testing_support::writeBytes(dir.file(claim.name), claim.bytes);
  const RunResult run = runGlyphGuess(dir, claim.name, underMemoryLimit());
  EXPECT_EQ(inputMessages(run), claim.messages);
  expectFullRun(run);
}

// Reads path in a child process under the address-space limit, so that a grid the limit
// refuses cannot reach this process; the child reports the lines the read printed, its
// result and the image it left.
testing_support::ChildRun readUnderLimit(const std::string& path) {
  return testing_support::inChild(
      [&] {
        const rlimit limit{static_cast<rlim_t>(kAddressSpaceLimit), static_cast<rlim_t>(kAddressSpaceLimit)};
        setrlimit(RLIMIT_AS, &limit);
        BMP image;
        bool loaded = false;
        std::string report = testing_support::capturedOutput([&] { loaded = image.ReadFromFile(path.c_str()); });
        return report + (loaded ? "true " : "false ") + std::to_string(image.TellWidth()) + " x " +
               std::to_string(image.TellHeight()) + " at " + std::to_string(image.TellBitDepth()) + "\n";
      },
      kDeadlineSeconds);
}

TEST_P(HugeClaims, TheReaderRefusesOrReadsThemUnderTheLimit) {
#ifdef PIXELRY_TESTS_ASAN
  GTEST_SKIP() << "AddressSanitizer needs more address space than the limit; glyph_guess covers this";
#endif
  const HugeClaim& claim = GetParam();
  TempDir dir;
  const std::string path = dir.file(claim.name);
  testing_support::writeBytes(path, claim.bytes);
  const testing_support::ChildRun read = readUnderLimit(path);
  ASSERT_TRUE(read.finished) << read.report;
  std::vector<std::string> expected = claim.messages;
  // The reader names the file as it was given: here by its full path.
  for (std::string& line : expected) {
    const std::size_t at = line.find(claim.name);
    if (at != std::string::npos) line.replace(at, claim.name.size(), path);
  }
  expected.push_back(std::string(claim.loaded ? "true " : "false ") + std::to_string(claim.width) + " x " +
                     std::to_string(claim.height) + " at " + std::to_string(claim.bits));
  EXPECT_EQ(linesOf(read.report), expected);
}

INSTANTIATE_TEST_SUITE_P(Hostile, HugeClaims, testing::ValuesIn(hugeClaims()), claimName);

// glyph_guess where the file system stands in its way.
class HostileFileSystem : public testing::Test {
 protected:
  void SetUp() override {
    writeTemplates(dir);
    testing_support::writeBytes(dir.file("input.bmp"), smallImage());
  }

  // The lines of a run from the score line of 'a' up to that of 'b': the writer's, for out.bmp.
  static std::vector<std::string> writerMessages(const RunResult& run) {
    std::vector<std::string> messages;
    bool inside = false;
    for (const std::string& line : run.lines) {
      if (line.rfind("b: ", 0) == 0) break;
      if (inside) messages.push_back(line);
      inside = inside || line.rfind("a: ", 0) == 0;
    }
    return messages;
  }

  // The lines of a run between the score lines of the letters before and after letter.
  static std::vector<std::string> templateMessages(const RunResult& run, char letter) {
    const std::string from = std::string(1, static_cast<char>(letter - 1)) + ": ";
    const std::string to = std::string(1, letter) + ": ";
    std::vector<std::string> messages;
    bool inside = false;
    for (const std::string& line : run.lines) {
      if (line.rfind(to, 0) == 0) break;
      if (inside) messages.push_back(line);
      inside = inside || line.rfind(from, 0) == 0;
    }
    return messages;
  }

  TempDir dir;
};

TEST_F(HostileFileSystem, OutputOnAFullDisk) {
  std::filesystem::create_symlink("/dev/full", dir.path() / "out.bmp");
  const RunResult run = runGlyphGuess(dir, "input.bmp");
  EXPECT_EQ(writerMessages(run), std::vector<std::string>{"Pixelry Error: Could not write proper amount of data."});
  expectFullRun(run);
}

TEST_F(HostileFileSystem, OutputWhereADirectoryStands) {
  std::filesystem::create_directory(dir.path() / "out.bmp");
  const RunResult run = runGlyphGuess(dir, "input.bmp");
  EXPECT_EQ(writerMessages(run), std::vector<std::string>{"Pixelry Error: Cannot open file out.bmp for output."});
  expectFullRun(run);
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "out.bmp"));
}

TEST_F(HostileFileSystem, InputThatIsADirectory) {
  std::filesystem::create_directory(dir.path() / "folder.bmp");
  const RunResult run = runGlyphGuess(dir, "folder.bmp");
  EXPECT_EQ(inputMessages(run), std::vector<std::string>{"Pixelry Error: folder.bmp is obviously corrupted."});
  expectFullRun(run);
}

// A pipe delivers the first bytes of a valid file and then ends, as a download cut short.
TEST_F(HostileFileSystem, InputFromAPipeThatEndsEarly) {
  const Bytes whole = BmpFile::make(4, 3, 24).row(Bytes(12, 9)).row(Bytes(12, 9)).row(Bytes(12, 9)).bytes();
  struct Case {
    std::size_t bytes;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {54 + 20, {"Pixelry Error: Could not read proper amount of data."}},
      {30, {"Pixelry Error: pipe.bmp is obviously corrupted."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    std::filesystem::remove(dir.path() / "pipe.bmp");
    ASSERT_EQ(mkfifo(dir.file("pipe.bmp").c_str(), 0600), 0);
    testing_support::writeBytes(dir.file("short.bmp"), Bytes(whole.begin(), whole.begin() + static_cast<long>(c.bytes)));
    // The writer gives up at the deadline if glyph_guess never opens the pipe.
    const RunResult run =
        runGlyphGuess(dir, "pipe.bmp", "(timeout " + std::to_string(kDeadlineSeconds) + " cat short.bmp > pipe.bmp &) && ");
    EXPECT_EQ(inputMessages(run), c.messages);
    expectFullRun(run);
  }
}

TEST_F(HostileFileSystem, TemplatesThatAreDirectoriesOrEmpty) {
  // 'a' also decides the size of out.bmp: one pixel after its refusal.
  std::filesystem::remove(dir.path() / "ideal_characters/a.bmp");
  std::filesystem::create_directory(dir.path() / "ideal_characters/a.bmp");
  std::filesystem::remove(dir.path() / "ideal_characters/k.bmp");
  std::filesystem::create_directory(dir.path() / "ideal_characters/k.bmp");
  testing_support::writeBytes(dir.file("ideal_characters/q.bmp"), {});
  const RunResult run = runGlyphGuess(dir, "input.bmp");
  EXPECT_EQ(inputMessages(run), std::vector<std::string>{});
  for (char letter : {'k', 'q'})
    EXPECT_EQ(templateMessages(run, letter),
              std::vector<std::string>{std::string("Pixelry Error: ideal_characters/") + letter +
                                       ".bmp is obviously corrupted."})
        << letter;
  ASSERT_GE(run.lines.size(), 2u);
  EXPECT_EQ(run.lines[1], "Pixelry Error: ideal_characters/a.bmp is obviously corrupted.");
  expectFullRun(run);
  const Bytes out = testing_support::readBytes(dir.file("out.bmp"));
  ASSERT_GE(out.size(), 26u);
  EXPECT_EQ(testing_support::le32(out, 18), 1u);
  EXPECT_EQ(testing_support::le32(out, 22), 1u);
}

}  // namespace
