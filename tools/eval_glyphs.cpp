// eval_glyphs: measures how well glyph_guess recognises letters from a list of fonts.
//
//   eval_glyphs [--seed N] GLYPH-GUESS TEMPLATE-DIR FONT-LIST OUTPUT-DIR
//
// Renders every font at x-heights 12 to 56 pixels, every letter, clean, blurred, noisy
// and binarised, each cropped to its ink box (the same seed gives the same images).
// Every image is written as OUTPUT-DIR/glyphs/<font>-<x-height>-<letter>-<condition>.bmp
// and the real glyph_guess is run on it from OUTPUT-DIR, which receives a copy of the
// templates as ideal_characters/. Prints top-1 accuracy overall, clean and degraded,
// by condition, font, x-height and letter, and the most frequent confusions; writes the
// confusion matrix as OUTPUT-DIR/confusion.bmp (rows: true letter, columns: verdict).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Pixelry/Pixelry.h"
#include "glyph_model.h"
#include "glyph_set.h"

namespace fs = std::filesystem;

namespace {

// Right and total counts under one heading.
struct Tally {
  int right = 0;
  int total = 0;
  void add(bool correct) {
    right += correct;
    ++total;
  }
  double percent() const { return total ? 100.0 * right / total : 0.0; }
};

std::string quoted(const std::string& text) { return "'" + text + "'"; }

bool writeGlyph(const GrayImage& glyph, const std::string& path) {
  BMP image;
  image.SetSize(glyph.width, glyph.height);
  for (int row = 0; row < glyph.height; ++row)
    for (int column = 0; column < glyph.width; ++column) {
      const PixelryBYTE red = glyph.at(column, row);
      *image(column, row) = RGBApixel{red, red, red, 0};
    }
  return image.WriteToFile(path.c_str());
}

// Runs glyph_guess from the output directory; the letter of its verdict line, or '?'.
char runGlyphGuess(const std::string& program, const std::string& directory, const std::string& glyph) {
  const std::string command = "cd " + quoted(directory) + " && " + quoted(program) + " " + quoted(glyph);
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return '?';
  static const std::string verdict = "The character is most likely a '";
  char letter = '?';
  char line[512];
  while (std::fgets(line, sizeof line, pipe)) {
    const std::string text = line;
    if (text.rfind(verdict, 0) == 0 && text.size() > verdict.size()) letter = text[verdict.size()];
  }
  pclose(pipe);
  return letter;
}

template <class Tallies>
void printTallies(const std::string& heading, const Tallies& tallies) {
  std::cout << heading << std::endl;
  for (const auto& [name, tally] : tallies)
    std::cout << "  " << std::left << std::setw(36) << name << std::right << std::setw(7) << std::fixed
              << std::setprecision(2) << tally.percent() << "%  (" << tally.right << "/" << tally.total << ")"
              << std::endl;
}

// One 12-pixel cell per pair; the darker the cell, the larger the share of the row's
// letter given that verdict. Wrong verdicts are drawn in red, right ones in grey.
bool writeConfusion(const std::vector<std::vector<int>>& counts, const std::string& path) {
  const int cell = 12;
  BMP image;
  image.SetSize(kLetterCount * cell, kLetterCount * cell);
  for (int truth = 0; truth < kLetterCount; ++truth) {
    int rowTotal = 0;
    for (int count : counts[static_cast<std::size_t>(truth)]) rowTotal += count;
    for (int guess = 0; guess < kLetterCount; ++guess) {
      const double share =
          rowTotal ? static_cast<double>(
                         counts[static_cast<std::size_t>(truth)][static_cast<std::size_t>(guess)]) /
                         rowTotal
                   : 0.0;
      // Small shares of wrong verdicts are stretched so that they stay visible.
      const double shade = truth == guess ? share : std::min(1.0, 5.0 * share);
      const auto fade = static_cast<PixelryBYTE>(255 - static_cast<int>(255 * shade));
      const RGBApixel colour =
          truth == guess ? RGBApixel{fade, fade, fade, 0} : RGBApixel{fade, fade, 255, 0};
      for (int y = 0; y < cell; ++y)
        for (int x = 0; x < cell; ++x) {
          const bool grid = x == 0 || y == 0;
          *image(guess * cell + x, truth * cell + y) = grid ? RGBApixel{200, 200, 200, 0} : colour;
        }
    }
  }
  return image.WriteToFile(path.c_str());
}

}  // namespace

int main(int argc, char* argv[]) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::uint64_t seed = kEvaluationSeed;
  if (args.size() == 6 && args[0] == "--seed") {
    seed = std::strtoull(args[1].c_str(), nullptr, 10);
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.size() != 4) {
    std::cout << "Usage: eval_glyphs [--seed N] GLYPH-GUESS TEMPLATE-DIR FONT-LIST OUTPUT-DIR" << std::endl;
    return 1;
  }
  const std::string program = fs::absolute(args[0]).string();
  const std::string outputDir = args[3];
  const auto fonts = openFonts(readFontList(args[2]));
  if (fonts.empty()) {
    std::cout << "No usable fonts in " << args[2] << std::endl;
    return 1;
  }
  std::error_code error;
  fs::create_directories(fs::path(outputDir) / "glyphs", error);
  fs::create_directories(fs::path(outputDir) / "ideal_characters", error);
  for (char letter = 'a'; letter <= 'z'; ++letter) {
    const std::string name = std::string(1, letter) + ".bmp";
    fs::copy_file(fs::path(args[1]) / name, fs::path(outputDir) / "ideal_characters" / name,
                  fs::copy_options::overwrite_existing, error);
    if (error) {
      std::cout << "Cannot copy template " << name << ": " << error.message() << std::endl;
      return 1;
    }
  }
  SetPixelrywarningsOff();

  Tally overall, clean, degraded;
  std::map<std::string, Tally> byCondition, byFont, bySize, byLetter;
  std::vector<std::vector<int>> confusion(kLetterCount, std::vector<int>(kLetterCount + 1, 0));
  evaluationGlyphs(fonts, kEvaluationXHeights, seed, [&](const GlyphSample& sample) {
    std::ostringstream name;
    name << fonts[static_cast<std::size_t>(sample.font)]->name() << "-" << std::setw(2) << std::setfill('0')
         << sample.xHeight << "-" << sample.letter << "-" << conditionName(sample.condition) << ".bmp";
    const std::string relative = "glyphs/" + name.str();
    const bool written = writeGlyph(sample.image, outputDir + "/" + relative);
    const char guess = written ? runGlyphGuess(program, outputDir, relative) : '?';
    const bool correct = guess == sample.letter;
    overall.add(correct);
    (sample.condition == Condition::Clean ? clean : degraded).add(correct);
    byCondition[conditionName(sample.condition)].add(correct);
    byFont[fonts[static_cast<std::size_t>(sample.font)]->name()].add(correct);
    std::ostringstream size;
    size << "x-height " << std::setw(2) << sample.xHeight;
    bySize[size.str()].add(correct);
    byLetter[std::string(1, sample.letter)].add(correct);
    const int column = guess >= 'a' && guess <= 'z' ? guess - 'a' : kLetterCount;
    ++confusion[static_cast<std::size_t>(sample.letter - 'a')][static_cast<std::size_t>(column)];
  });

  printTallies("Top-1 accuracy", std::vector<std::pair<std::string, Tally>>{
                                     {"overall", overall}, {"clean", clean}, {"degraded", degraded}});
  printTallies("By condition", byCondition);
  printTallies("By font", byFont);
  printTallies("By x-height (pixels)", bySize);
  printTallies("By letter", byLetter);

  std::vector<std::pair<int, std::string>> mistakes;
  for (int truth = 0; truth < kLetterCount; ++truth)
    for (int guess = 0; guess <= kLetterCount; ++guess)
      if (truth != guess && confusion[static_cast<std::size_t>(truth)][static_cast<std::size_t>(guess)] > 0)
        mistakes.emplace_back(
            confusion[static_cast<std::size_t>(truth)][static_cast<std::size_t>(guess)],
            std::string(1, static_cast<char>('a' + truth)) + " read as " +
                (guess == kLetterCount ? std::string("?") : std::string(1, static_cast<char>('a' + guess))));
  std::stable_sort(mistakes.begin(), mistakes.end(),
                   [](const auto& a, const auto& b) { return a.first > b.first; });
  std::cout << "Most frequent confusions" << std::endl;
  for (std::size_t i = 0; i < std::min<std::size_t>(15, mistakes.size()); ++i)
    std::cout << "  " << mistakes[i].second << ": " << mistakes[i].first << std::endl;

  if (!writeConfusion(confusion, outputDir + "/confusion.bmp")) {
    std::cout << "Could not write " << outputDir << "/confusion.bmp" << std::endl;
    return 1;
  }
  return 0;
}
