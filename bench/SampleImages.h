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

// The bytes of that file before its rows: the headers, then the colour table (1, 4, 8
// bits) or the masks (16 bits). With runLengthBytes > 0, at 8 bits only: the headers of
// an RLE8 file whose pixel data is that many bytes.
std::vector<std::uint8_t> sampleHeaders(int width, int height, int bits, std::uint32_t runLengthBytes = 0);

// Row y of the picture (0 is the top) as that file stores it, padding included. At 8 bits
// the bytes are the colour-table indices.
std::vector<std::uint8_t> sampleRow(int y, int width, int height, int bits);

// The colour that file holds for pixel (x, y): its table entry at 1, 4 and 8 bits, the
// 5-6-5 channels widened to 8 bits at 16 (round(v x 255 / (2^n - 1))), the picture's own
// colour at 24 and 32. Alpha is meaningful at 32 bits only.
Colour fileColour(int x, int y, int width, int height, int bits);
// The colour-table index of pixel (x, y) in that file at 1, 4 or 8 bits.
unsigned fileIndex(int x, int y, int width, int height, int bits);

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
