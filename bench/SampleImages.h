// Deterministic pictures for the benchmark: smooth gradients with a little noise, as a
// photograph has, and the BMP files that hold them at every depth.
#ifndef PIXELRY_BENCH_SAMPLEIMAGES_H
#define PIXELRY_BENCH_SAMPLEIMAGES_H

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct Colour {
  std::uint8_t red, green, blue, alpha;
};

// The colour of pixel (x, y), row 0 at the top, of a width x height picture.
Colour sampleColour(int x, int y, int width, int height);

// The picture as a BMP file at bits per pixel (1, 4, 8: a full table of 2^bits entries;
// 16: 5-6-5 bit fields; 24; 32 with a varying alpha), bottom row first.
std::vector<std::uint8_t> sampleFile(int width, int height, int bits);

// The picture top row first, channels 3 (RGB) or 4 (RGBA) bytes per pixel, as stb takes it.
std::vector<std::uint8_t> samplePixels(int width, int height, int channels);

// 256 colours of the picture taken at scattered places: the table a colour quantiser
// would give it.
std::vector<Colour> samplePalette(int width, int height);

// The same file stored top row first: the height negated and the rows in reverse order,
// every other byte as it was. bottomUp is a file sampleFile makes.
std::vector<std::uint8_t> topDownCopy(const std::vector<std::uint8_t>& bottomUp);

// The 14-byte file header and the 40-byte info header of a bottom-up file whose headers
// are followed by tableBytes bytes (colour table or masks), then imageBytes bytes of pixel
// data compressed as compression says (0 none, 1 RLE8, 2 RLE4, 3 bit fields).
std::vector<std::uint8_t> fileHeaders(int width, int height, int bits, std::uint32_t compression,
                                      std::uint32_t tableBytes, std::uint32_t imageBytes);

// A small integer hash: the same noise on every run and every machine.
std::uint32_t mix(std::uint32_t v);

// Writes bytes to path; false when the file could not be written whole.
bool saveFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace bench

#endif
