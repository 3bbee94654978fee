// glyph_guess run end to end: its output, its exit status and out.bmp.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Pixelry/Pixelry.h"
#include "support/BmpFile.h"
#include "support/Capture.h"
#include "support/Messages.h"
#include "support/Pattern.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"

namespace {

using namespace testing_support;

// Writes a 24-bit image whose reds are given row by row, top row first; green and blue
// are set to 7 so that only red can matter.
void writeReds(const std::string& path, int width, int height, const std::vector<int>& reds) {
  std::vector<RGBApixel> pixels;
  for (int red : reds) pixels.push_back(pixel(red, 7, 7));
  const WarningsOff off;
  imageOf(width, height, pixels).WriteToFile(path.c_str());
}

void writeTemplate(const TempDir& dir, char letter, int width, int height, const std::vector<int>& reds) {
  std::filesystem::create_directories(dir.path() / "ideal_characters");
  writeReds(dir.file(std::string("ideal_characters/") + letter + ".bmp"), width, height, reds);
}

std::string missingTemplates() {
  std::string lines;
  for (char c = 'a'; c <= 'z'; ++c)
    lines += withName(kCannotOpenInput, std::string("ideal_characters/") + c + ".bmp") + c + ": 0\n";
  return lines;
}

TEST(GlyphGuessCommandLine, WrongArgumentCountPrintsUsageAndExitsOne) {
  TempDir dir;
  for (const std::vector<std::string>& arguments : {std::vector<std::string>{}, {"one.bmp", "two.bmp"}}) {
    const ProgramRun run = runGlyphGuess(dir, arguments);
    EXPECT_EQ(run.output, "Usage: glyph_guess <BMP-file>\n") << arguments.size();
    EXPECT_EQ(run.status, 1) << arguments.size();
  }
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "out.bmp"));
}

TEST(GlyphGuessCommandLine, MissingInputAndTemplatesStillRunAllLettersAndExitZero) {
  TempDir dir;
  const ProgramRun run = runGlyphGuess(dir, {"missing.bmp"});
  EXPECT_EQ(run.output, withName(kCannotOpenInput, "missing.bmp") + "One of: a,c,e,g,n,o,r,s,u,v,x,z\n" +
                            missingTemplates() + "The character is most likely a 'l'!\n");
  EXPECT_EQ(run.status, 0);
  // out.bmp is still written: 1 x 1, 24 bits, the failed input's white red.
  const Bytes out = readBytes(dir.file("out.bmp"));
  ASSERT_EQ(out.size(), 58u);
  EXPECT_EQ(le16(out, 28), 24);
  EXPECT_EQ(out[54 + 2], 255);
}

struct ShapeCase {
  int width, height;
  const char* line;
};

void PrintTo(const ShapeCase& c, std::ostream* os) { *os << c.width << " x " << c.height; }

class GlyphGuessShapeClass : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(GlyphGuessShapeClass, AspectRatioPicksExactlyOneLine) {
  TempDir dir;
  const ShapeCase c = GetParam();
  writeReds(dir.file("in.bmp"), c.width, c.height,
            std::vector<int>(static_cast<std::size_t>(c.width * c.height), 0));
  const ProgramRun run = runGlyphGuess(dir, {"in.bmp"});
  EXPECT_EQ(run.output,
            std::string(c.line) + "\n" + missingTemplates() + "The character is most likely a 'l'!\n");
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, GlyphGuessShapeClass,
    ::testing::Values(ShapeCase{10, 10, "One of: a,c,e,g,n,o,r,s,u,v,x,z"},
                      ShapeCase{11, 10, "One of: m,w or more than one character!"},
                      ShapeCase{10, 15, "One of: a,c,e,g,n,o,r,s,u,v,x,z"},
                      ShapeCase{10, 16, "One of: b,d,f,g,h,k,p,q,y and almost all upper case"},
                      ShapeCase{10, 19, "One of: i,j,l,t"}, ShapeCase{1, 2, "One of: i,j,l,t"}),
    [](const ::testing::TestParamInfo<ShapeCase>& info) {
      return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
    });

// A name that is not ASCII ("λ-名-é.bmp", in UTF-8) reaches the reader whole, as does the
// ASCII name of the same file.
TEST(GlyphGuessCommandLine, TakesANonAsciiNameAsUtf8) {
  TempDir dir;
  writeTemplate(dir, 'a', 2, 1, {0, 255});
  const std::string name = "\xCE\xBB-\xE5\x90\x8D-\xC3\xA9.bmp";
  writeReds(dir.file(name), 2, 1, {0, 255});
  writeReds(dir.file("in.bmp"), 2, 1, {0, 255});
  const ProgramRun run = runGlyphGuess(dir, {name});
  EXPECT_EQ(run.output.find(name), std::string::npos) << run.output;  // no message names it
  EXPECT_EQ(run.output, runGlyphGuess(dir, {"in.bmp"}).output);
}

// Input 2 x 1 with reds 0 and 255 (mean 127.5) against 2 x 1 templates: a template
// equal to the input scores ((-127.5)^2 + 127.5^2) / 2 = 16256.25, its mirror the negative.
class GlyphGuessScoring : public ::testing::Test {
 protected:
  void SetUp() override { writeReds(dir.file("in.bmp"), 2, 1, {0, 255}); }
  std::vector<std::string> scoreLines() {
    const std::vector<std::string> lines = runGlyphGuess(dir, {"in.bmp"}).lines();
    std::vector<std::string> scores;
    for (const std::string& line : lines)
      if (line.size() > 2 && line[1] == ':') scores.push_back(line);
    return scores;
  }
  std::string verdict() { return runGlyphGuess(dir, {"in.bmp"}).lastLine(); }
  TempDir dir;
};

TEST_F(GlyphGuessScoring, ScoresUseDefaultStreamFormatting) {
  writeTemplate(dir, 'a', 2, 1, {0, 255});
  writeTemplate(dir, 'b', 2, 1, {255, 0});
  writeTemplate(dir, 'c', 2, 1, {0, 1});  // (127.5 x 0.5 + 127.5 x 0.5) / 2
  writeTemplate(dir, 'd', 1, 1, {77});    // a single pixel equals its own mean
  const std::vector<std::string> scores = scoreLines();
  ASSERT_EQ(scores.size(), 26u);
  EXPECT_EQ(scores[0], "a: 16256.2");
  EXPECT_EQ(scores[1], "b: -16256.2");
  EXPECT_EQ(scores[2], "c: 63.75");
  EXPECT_EQ(scores[3], "d: 0");
  EXPECT_EQ(verdict(), "The character is most likely a 'a'!");
}

TEST_F(GlyphGuessScoring, EqualBestScoresGoToTheEarlierLetter) {
  writeTemplate(dir, 'b', 2, 1, {255, 0});
  writeTemplate(dir, 'k', 2, 1, {0, 255});
  writeTemplate(dir, 'q', 2, 1, {0, 255});
  EXPECT_EQ(verdict(), "The character is most likely a 'k'!");
}

TEST_F(GlyphGuessScoring, NoPositiveScoreFallsBackToL) {
  writeTemplate(dir, 'a', 2, 1, {255, 0});
  writeTemplate(dir, 'x', 2, 1, {200, 10});
  EXPECT_EQ(verdict(), "The character is most likely a 'l'!");
}

TEST_F(GlyphGuessScoring, OutBmpHoldsTheInputResampledToTheATemplate) {
  // 4 x 1 template: samples at x = 0, 0.5, 1, 1.5 give 0, 127 (127.5 truncated), and in
  // the last column the missing right neighbour counts as white: 255, 255.
  writeTemplate(dir, 'a', 4, 1, {0, 0, 0, 0});
  runGlyphGuess(dir, {"in.bmp"});
  const Bytes out = readBytes(dir.file("out.bmp"));
  ASSERT_EQ(out.size(), 54u + 12u);
  EXPECT_EQ(le32(out, 18), 4u);
  EXPECT_EQ(le32(out, 22), 1u);
  EXPECT_EQ(le16(out, 28), 24);
  const Bytes pixels(out.begin() + 54, out.end());
  EXPECT_EQ(pixels, (Bytes{255, 255, 0, 255, 255, 127, 255, 255, 255, 255, 255, 255}));
}

TEST_F(GlyphGuessScoring, TallerTemplateRepeatsInputRows) {
  // Input rows 0 and 255 (1 wide, 2 high) against a 1 x 4 template: rows 0,0,255,255 are
  // sampled, each towards white by fx = 0 -> exact.
  writeReds(dir.file("in.bmp"), 1, 2, {0, 255});
  writeTemplate(dir, 'a', 1, 4, {0, 0, 255, 255});
  runGlyphGuess(dir, {"in.bmp"});
  const Bytes out = readBytes(dir.file("out.bmp"));
  ASSERT_EQ(out.size(), 54u + 16u);
  // Bottom row first in the file: reds 255, 255, 0, 0.
  EXPECT_EQ(out[54 + 2], 255);
  EXPECT_EQ(out[58 + 2], 255);
  EXPECT_EQ(out[62 + 2], 0);
  EXPECT_EQ(out[66 + 2], 0);
}

TEST_F(GlyphGuessScoring, UnwritableOutBmpIsReportedAndTheRunGoesOn) {
  writeTemplate(dir, 'a', 2, 1, {0, 255});
  std::filesystem::create_directory(dir.path() / "out.bmp");
  const ProgramRun run = runGlyphGuess(dir, {"in.bmp"});
  const std::vector<std::string> lines = run.lines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[1], "a: 16256.2");
  EXPECT_EQ(lines[2] + "\n", cannotOpenOutput("out.bmp"));
  EXPECT_EQ(lines.back(), "The character is most likely a 'a'!");
  EXPECT_EQ(run.status, 0);
}

}  // namespace
