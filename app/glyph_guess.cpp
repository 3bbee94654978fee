// glyph_guess: guesses which lower-case letter a BMP image shows.
//
// Input convention: one lower-case letter, dark on a light background, cropped to the
// ink's bounding box, in any depth the reader accepts. The image is compared with the
// templates ideal_characters/a.bmp ... z.bmp (relative to the working directory) by the
// covariance of the red channels after resampling the input to each template's size; the
// best positive score names the letter. The input resampled to the size of the 'a'
// template is saved as out.bmp.
#include <cstdint>
#include <iostream>
#include <string>

#include "Pixelry/Pixelry.h"
#include "glyph_match.h"

namespace {

// Mean of the red channel over every pixel.
double meanRed(BMP& image) {
  const int width = image.TellWidth();
  const int height = image.TellHeight();
  std::int64_t sum = 0;
  for (int row = 0; row < height; ++row)
    for (int column = 0; column < width; ++column) sum += image(column, row)->Red;
  return static_cast<double>(sum) / static_cast<double>(static_cast<std::int64_t>(width) * height);
}

void printShapeClass(double ratio) {
  if (ratio < 1.0) std::cout << "One of: m,w or more than one character!" << std::endl;
  if (ratio >= 1.0 && ratio <= 1.5) std::cout << "One of: a,c,e,g,n,o,r,s,u,v,x,z" << std::endl;
  if (ratio > 1.5 && ratio < 1.9)
    std::cout << "One of: b,d,f,g,h,k,p,q,y and almost all upper case" << std::endl;
  if (ratio >= 1.9) std::cout << "One of: i,j,l,t" << std::endl;
}

// Scores the input against one template: the input's red channel is resampled to the
// template's size (see glyph_match.h) and the covariance of the two red channels is
// returned. When resampled is given, the resampled reds are stored in it.
double score(BMP& input, double inputMean, BMP& pattern, BMP* resampled) {
  const int patternWidth = pattern.TellWidth();
  const int patternHeight = pattern.TellHeight();
  const glyph_match::Resampler resampler(input.TellWidth(), input.TellHeight(), patternWidth, patternHeight);
  const double patternMean = meanRed(pattern);
  const auto inputRed = [&input](int column, int row) { return input(column, row)->Red; };

  double sum = 0.0;
  for (int k = 0; k < patternHeight; ++k) {
    for (int l = 0; l < patternWidth; ++l) {
      const int v = resampler.at(inputRed, l, k);
      if (resampled) (*resampled)(l, k)->Red = static_cast<PixelryBYTE>(v);
      sum += (v - inputMean) * (pattern(l, k)->Red - patternMean);
    }
  }
  return (1.0 / static_cast<double>(static_cast<std::int64_t>(patternWidth) * patternHeight)) * sum;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::cout << "Usage: glyph_guess <BMP-file>" << std::endl;
    return 1;
  }
  const std::string path = pixelry::utf8Arguments(argc, argv)[1];
  BMP input;
  input.ReadFromFile(path.c_str());
  const int width = input.TellWidth();
  const int height = input.TellHeight();
  const double inputMean = meanRed(input);
  printShapeClass(static_cast<double>(height) / static_cast<double>(width));

  double bestScore = 0.0;
  char bestLetter = 'l';
  for (char letter = 'a'; letter <= 'z'; ++letter) {
    const std::string patternPath = std::string("ideal_characters/") + letter + ".bmp";
    BMP pattern;
    pattern.ReadFromFile(patternPath.c_str());
    BMP resampled;
    resampled.SetSize(pattern.TellWidth(), pattern.TellHeight());
    const bool first = letter == 'a';
    const double letterScore = score(input, inputMean, pattern, first ? &resampled : nullptr);
    std::cout << letter << ": " << letterScore << std::endl;
    if (letterScore > bestScore) {
      bestScore = letterScore;
      bestLetter = letter;
    }
    if (first) resampled.WriteToFile("out.bmp");
  }
  // With no positive score the verdict falls back to 'l'.
  std::cout << "The character is most likely a '" << (bestScore > 0.0 ? bestLetter : 'l') << "'!"
            << std::endl;
  return 0;
}
