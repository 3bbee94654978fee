// The sets of rendered letters that templates are built from and evaluated on.
#ifndef GLYPH_SET_H
#define GLYPH_SET_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "glyph_degrade.h"
#include "glyph_raster.h"

// The ways an evaluation glyph is spoiled.
enum class Condition { Clean, Blurred, Noisy, Binarised };
constexpr int kConditionCount = 4;
const char* conditionName(Condition condition);

// Everything that decides how one letter image is made from a font.
struct GlyphRecipe {
  RenderStyle style;
  double hookRadius = 0.0;       // > 0: the stem's foot bent into a hook to the right
  double hookTail = 0.0;         // straight run after the hook's bend
  double blurSigma = 0.0;        // 0: no blur
  bool blurAfterCrop = false;    // blur the cropped letter instead of the rendered page
  int binariseAt = 0;            // 0: keep the grey levels
  int cropThreshold = 255;       // pixels darker than this count as ink
  int jitter[4] = {0, 0, 0, 0};  // added to the ink box's left, top, right, bottom
  double noiseSigma = 0.0;       // added after cropping
};

// One letter, dark on light, cropped to its ink box.
GrayImage makeGlyph(const FontFace& font, char letter, const GlyphRecipe& recipe, Random& random);

struct GlyphSample {
  char letter = 'a';
  int font = 0;  // index into the font list
  int xHeight = 0;
  Condition condition = Condition::Clean;
  GrayImage image;
};
using GlyphSink = std::function<void(const GlyphSample&)>;

// Font files listed one per line; blank lines and lines starting with '#' are skipped.
std::vector<std::string> readFontList(const std::string& listPath);
// Opens every font; prints a line and returns an empty list when one cannot be used.
std::vector<std::unique_ptr<FontFace>> openFonts(const std::vector<std::string>& paths);

// Random draws for building templates: for every font and letter, `draws` images at
// x-heights from about 10 to 60 pixels, clean or degraded in many ways.
void trainingGlyphs(const std::vector<std::unique_ptr<FontFace>>& fonts, int draws, std::uint64_t seed,
                    const GlyphSink& sink);

// The seed eval_glyphs draws its sub-pixel offsets and spoilings from, unless told otherwise.
constexpr std::uint64_t kEvaluationSeed = 2024;
// The x-heights in pixels that eval_glyphs measures.
inline const std::vector<int> kEvaluationXHeights = {12, 14, 16, 18, 20, 24, 28, 32, 40, 48, 56};

// The evaluation grid: every font x x-height x letter x condition, one image each.
void evaluationGlyphs(const std::vector<std::unique_ptr<FontFace>>& fonts, const std::vector<int>& xHeights,
                      std::uint64_t seed, const GlyphSink& sink);

#endif
