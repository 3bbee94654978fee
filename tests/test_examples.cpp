// The example programs bmpinfo and bmpscale, run as a user would run them.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Pixelry/Pixelry.h"
#include "support/BmpFile.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"

using testing_support::BmpFile;

namespace {

using testing_support::ProgramRun;

ProgramRun run(const std::string& program, const std::vector<std::string>& arguments) {
  std::string command = testing_support::shellQuoted(program);
  for (const std::string& argument : arguments) command += " " + testing_support::shellQuoted(argument);
  // Standard error joins standard output, in order.
  return testing_support::runCommand(command + " 2>&1");
}

long lines(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

class Examples : public ::testing::Test {
 protected:
  // A 4 x 2 image at 24 bits: a blue left half and a red right half.
  std::string writeInput() {
    const std::string path = dir.file("in.bmp");
    testing_support::writeBytes(path, BmpFile::make(4, 2, 24)
                                          .row({255, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 255})
                                          .row({255, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 255})
                                          .bytes());
    return path;
  }

  testing_support::TempDir dir;
};

}  // namespace

TEST_F(Examples, BmpinfoListsEveryFileGiven) {
  const std::string input = writeInput();
  const ProgramRun result = run(BMPINFO_PATH, {input, input});
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
  const ProgramRun result = run(BMPINFO_PATH, {missing, input});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output.find("Pixelry Error: Cannot initialize from file " + missing +
                               ".\n               File cannot be opened or does not exist.\n"
                               "File information for file " + input + ":\n"),
            0u)
      << result.output;
  EXPECT_EQ(lines(result.output), 2 + 22);
}

TEST_F(Examples, BmpinfoWithoutFilesPrintsItsUsage) {
  const ProgramRun result = run(BMPINFO_PATH, {});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output, "Usage: bmpinfo FILE...\n");
}

class BmpscaleUsage : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(BmpscaleUsage, WrongCommandLinePrintsOneUsageLine) {
  const ProgramRun result = run(BMPSCALE_PATH, GetParam());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output.rfind("Usage: bmpscale IN OUT MODE N [BITS]", 0), 0u) << result.output;
  EXPECT_EQ(lines(result.output), 1);
}

INSTANTIATE_TEST_SUITE_P(CommandLines, BmpscaleUsage,
                         ::testing::Values(std::vector<std::string>{},
                                           std::vector<std::string>{"in.bmp", "out.bmp", "P"},
                                           std::vector<std::string>{"in.bmp", "out.bmp", "PW", "50"},
                                           std::vector<std::string>{"in.bmp", "out.bmp", "", "50"},
                                           std::vector<std::string>{"in.bmp", "out.bmp", "P", "fifty"},
                                           std::vector<std::string>{"in.bmp", "out.bmp", "P", "50x"},
                                           std::vector<std::string>{"in.bmp", "out.bmp", "P", "99999999999"},
                                           std::vector<std::string>{"in.bmp", "out.bmp", "P", "50", "eight"},
                                           std::vector<std::string>{"in.bmp", "out.bmp", "P", "50", "8", "x"}));

TEST_F(Examples, BmpscaleWritesTheRescaledImageAtTheDepthAsked) {
  const std::string input = writeInput();
  const std::string output = dir.file("out.bmp");
  const ProgramRun result = run(BMPSCALE_PATH, {input, output, "p", "200", "8"});
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
  const ProgramRun result = run(BMPSCALE_PATH, {input, output, "W", "2"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(GetBitmapColorDepth(output.c_str()), 24);
  const BMIH header = GetBMIH(output.c_str());
  EXPECT_EQ(header.biWidth, 2u);
  EXPECT_EQ(header.biHeight, 1u);
}

struct Refusal {
  const char* name;
  std::vector<std::string> tail;  // MODE N [BITS]
  const char* message;
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

class BmpscaleRefusal : public Examples, public ::testing::WithParamInterface<Refusal> {};

TEST_P(BmpscaleRefusal, FailsAfterTheLibrarysMessageWithoutWriting) {
  const std::string input = writeInput();
  const std::string output = dir.file("out.bmp");
  std::vector<std::string> arguments = {input, output};
  arguments.insert(arguments.end(), GetParam().tail.begin(), GetParam().tail.end());
  const ProgramRun result = run(BMPSCALE_PATH, arguments);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output.rfind(GetParam().message, 0), 0u) << result.output;
  EXPECT_FALSE(std::filesystem::exists(output));
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, BmpscaleRefusal,
    ::testing::Values(Refusal{"UnknownMode", {"x", "50"}, "Pixelry Error: Unknown rescale mode x requested\n"},
                      Refusal{"UnsupportedDepth", {"P", "50", "7"},
                              "Pixelry Warning: User attempted to set unsupported bit depth 7.\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Examples, BmpscaleFailsAfterTheReadersMessageOnAMissingInput) {
  const std::string missing = dir.file("missing.bmp");
  const std::string output = dir.file("out.bmp");
  const ProgramRun result = run(BMPSCALE_PATH, {missing, output, "P", "50"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output, "Pixelry Error: Cannot open file " + missing + " for input.\n");
  EXPECT_FALSE(std::filesystem::exists(output));
}
