#include "glyph_model.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "Pixelry/Pixelry.h"
#include "glyph_degrade.h"
#include "glyph_match.h"

std::vector<std::uint8_t> resampledReds(const GrayImage& glyph, TemplateSize size) {
  const glyph_match::Resampler resampler(glyph.width, glyph.height, size.width, size.height);
  const auto red = [&glyph](int column, int row) { return glyph.at(column, row); };
  std::vector<std::uint8_t> out;
  out.reserve(size.length());
  for (int k = 0; k < size.height; ++k)
    for (int l = 0; l < size.width; ++l) out.push_back(static_cast<std::uint8_t>(resampler.at(red, l, k)));
  return out;
}

void Dataset::add(const GrayImage& glyph, char letter) {
  const std::vector<std::uint8_t> sample = resampledReds(glyph, size);
  reds.insert(reds.end(), sample.begin(), sample.end());
  labels.push_back(static_cast<std::uint8_t>(letter - 'a'));
}

namespace {

// The resampled reds of one sample, centred and scaled to about -1..1.
void centred(const std::uint8_t* reds, std::size_t length, std::vector<float>& out) {
  const double mean = std::accumulate(reds, reds + length, 0.0) / static_cast<double>(length);
  for (std::size_t i = 0; i < length; ++i) out[i] = static_cast<float>((reds[i] - mean) / 255.0);
}

}  // namespace

std::vector<std::vector<float>> trainWeights(const Dataset& data, const TrainingOptions& options) {
  const std::size_t length = data.size.length();
  std::vector<std::vector<float>> weights(kLetterCount, std::vector<float>(length, 0.0f));
  std::vector<std::vector<float>> velocity = weights;
  std::vector<std::vector<float>> gradient = weights;
  std::vector<std::size_t> order(data.count());
  std::iota(order.begin(), order.end(), std::size_t{0});
  Random random(options.seed);
  std::vector<float> x(length);
  const std::size_t steps = (data.count() + options.batch - 1) / options.batch * options.epochs;
  std::size_t step = 0;

  for (int epoch = 0; epoch < options.epochs; ++epoch) {
    for (std::size_t i = order.size(); i > 1; --i)
      std::swap(order[i - 1], order[static_cast<std::size_t>(random.below(static_cast<int>(i)))]);
    for (std::size_t start = 0; start < order.size(); start += options.batch) {
      const std::size_t end = std::min(order.size(), start + options.batch);
      for (auto& row : gradient) std::fill(row.begin(), row.end(), 0.0f);
      for (std::size_t n = start; n < end; ++n) {
        const std::size_t sample = order[n];
        centred(&data.reds[sample * length], length, x);
        double logits[kLetterCount];
        double top = -1e300;
        for (int c = 0; c < kLetterCount; ++c) {
          logits[c] = std::inner_product(x.begin(), x.end(), weights[c].begin(), 0.0f);
          top = std::max(top, logits[c]);
        }
        double total = 0.0;
        for (double& logit : logits) total += logit = std::exp(logit - top);
        for (int c = 0; c < kLetterCount; ++c) {
          const float error = static_cast<float>(logits[c] / total - (c == data.labels[sample] ? 1.0 : 0.0));
          float* g = gradient[c].data();
          for (std::size_t i = 0; i < length; ++i) g[i] += error * x[i];
        }
      }
      // Cosine-decayed learning rate, momentum 0.9, weight decay.
      const double angle = 3.141592653589793 * static_cast<double>(step) / static_cast<double>(steps);
      const double rate = options.learningRate * 0.5 * (1.0 + std::cos(angle));
      const float scale = static_cast<float>(rate / static_cast<double>(end - start));
      for (int c = 0; c < kLetterCount; ++c)
        for (std::size_t i = 0; i < length; ++i) {
          float& v = velocity[c][i];
          v = 0.9f * v - scale * gradient[c][i] - static_cast<float>(rate * options.l2) * weights[c][i];
          weights[c][i] += v;
        }
      ++step;
    }
  }
  return weights;
}

Templates quantised(const std::vector<std::vector<float>>& weights, TemplateSize size) {
  Templates templates{size, {}};
  double widest = 0.0;
  std::vector<double> means;
  for (const auto& row : weights) {
    const double mean = std::accumulate(row.begin(), row.end(), 0.0) / static_cast<double>(row.size());
    means.push_back(mean);
    const auto [low, high] = std::minmax_element(row.begin(), row.end());
    widest = std::max(widest, static_cast<double>(*high - *low));
  }
  const double scale = widest > 0.0 ? 255.0 / widest : 0.0;
  for (const auto& letterWeights : weights) {
    const auto [low, high] = std::minmax_element(letterWeights.begin(), letterWeights.end());
    const double middle = (static_cast<double>(*low) + *high) / 2.0;
    std::vector<std::uint8_t> reds;
    reds.reserve(letterWeights.size());
    for (float w : letterWeights)
      reds.push_back(
          static_cast<std::uint8_t>(std::clamp(std::lround(127.5 + scale * (w - middle)), 0L, 255L)));
    templates.reds.push_back(reds);
  }
  return templates;
}

char verdict(const Templates& templates, const std::uint8_t* resampled) {
  const std::size_t length = templates.size.length();
  double best = 0.0;
  char letter = 'l';
  for (int c = 0; c < kLetterCount; ++c) {
    const std::vector<std::uint8_t>& t = templates.reds[static_cast<std::size_t>(c)];
    const double mean = std::accumulate(t.begin(), t.end(), 0.0) / static_cast<double>(length);
    double score = 0.0;
    for (std::size_t i = 0; i < length; ++i) score += resampled[i] * (t[i] - mean);
    if (score > best) {
      best = score;
      letter = static_cast<char>('a' + c);
    }
  }
  return letter;
}

bool writeTemplates(const Templates& templates, const std::string& directory) {
  bool ok = true;
  for (int c = 0; c < kLetterCount; ++c) {
    BMP image;
    image.SetSize(templates.size.width, templates.size.height);
    for (int k = 0; k < templates.size.height; ++k)
      for (int l = 0; l < templates.size.width; ++l) {
        const PixelryBYTE red =
            templates
                .reds[static_cast<std::size_t>(c)][static_cast<std::size_t>(k) * templates.size.width + l];
        *image(l, k) = RGBApixel{red, red, red, 0};
      }
    const std::string path = directory + "/" + static_cast<char>('a' + c) + ".bmp";
    ok = image.WriteToFile(path.c_str()) && ok;
  }
  return ok;
}
