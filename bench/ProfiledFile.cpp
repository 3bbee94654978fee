#include "ProfiledFile.h"

#include <cstdio>

#include "Pixelry/Pixelry.h"

namespace bench {

std::vector<std::uint8_t> withColourProfile(const std::vector<std::uint8_t>& file24) {
  std::vector<std::uint8_t> out;
  pixelry::WriteOptions options;
  std::FILE* file = std::fopen(PIXELRY_BENCH_PROFILE, "rb");
  if (!file) return out;
  unsigned char chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
    options.profile.insert(options.profile.end(), chunk, chunk + got);
  std::fclose(file);
  pixelry::ReadOptions asStored;
  asStored.colour = pixelry::Colour::asStored;
  pixelry::Pixels pixels;
  if (pixelry::load(file24.data(), file24.size(), pixelry::PixelFormat::rgb8, pixels, asStored))
    pixelry::encode(pixels.bytes.data(), pixels.width, pixels.height, pixels.stride, pixels.format, 24, out,
                    options);
  return out;
}

}  // namespace bench
