// make_templates: builds glyph_guess's 26 templates from a list of font files.
//
//   make_templates [--size W[xH]] [--draws N] [--epochs N] [--l2 DECAY] [--check CHECK-LIST]
//                  [--fit-evaluation N] FONT-LIST OUTPUT-DIR
//
// Every font renders every letter many times (x-heights about 10 to 60 pixels, sub-pixel
// offsets, hinted and unhinted, some reshaped, clean, blurred, noisy and binarised), each render is
// cropped to its ink box and resampled to the template size exactly as glyph_guess
// resamples its input, and a linear classifier trained on those values becomes the
// templates (see glyph_model.h). OUTPUT-DIR receives a.bmp ... z.bmp. With --check, the
// fonts of CHECK-LIST are rendered as eval_glyphs renders them and the accuracy the new
// templates would give is printed. The same fonts and options give identical files.
//
// --fit-evaluation N is for measuring what templates can reach at all, not for building
// the ones glyph_guess ships: instead of the training renders, the templates learn from N
// renders of eval_glyphs' own grid of FONT-LIST (its x-heights and conditions, seeds 1 to N
// where eval_glyphs uses 2024). Given the held-out list, they are fitted to the very faces
// and spoilings they are then measured on, so what eval_glyphs reports with them shows
// what the scoring can express on that grid, not what templates learned elsewhere reach.
#include <array>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "glyph_model.h"
#include "glyph_set.h"

namespace {

struct Options {
  TemplateSize size{32, 32};
  int draws = 60;
  int epochs = 20;
  double l2 = 1e-4;
  int fitEvaluation = 0;  // > 0: learn from that many renders of the evaluation grid
  std::string checkList;
  std::string fontList;
  std::string outputDir;
};

// "W" for a square of W pixels or "WxH".
TemplateSize parsedSize(const char* text) {
  char* end = nullptr;
  const long width = std::strtol(text, &end, 10);
  const long height = *end == 'x' ? std::strtol(end + 1, &end, 10) : width;
  if (*end != '\0' || width > 1024 || height > 1024) return TemplateSize{};
  return TemplateSize{static_cast<int>(width), static_cast<int>(height)};
}

bool parse(int argc, char* argv[], Options& options) {
  std::array<std::string, 2> positional;
  std::size_t count = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--size" && hasValue)
      options.size = parsedSize(argv[++i]);
    else if (arg == "--draws" && hasValue)
      options.draws = std::atoi(argv[++i]);
    else if (arg == "--epochs" && hasValue)
      options.epochs = std::atoi(argv[++i]);
    else if (arg == "--l2" && hasValue)
      options.l2 = std::atof(argv[++i]);
    else if (arg == "--check" && hasValue)
      options.checkList = argv[++i];
    else if (arg == "--fit-evaluation" && hasValue)
      options.fitEvaluation = std::atoi(argv[++i]);
    else if (count < positional.size() && arg.rfind("--", 0) != 0)
      positional[count++] = arg;
    else
      return false;
  }
  options.fontList = positional[0];
  options.outputDir = positional[1];
  return count == 2 && options.size.width >= 2 && options.size.height >= 2 && options.draws >= 1 &&
         options.epochs >= 1 && options.fitEvaluation >= 0 &&
         static_cast<std::uint64_t>(options.fitEvaluation) < kEvaluationSeed;
}

// Accuracy of the templates on the evaluation grid of the check fonts, by condition,
// and the letters that fall below 97%.
void check(const Templates& templates, const std::string& checkList) {
  const auto fonts = openFonts(readFontList(checkList));
  std::array<int, kConditionCount> right{}, total{};
  std::array<int, kLetterCount> letterRight{}, letterTotal{};
  evaluationGlyphs(fonts, {12, 14, 16, 20, 24, 28, 36, 44, 56}, 7, [&](const GlyphSample& sample) {
    const auto reds = resampledReds(sample.image, templates.size);
    const auto c = static_cast<std::size_t>(sample.condition);
    const auto letter = static_cast<std::size_t>(sample.letter - 'a');
    const bool correct = verdict(templates, reds.data()) == sample.letter;
    right[c] += correct;
    ++total[c];
    letterRight[letter] += correct;
    ++letterTotal[letter];
  });
  for (int c = 0; c < kConditionCount; ++c)
    std::cout << "check " << conditionName(static_cast<Condition>(c)) << ": "
              << 100.0 * right[static_cast<std::size_t>(c)] / std::max(1, total[static_cast<std::size_t>(c)])
              << "% of " << total[static_cast<std::size_t>(c)] << std::endl;
  std::cout << "check letters below 97%:";
  for (std::size_t letter = 0; letter < letterTotal.size(); ++letter) {
    const double percent = 100.0 * letterRight[letter] / std::max(1, letterTotal[letter]);
    if (percent < 97.0) std::cout << " " << static_cast<char>('a' + letter) << " " << percent << "%";
  }
  std::cout << std::endl;
}

}  // namespace

int main(int argc, char* argv[]) {
  Options options;
  if (!parse(argc, argv, options)) {
    std::cout << "Usage: make_templates [--size W[xH]] [--draws N] [--epochs N] [--l2 DECAY] [--check "
                 "CHECK-LIST] [--fit-evaluation N] FONT-LIST OUTPUT-DIR"
              << std::endl;
    return 1;
  }
  const auto fonts = openFonts(readFontList(options.fontList));
  if (fonts.empty()) {
    std::cout << "No usable fonts in " << options.fontList << std::endl;
    return 1;
  }
  Dataset data;
  data.size = options.size;
  const GlyphSink learn = [&data](const GlyphSample& sample) { data.add(sample.image, sample.letter); };
  if (options.fitEvaluation > 0)
    for (int seed = 1; seed <= options.fitEvaluation; ++seed)
      evaluationGlyphs(fonts, kEvaluationXHeights, static_cast<std::uint64_t>(seed), learn);
  else
    trainingGlyphs(fonts, options.draws, 1, learn);
  std::cout << "Training on " << data.count() << " letters from " << fonts.size() << " fonts" << std::endl;

  TrainingOptions training;
  training.epochs = options.epochs;
  training.l2 = options.l2;
  const Templates templates = quantised(trainWeights(data, training), options.size);
  if (!options.checkList.empty()) check(templates, options.checkList);
  std::error_code error;
  std::filesystem::create_directories(options.outputDir, error);
  if (!writeTemplates(templates, options.outputDir)) {
    std::cout << "Could not write the templates into " << options.outputDir << std::endl;
    return 1;
  }
  return 0;
}
