#include "glyph_set.h"

#include <cmath>
#include <fstream>
#include <iostream>

#include "glyph_hook.h"

const char* conditionName(Condition condition) {
  static const char* const names[kConditionCount] = {"clean", "blurred", "noisy", "binarised"};
  return names[static_cast<int>(condition)];
}

GrayImage makeGlyph(const FontFace& font, char letter, const GlyphRecipe& recipe, Random& random) {
  const int margin = 3 + static_cast<int>(std::ceil(3.0 * recipe.blurSigma));
  GrayImage page = font.render(letter, recipe.style, margin);
  if (page.width == 0) return page;
  if (recipe.hookRadius > 0.0) page = hooked(page, recipe.hookRadius, recipe.hookTail);
  const bool blurPage = recipe.blurSigma > 0.0 && !recipe.blurAfterCrop;
  if (blurPage) page = blurred(page, recipe.blurSigma);
  if (recipe.binariseAt > 0) page = binarised(page, recipe.binariseAt);
  Box box = inkBox(page, recipe.cropThreshold);
  box.left += recipe.jitter[0];
  box.top += recipe.jitter[1];
  box.right += recipe.jitter[2];
  box.bottom += recipe.jitter[3];
  GrayImage glyph = cropped(page, box);
  if (recipe.blurSigma > 0.0 && recipe.blurAfterCrop) glyph = blurred(glyph, recipe.blurSigma);
  if (recipe.noiseSigma > 0.0) glyph = noisy(glyph, recipe.noiseSigma, random);
  return glyph;
}

std::vector<std::string> readFontList(const std::string& listPath) {
  std::vector<std::string> paths;
  std::ifstream list(listPath);
  std::string line;
  while (std::getline(list, line))
    if (!line.empty() && line[0] != '#') paths.push_back(line);
  return paths;
}

std::vector<std::unique_ptr<FontFace>> openFonts(const std::vector<std::string>& paths) {
  std::vector<std::unique_ptr<FontFace>> fonts;
  for (const std::string& path : paths) {
    fonts.push_back(std::make_unique<FontFace>(path));
    if (!fonts.back()->ok()) {
      std::cout << "Cannot use font " << path << std::endl;
      return {};
    }
  }
  return fonts;
}

namespace {

void randomPlacement(RenderStyle& style, Random& random) {
  style.shiftX = random.uniform();
  style.shiftY = random.uniform();
  style.hinted = random.below(2) == 1;
}

GlyphRecipe trainingRecipe(char letter, Random& random) {
  GlyphRecipe recipe;
  recipe.style.xHeight = 10.0 * std::exp(random.uniform() * std::log(6.0));
  randomPlacement(recipe.style, random);
  // Shapes no training face has: slanted, narrower or wider, bolder or lighter.
  if (random.below(4) == 0) recipe.style.slant = random.uniform(-0.1, 0.3);
  if (random.below(3) == 0) recipe.style.widthScale = random.uniform(0.8, 1.2);
  if (random.below(4) == 0) recipe.style.embolden = recipe.style.xHeight * random.uniform(-0.03, 0.06);
  // Many sans faces end the stem of 'l' in a hook; few training faces do.
  if (letter == 'l' && random.below(3) == 0) {
    recipe.hookRadius = recipe.style.xHeight * random.uniform(0.12, 0.3);
    recipe.hookTail = recipe.style.xHeight * random.uniform(0.0, 0.15);
  }
  const double kind = random.uniform();
  if (kind >= 0.35 && kind < 0.6) {
    recipe.blurSigma = random.uniform(0.4, 1.6);
    recipe.blurAfterCrop = random.below(2) == 1;
    recipe.cropThreshold = 150 + random.below(106);
    if (random.below(3) == 0) recipe.noiseSigma = random.uniform(5.0, 30.0);
  } else if (kind >= 0.6 && kind < 0.8) {
    recipe.noiseSigma = random.uniform(8.0, 45.0);
  } else if (kind >= 0.8) {
    recipe.binariseAt = 90 + random.below(81);
    if (random.below(2) == 0) recipe.blurSigma = random.uniform(0.3, 1.2);
  }
  if (random.below(6) == 0)
    for (int& edge : recipe.jitter) edge = random.below(3) - 1;
  return recipe;
}

GlyphRecipe evaluationRecipe(double xHeight, Condition condition, Random& random) {
  GlyphRecipe recipe;
  recipe.style.xHeight = xHeight;
  randomPlacement(recipe.style, random);
  switch (condition) {
    case Condition::Clean:
      break;
    case Condition::Blurred:
      recipe.blurSigma = random.uniform(0.6, 1.2);
      recipe.cropThreshold = 200;
      break;
    case Condition::Noisy:
      recipe.noiseSigma = random.uniform(15.0, 35.0);
      break;
    case Condition::Binarised:
      recipe.binariseAt = 128;
      break;
  }
  return recipe;
}

}  // namespace

void trainingGlyphs(const std::vector<std::unique_ptr<FontFace>>& fonts, int draws, std::uint64_t seed,
                    const GlyphSink& sink) {
  Random random(seed);
  for (std::size_t font = 0; font < fonts.size(); ++font)
    for (char letter = 'a'; letter <= 'z'; ++letter)
      for (int draw = 0; draw < draws; ++draw) {
        const GlyphRecipe recipe = trainingRecipe(letter, random);
        GlyphSample sample{letter, static_cast<int>(font), static_cast<int>(recipe.style.xHeight),
                           Condition::Clean, makeGlyph(*fonts[font], letter, recipe, random)};
        if (sample.image.width > 0) sink(sample);
      }
}

void evaluationGlyphs(const std::vector<std::unique_ptr<FontFace>>& fonts, const std::vector<int>& xHeights,
                      std::uint64_t seed, const GlyphSink& sink) {
  Random random(seed);
  for (std::size_t font = 0; font < fonts.size(); ++font)
    for (int xHeight : xHeights)
      for (char letter = 'a'; letter <= 'z'; ++letter)
        for (int c = 0; c < kConditionCount; ++c) {
          const Condition condition = static_cast<Condition>(c);
          const GlyphRecipe recipe = evaluationRecipe(xHeight, condition, random);
          GlyphSample sample{letter, static_cast<int>(font), xHeight, condition,
                             makeGlyph(*fonts[font], letter, recipe, random)};
          if (sample.image.width > 0) sink(sample);
        }
}
