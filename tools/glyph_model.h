// Templates as a linear classifier: training on resampled letters, quantising to the
// 26 template images, and scoring as glyph_guess does.
//
// glyph_guess scores an input against a template by the mean over template pixels of
// (v - input mean) * (t - template mean), where v is the input's red resampled to the
// template's size. The centred template reds sum to zero, so the score is the dot
// product of v with the centred template: each template is the weight vector of a
// linear scorer without bias, and the verdict is the arg-max. Training therefore works
// on the centred resampled reds, and one common scale maps all 26 weight vectors into
// 0..255.
#ifndef GLYPH_MODEL_H
#define GLYPH_MODEL_H

#include <cstdint>
#include <string>
#include <vector>

#include "glyph_raster.h"

constexpr int kLetterCount = 26;

// The pixel size every template shares.
struct TemplateSize {
  int width = 0;
  int height = 0;
  std::size_t length() const { return static_cast<std::size_t>(width) * static_cast<std::size_t>(height); }
};

// The input's red resampled to the template size, row by row, exactly as glyph_guess
// resamples it.
std::vector<std::uint8_t> resampledReds(const GrayImage& glyph, TemplateSize size);

// Resampled letters with their labels (0 for 'a' ... 25 for 'z').
struct Dataset {
  TemplateSize size;
  std::vector<std::uint8_t> reds;
  std::vector<std::uint8_t> labels;

  std::size_t count() const { return labels.size(); }
  void add(const GrayImage& glyph, char letter);
};

struct TrainingOptions {
  int epochs = 15;
  int batch = 64;
  double learningRate = 0.5;
  double l2 = 1e-4;
  std::uint64_t seed = 1;
};

// Multinomial logistic regression on the centred resampled reds: 26 rows of weights.
std::vector<std::vector<float>> trainWeights(const Dataset& data, const TrainingOptions& options);

// The 26 templates, each width x height reds, row by row.
struct Templates {
  TemplateSize size;
  std::vector<std::vector<std::uint8_t>> reds;
};

// Centres every row of weights and maps all of them into 0..255 with one common scale,
// rounding to the nearest integer.
Templates quantised(const std::vector<std::vector<float>>& weights, TemplateSize size);

// The letter glyph_guess names for an input whose resampled reds are given: the best
// score if above zero (the first letter on ties), else 'l'.
char verdict(const Templates& templates, const std::uint8_t* resampled);

// Writes a.bmp ... z.bmp into the directory as 24-bit grey images; false on any failure.
bool writeTemplates(const Templates& templates, const std::string& directory);

#endif
