// Internal: what the reader, the writer and the harnesses do to an image beyond its
// public members, and the pixel grids they build.
#ifndef PIXELRY_DETAIL_IMAGEACCESS_H
#define PIXELRY_DETAIL_IMAGEACCESS_H

#include <cstddef>
#include <memory>
#include <utility>

#include "../Pixelry_Image.h"

namespace pixelry::detail {

// A grid of width x height pixels whose values are not set yet; null when it cannot be
// allocated. Large grids are advised into huge pages where the system has them.
std::unique_ptr<RGBApixel[]> allocateGrid(int width, int height);
// Asks the system to back the memory with huge pages where it has them (Linux), so that
// first touching it costs a fraction of the page faults.
void adviseHugePages(void* memory, std::size_t bytes);
// Sets count pixels to white (255, 255, 255, Alpha 0).
void fillWhite(RGBApixel* pixels, std::size_t count);
// Fills the 2^depth entries of table with the standard colour table of depth (1, 4 or 8).
void fillStandardTable(RGBApixel* table, int depth);

class ImageAccess {
 public:
  // The pixels, row-major with row 0 (the top) first.
  static const RGBApixel* pixels(const BMP& image) { return image.Pixels.get(); }
  static RGBApixel* pixels(BMP& image) { return image.Pixels.get(); }
  // The colour table: 2^bits entries at 1, 4 and 8 bits.
  static const RGBApixel* table(const BMP& image) { return image.ColorTable.data(); }
  // Gives the image a decoded picture: depth, size, grid and, at 1, 4 and 8 bits, the
  // 2^bits entries of its colour table.
  static void adopt(BMP& image, int bits, int width, int height, std::unique_ptr<RGBApixel[]> grid,
                    const RGBApixel* table);
  // XPelsPerMeter and YPelsPerMeter, 0 when not set.
  static std::pair<int, int> resolution(const BMP& image) {
    return {image.XPelsPerMeter, image.YPelsPerMeter};
  }
  static void setResolution(BMP& image, int xPelsPerMeter, int yPelsPerMeter) {
    image.XPelsPerMeter = xPelsPerMeter;
    image.YPelsPerMeter = yPelsPerMeter;
  }
  // Back to one white pixel at 1 bit, as after a refused file.
  static void reset(BMP& image);
};

}  // namespace pixelry::detail

#endif
