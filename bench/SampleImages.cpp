#include "SampleImages.h"

#include <algorithm>
#include <cstdio>

namespace bench {
namespace {

std::uint8_t clampByte(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

// A triangle wave of period 2 x half, between 0 and half.
int triangle(int v, int half) {
  const int m = v % (2 * half);
  return m < half ? m : 2 * half - m;
}

void put16(std::vector<std::uint8_t>& out, unsigned v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

// Palette index of a colour at 1, 4 and 8 bits, and the colour each index stands for.
unsigned indexOf(const Colour& c, int bits) {
  switch (bits) {
    case 1:
      return (c.red + c.green + c.blue) / 3 > 127 ? 1 : 0;
    case 4:
      return (c.red >> 6) << 2 | (c.green >> 6);
    default:
      return (c.red >> 5) << 5 | (c.green >> 5) << 2 | (c.blue >> 6);
  }
}

Colour entryOf(unsigned i, int bits) {
  switch (bits) {
    case 1:
      return i ? Colour{255, 255, 255, 0} : Colour{0, 0, 0, 0};
    case 4:
      return Colour{clampByte(static_cast<int>(i >> 2) * 64 + 32),
                    clampByte(static_cast<int>(i & 3) * 64 + 32), 128, 0};
    default:
      return Colour{clampByte(static_cast<int>(i >> 5) * 32 + 16),
                    clampByte(static_cast<int>((i >> 2) & 7) * 32 + 16),
                    clampByte(static_cast<int>(i & 3) * 64 + 32), 0};
  }
}

// Packs one row of the picture into out at the given depth, padding excluded.
void packRow(std::vector<std::uint8_t>& out, int y, int width, int height, int bits) {
  unsigned packed = 0;
  int filled = 0;
  for (int x = 0; x < width; ++x) {
    const Colour c = sampleColour(x, y, width, height);
    switch (bits) {
      case 32:
        out.insert(out.end(), {c.blue, c.green, c.red, c.alpha});
        break;
      case 24:
        out.insert(out.end(), {c.blue, c.green, c.red});
        break;
      case 16:
        put16(out, (c.red >> 3) << 11 | (c.green >> 2) << 5 | (c.blue >> 3));
        break;
      default:
        packed = packed << bits | indexOf(c, bits);
        filled += bits;
        if (filled == 8) {
          out.push_back(static_cast<std::uint8_t>(packed));
          packed = 0;
          filled = 0;
        }
    }
  }
  if (filled > 0) out.push_back(static_cast<std::uint8_t>(packed << (8 - filled)));
}

std::uint32_t get32(const std::vector<std::uint8_t>& in, std::size_t at) {
  return static_cast<std::uint32_t>(in[at]) | static_cast<std::uint32_t>(in[at + 1]) << 8 |
         static_cast<std::uint32_t>(in[at + 2]) << 16 | static_cast<std::uint32_t>(in[at + 3]) << 24;
}

}  // namespace

std::uint32_t mix(std::uint32_t v) {
  v ^= v >> 16;
  v *= 0x7feb352dU;
  v ^= v >> 15;
  v *= 0x846ca68bU;
  v ^= v >> 16;
  return v;
}

Colour sampleColour(int x, int y, int width, int height) {
  const std::uint32_t noise = mix(static_cast<std::uint32_t>(y) * 65537U + static_cast<std::uint32_t>(x));
  const auto jitter = [noise](int shift) { return static_cast<int>((noise >> shift) & 31) - 16; };
  const int red = 30 + 190 * x / width + triangle(x + y, 97) / 4;
  const int green = 20 + 200 * y / height + triangle(2 * x, 151) / 5;
  const int blue = 230 - (red + green) / 3 + triangle(x + 3 * y, 61) / 2;
  return Colour{clampByte(red + jitter(0)), clampByte(green + jitter(5)), clampByte(blue + jitter(10)),
                clampByte(255 - 255 * y / height)};
}

std::vector<std::uint8_t> fileHeaders(int width, int height, int bits, std::uint32_t compression,
                                      std::uint32_t tableBytes, std::uint32_t imageBytes) {
  const std::uint32_t offBits = 54 + tableBytes;
  std::vector<std::uint8_t> out;
  out.reserve(offBits);
  put16(out, 0x4D42);
  put32(out, offBits + imageBytes);
  put32(out, 0);
  put32(out, offBits);
  put32(out, 40);
  put32(out, static_cast<std::uint32_t>(width));
  put32(out, static_cast<std::uint32_t>(height));
  put16(out, 1);
  put16(out, static_cast<unsigned>(bits));
  put32(out, compression);
  put32(out, imageBytes);
  put32(out, 2835);
  put32(out, 2835);
  put32(out, 0);
  put32(out, 0);
  return out;
}

std::vector<std::uint8_t> sampleHeaders(int width, int height, int bits, std::uint32_t runLengthBytes) {
  const bool indexed = bits <= 8;
  const std::uint32_t tableBytes = indexed ? 4U << bits : bits == 16 ? 12 : 0;
  const std::uint32_t rowBytes = (static_cast<std::uint32_t>(width) * bits + 31) / 32 * 4;
  const bool runLength = runLengthBytes > 0;
  std::vector<std::uint8_t> out =
      fileHeaders(width, height, bits,
                  runLength    ? 1
                  : bits == 16 ? 3
                               : 0,
                  tableBytes, runLength ? runLengthBytes : rowBytes * static_cast<std::uint32_t>(height));
  if (indexed) {
    for (unsigned i = 0; i < (1U << bits); ++i) {
      const Colour c = entryOf(i, bits);
      out.insert(out.end(), {c.blue, c.green, c.red, 0});
    }
  } else if (bits == 16) {
    put32(out, 0xF800);
    put32(out, 0x07E0);
    put32(out, 0x001F);
  }
  return out;
}

std::vector<std::uint8_t> sampleRow(int y, int width, int height, int bits) {
  std::vector<std::uint8_t> out;
  packRow(out, y, width, height, bits);
  out.resize((static_cast<std::size_t>(width) * static_cast<std::size_t>(bits) + 31) / 32 * 4, 0);
  return out;
}

std::vector<std::uint8_t> sampleFile(int width, int height, int bits) {
  std::vector<std::uint8_t> out = sampleHeaders(width, height, bits);
  const std::size_t rowBytes =
      (static_cast<std::size_t>(width) * static_cast<std::size_t>(bits) + 31) / 32 * 4;
  out.reserve(out.size() + rowBytes * static_cast<std::size_t>(height));
  for (int y = height - 1; y >= 0; --y) {
    const std::size_t start = out.size();
    packRow(out, y, width, height, bits);
    out.resize(start + rowBytes, 0);
  }
  return out;
}

unsigned fileIndex(int x, int y, int width, int height, int bits) {
  return indexOf(sampleColour(x, y, width, height), bits);
}

Colour fileColour(int x, int y, int width, int height, int bits) {
  const Colour c = sampleColour(x, y, width, height);
  if (bits <= 8) return entryOf(indexOf(c, bits), bits);
  if (bits == 16) {
    // A channel of n bits v reads round(v x 255 / (2^n - 1)).
    const auto widen = [](unsigned v, unsigned top) {
      return static_cast<std::uint8_t>((v * 510 + top) / (2 * top));
    };
    return Colour{widen(c.red >> 3U, 31), widen(c.green >> 2U, 63), widen(c.blue >> 3U, 31), 0};
  }
  return c;
}

std::vector<std::uint8_t> samplePixels(int width, int height, int channels) {
  std::vector<std::uint8_t> out;
  out.reserve(static_cast<std::size_t>(width) * height * channels);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const Colour c = sampleColour(x, y, width, height);
      out.insert(out.end(), {c.red, c.green, c.blue});
      if (channels == 4) out.push_back(c.alpha);
    }
  return out;
}

std::vector<Colour> samplePalette(int width, int height) {
  std::vector<Colour> palette;
  for (std::uint32_t i = 0; i < 256; ++i) {
    const std::uint32_t at = mix(i + 12345U);
    palette.push_back(sampleColour(static_cast<int>(at % static_cast<std::uint32_t>(width)),
                                   static_cast<int>((at >> 16) % static_cast<std::uint32_t>(height)), width,
                                   height));
  }
  return palette;
}

std::vector<std::uint8_t> topDownCopy(const std::vector<std::uint8_t>& bottomUp) {
  const std::uint32_t offBits = get32(bottomUp, 10);
  const std::uint32_t width = get32(bottomUp, 18);
  const std::uint32_t height = get32(bottomUp, 22);
  const std::uint32_t bits = bottomUp[28] | static_cast<std::uint32_t>(bottomUp[29]) << 8;
  const std::size_t rowBytes = (std::size_t{width} * bits + 31) / 32 * 4;
  std::vector<std::uint8_t> out(bottomUp.begin(), bottomUp.begin() + offBits);
  const std::uint32_t negative = ~height + 1;  // two's complement, as the file stores it
  for (int i = 0; i < 4; ++i)
    out[22 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(negative >> (8 * i));
  out.reserve(bottomUp.size());
  for (std::size_t row = height; row-- > 0;) {
    const auto start = bottomUp.begin() + static_cast<std::ptrdiff_t>(offBits + row * rowBytes);
    out.insert(out.end(), start, start + static_cast<std::ptrdiff_t>(rowBytes));
  }
  return out;
}

bool saveFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace bench
