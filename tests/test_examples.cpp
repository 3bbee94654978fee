// The example programs bmpinfo and bmpscale, run as a user would run them.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Pixelry/Pixelry.h"
#include "support/BmpFile.h"
#include "support/Messages.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"

namespace {

using namespace testing_support;

long lines(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

class Examples : public ::testing::Test {
 protected:
  // A 4 x 2 image at 24 bits: a blue left half and a red right half.
  std::string writeInput() {
    const std::string path = dir.file("in.bmp");
    writeBytes(path, BmpFile::make(4, 2, 24)
                                          .row({255, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 255})
                                          .row({255, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 255})
                                          .bytes());
    return path;
  }

  TempDir dir;
};

}  // namespace

TEST_F(Examples, BmpinfoListsEveryFileGiven) {
  const std::string input = writeInput();
  const ProgramRun result = runProgram(BMPINFO_PATH, {input, input});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(lines(result.output), 44);
  EXPECT_EQ(result.output.find("File information for file " + input + ":\n\nBITMAPFILEHEADER:\nbfType: 19778\n"), 0u)
      << result.output;
  EXPECT_NE(result.output.find("\nbiWidth: 4\nbiHeight: 2\nbiPlanes: 1\nbiBitCount: 24\n"), std::string::npos)
      << result.output;
}

TEST_F(Examples, BmpinfoFailsAfterTheLibrarysMessageButListsTheOthers) {
  const std::string input = writeInput();
  const std::string missing = dir.file("missing.bmp");
  const ProgramRun result = runProgram(BMPINFO_PATH, {missing, input});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output.find(cannotInitialize(missing) + "File information for file " + input + ":\n"), 0u)
      << result.output;
  EXPECT_EQ(lines(result.output), 2 + 22);
}

TEST_F(Examples, BmpinfoWithoutFilesPrintsItsUsage) {
  const ProgramRun result = runProgram(BMPINFO_PATH, {});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output, "Usage: bmpinfo FILE...\n");
}

struct Usage {
  const char* name;
  std::vector<std::string> arguments;
};

void PrintTo(const Usage& u, std::ostream* os) { *os << u.name; }

class BmpscaleUsage : public ::testing::TestWithParam<Usage> {};

TEST_P(BmpscaleUsage, WrongCommandLinePrintsOneUsageLine) {
  const ProgramRun result = runProgram(BMPSCALE_PATH, GetParam().arguments);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output.rfind("Usage: bmpscale IN OUT MODE N [BITS]", 0), 0u) << result.output;
  EXPECT_EQ(lines(result.output), 1);
}

INSTANTIATE_TEST_SUITE_P(CommandLines, BmpscaleUsage,
                         ::testing::Values(Usage{"None", {}}, Usage{"NoNumber", {"in.bmp", "out.bmp", "P"}},
                                           Usage{"TwoLetters", {"in.bmp", "out.bmp", "PW", "50"}},
                                           Usage{"NoLetter", {"in.bmp", "out.bmp", "", "50"}},
                                           Usage{"NumberInWords", {"in.bmp", "out.bmp", "P", "fifty"}},
                                           Usage{"NumberWithATail", {"in.bmp", "out.bmp", "P", "50x"}},
                                           Usage{"NumberBeyondInt", {"in.bmp", "out.bmp", "P", "99999999999"}},
                                           Usage{"DepthInWords", {"in.bmp", "out.bmp", "P", "50", "eight"}},
                                           Usage{"OneTooMany", {"in.bmp", "out.bmp", "P", "50", "8", "x"}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Examples, BmpscaleWritesTheRescaledImageAtTheDepthAsked) {
  const std::string input = writeInput();
  const std::string output = dir.file("out.bmp");
  const ProgramRun result = runProgram(BMPSCALE_PATH, {input, output, "p", "200", "8"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "");
  BMP image;
  ASSERT_TRUE(image.ReadFromFile(output.c_str()));
  EXPECT_EQ(image.TellWidth(), 8);
  EXPECT_EQ(image.TellHeight(), 4);
  EXPECT_EQ(image.TellBitDepth(), 8);
  EXPECT_EQ(image(0, 0)->Blue, 255);
  EXPECT_EQ(image(7, 3)->Red, 255);
}

TEST_F(Examples, BmpscaleWritesAt24BitsByDefault) {
  const std::string input = writeInput();
  const std::string output = dir.file("out.bmp");
  const ProgramRun result = runProgram(BMPSCALE_PATH, {input, output, "W", "2"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(GetBitmapColorDepth(output.c_str()), 24);
  const BMIH header = GetBMIH(output.c_str());
  EXPECT_EQ(header.biWidth, 2u);
  EXPECT_EQ(header.biHeight, 1u);
}

struct Refusal {
  const char* name;
  std::vector<std::string> tail;  // MODE N [BITS]
  std::string message;
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

class BmpscaleRefusal : public Examples, public ::testing::WithParamInterface<Refusal> {};

TEST_P(BmpscaleRefusal, FailsAfterTheLibrarysMessageWithoutWriting) {
  const std::string input = writeInput();
  const std::string output = dir.file("out.bmp");
  std::vector<std::string> arguments = {input, output};
  arguments.insert(arguments.end(), GetParam().tail.begin(), GetParam().tail.end());
  const ProgramRun result = runProgram(BMPSCALE_PATH, arguments);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output.rfind(GetParam().message, 0), 0u) << result.output;
  EXPECT_FALSE(std::filesystem::exists(output));
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, BmpscaleRefusal,
    ::testing::Values(Refusal{"UnknownMode", {"x", "50"}, unknownMode('x')},
                      Refusal{"UnsupportedDepth", {"P", "50", "7"}, depthRefused(7, 24)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Examples, BmpscaleFailsAfterTheReadersMessageOnAMissingInput) {
  const std::string missing = dir.file("missing.bmp");
  const std::string output = dir.file("out.bmp");
  const ProgramRun result = runProgram(BMPSCALE_PATH, {missing, output, "P", "50"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output, withName(kCannotOpenInput, missing));
  EXPECT_FALSE(std::filesystem::exists(output));
}
