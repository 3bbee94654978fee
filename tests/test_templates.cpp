// The committed letter templates and the bundled sample glyph, used by glyph_guess.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "Pixelry/Pixelry.h"
#include "support/Capture.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using namespace testing_support;

const fs::path kSourceDir = PIXELRY_SOURCE_DIR;

std::string templatePath(char letter) {
  return (kSourceDir / "ideal_characters" / (std::string(1, letter) + ".bmp")).string();
}

class CommittedTemplate : public ::testing::TestWithParam<char> {};

// Every template must load silently: a warning would be printed on every run of
// glyph_guess, and a refused file scores 0 and can never win.
TEST_P(CommittedTemplate, LoadsWithoutAnyMessage) {
  BMP pattern;
  bool read = false;
  const std::string output =
      capturedOutput([&] { read = pattern.ReadFromFile(templatePath(GetParam()).c_str()); });
  EXPECT_TRUE(read);
  EXPECT_EQ(output, "");
}

// One common size: a narrower template averages over fewer pixels and so wins too
// often; and out.bmp takes the size of 'a'.
TEST_P(CommittedTemplate, SharesTheSizeOfTheATemplate) {
  BMP a;
  BMP pattern;
  ASSERT_TRUE(a.ReadFromFile(templatePath('a').c_str()));
  ASSERT_TRUE(pattern.ReadFromFile(templatePath(GetParam()).c_str()));
  EXPECT_GE(a.TellWidth(), 24);
  EXPECT_GE(a.TellHeight(), 24);
  EXPECT_EQ(pattern.TellWidth(), a.TellWidth());
  EXPECT_EQ(pattern.TellHeight(), a.TellHeight());
}

// A flat template has a covariance of 0 with every input and can never be named.
TEST_P(CommittedTemplate, HasContrast) {
  BMP pattern;
  ASSERT_TRUE(pattern.ReadFromFile(templatePath(GetParam()).c_str()));
  int low = 255;
  int high = 0;
  for (int y = 0; y < pattern.TellHeight(); ++y)
    for (int x = 0; x < pattern.TellWidth(); ++x) {
      low = std::min<int>(low, pattern(x, y)->Red);
      high = std::max<int>(high, pattern(x, y)->Red);
    }
  EXPECT_GE(high - low, 64);
}

INSTANTIATE_TEST_SUITE_P(Letters, CommittedTemplate,
                         ::testing::Values('a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l', 'm',
                                           'n', 'o', 'p', 'q', 'r', 's', 't', 'u', 'v', 'w', 'x', 'y', 'z'),
                         [](const ::testing::TestParamInfo<char>& info) {
                           return std::string(1, info.param);
                         });

// glyph_guess on the bundled sample, from a scratch directory with a copy of the committed
// templates.
TEST(BundledSample, IsRecognisedAsTheLetterItShows) {
  TempDir dir;
  fs::copy(kSourceDir / "ideal_characters", dir.path() / "ideal_characters", fs::copy_options::recursive);
  const ProgramRun run = runGlyphGuess(dir, {(kSourceDir / "samples" / "sample_glyph.bmp").string()});
  EXPECT_EQ(run.lastLine(), "The character is most likely a 'k'!") << run.output;
}

}  // namespace
