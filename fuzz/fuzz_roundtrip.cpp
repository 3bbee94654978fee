// Read, write at every depth, read back: every image the reader leaves behind can be
// written, the file announces its own size, reading it back prints nothing, and the pixels
// come back as the depth stores them: exact at 32 bits, colour exact with Alpha 0 at 24,
// the top five bits of each channel at 16, the nearest colour-table entry at 1, 4 and 8.
// At 4 and 8 bits the image is also written coded by runs, and reads back as the
// uncompressed file does through the same reader.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>

#include <vector>

#include "FuzzSupport.h"

using fuzz_support::require;
using fuzz_support::samePixel;

namespace {

// The round trip searches the palette for every pixel at six depths; a 32 x 32 grid
// keeps each run short.
constexpr std::int64_t kMaxRoundTripPixels = std::int64_t{1} << 10;

// A file written to memory.
struct Written {
  char* bytes = nullptr;
  std::size_t size = 0;
  ~Written() { std::free(bytes); }
};

int distance(const RGBApixel& a, const RGBApixel& b) {
  const int red = a.Red - b.Red, green = a.Green - b.Green, blue = a.Blue - b.Blue;
  return red * red + green * green + blue * blue;
}

// The colour table of an image at 1, 4 or 8 bits (none above), copied once per depth: the
// search below runs for every pixel.
struct Table {
  explicit Table(BMP& image) : count(image.TellBitDepth() <= 8 ? image.TellNumberOfColors() : 0) {
    for (int i = 0; i < count; ++i) entries[i] = image.GetColor(i);
  }
  int count;
  RGBApixel entries[256] = {};
};

// The table entry nearest in red, green and blue; the lowest index among equals.
RGBApixel nearestEntry(const Table& table, const RGBApixel& pixel) {
  RGBApixel best = table.entries[0];
  int bestDistance = distance(best, pixel);
  for (int i = 1; i < table.count; ++i) {
    const int d = distance(table.entries[i], pixel);
    if (d < bestDistance) {
      best = table.entries[i];
      bestDistance = d;
    }
  }
  return best;
}

RGBApixel stored(int bits, const Table& table, const RGBApixel& p) {
  switch (bits) {
    case 32:
      return p;
    case 24:
      return RGBApixel{p.Blue, p.Green, p.Red, 0};
    case 16:
      return RGBApixel{static_cast<PixelryBYTE>(p.Blue & 0xF8), static_cast<PixelryBYTE>(p.Green & 0xF8),
                       static_cast<PixelryBYTE>(p.Red & 0xF8), 0};
    default:
      return nearestEntry(table, p);
  }
}

void roundTrip(const BMP& source, int bits) {
  BMP image(source);
  // An image already at this depth keeps the colour table it was read with.
  if (image.TellBitDepth() != bits) require(image.SetBitDepth(bits), "every depth can be set");

  Written file;
  std::FILE* out = open_memstream(&file.bytes, &file.size);
  require(out != nullptr, "memory stream opens");
  require(pixelry::detail::writeToStream(image, out), "every image can be written");
  std::fclose(out);
  require(file.size >= 54, "headers written");
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(file.bytes);
  require(fuzz_support::le32(bytes, file.size, 2) == file.size, "bfSize is the file's size");

  fuzz_support::MemoryFile in(bytes, file.size);
  BMP back;
  std::ostringstream messages;
  std::streambuf* previous = std::cout.rdbuf(messages.rdbuf());
  const bool loaded = pixelry::detail::readFromStream(back, in.get(), "roundtrip.bmp");
  std::cout.rdbuf(previous);
  require(loaded, "a written file reads back");
  require(messages.str().empty(), "a written file reads back without a message");
  require(back.TellWidth() == image.TellWidth() && back.TellHeight() == image.TellHeight(), "same size");
  require(back.TellBitDepth() == bits, "same depth");
  const Table table(image);
  for (int i = 0; i < table.count; ++i)
    require(samePixel(back.GetColor(i), table.entries[i]), "same colour table");
  for (int y = 0; y < image.TellHeight(); ++y)
    for (int x = 0; x < image.TellWidth(); ++x)
      require(samePixel(back.GetPixel(x, y), stored(bits, table, image.GetPixel(x, y))),
              "pixel stored by the depth's rule");
  if (bits != 4 && bits != 8) return;

  pixelry::WriteOptions options;
  options.runLength = true;
  std::vector<std::uint8_t> coded;
  require(static_cast<bool>(pixelry::writeMemory(image, coded, options)), "every image can be coded by runs");
  require(fuzz_support::le32(coded.data(), coded.size(), 2) == coded.size(),
          "bfSize is the coded file's size");
  BMP plainBack, codedBack;
  require(static_cast<bool>(pixelry::readMemory(plainBack, bytes, file.size)), "the file reads back");
  const pixelry::Result read = pixelry::readMemory(codedBack, coded.data(), coded.size());
  require(read && read.warnings.empty(), "a coded file reads back without a warning");
  for (int y = 0; y < image.TellHeight(); ++y)
    for (int x = 0; x < image.TellWidth(); ++x)
      require(samePixel(codedBack.GetPixel(x, y), plainBack.GetPixel(x, y)),
              "coded pixels as uncompressed ones");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_support::silenceOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (fuzz_support::claimedPixels(data, size) > kMaxRoundTripPixels) return 0;
  fuzz_support::MemoryFile file(data, size);
  BMP source;
  pixelry::detail::readFromStream(source, file.get(), "fuzz.bmp");
  for (int bits : {1, 4, 8, 16, 24, 32}) roundTrip(source, bits);
  return 0;
}
