#include "Pixelry_Image.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "Pixelry_Integers.h"
#include "detail/ImageAccess.h"
#include "detail/Layout.h"
#include "detail/Report.h"

using pixelry::detail::isIndexedDepth;
using pixelry::detail::isSupportedDepth;
using pixelry::detail::warn;
using pixelry::detail::warnNoTable;

namespace {

constexpr RGBApixel kWhite{255, 255, 255, 0};
constexpr double kInchesPerMetre = 39.37007874015748;

RGBApixel rgb(int red, int green, int blue) {
  return RGBApixel{static_cast<PixelryBYTE>(blue), static_cast<PixelryBYTE>(green),
                   static_cast<PixelryBYTE>(red), 0};
}

// Entries 0 to 15 of the 16-colour table: bits 0, 1 and 2 of the index switch on red,
// green and blue, at 128 for the first eight entries and 255 for the last eight; entry 8
// is the light grey.
RGBApixel standard16(int n) {
  if (n == 8) return rgb(192, 192, 192);
  const int level = n < 8 ? 128 : 255;
  return rgb(level * (n & 1), level * ((n >> 1) & 1), level * ((n >> 2) & 1));
}

// The 256-colour table: a 3-3-2 colour cube whose first eight entries are the dark
// colours of the 16-colour table, with the usual system colours placed at both ends.
RGBApixel standard256(int n) {
  struct Fixed {
    int index, red, green, blue;
  };
  static constexpr Fixed kFixed[] = {{7, 192, 192, 192},   {8, 192, 220, 192},   {9, 166, 202, 240},
                                     {246, 255, 251, 240}, {247, 160, 160, 164}, {248, 128, 128, 128},
                                     {249, 255, 0, 0},     {250, 0, 255, 0},     {251, 255, 255, 0},
                                     {252, 0, 0, 255},     {253, 255, 0, 255},   {254, 0, 255, 255},
                                     {255, 255, 255, 255}};
  for (const Fixed& f : kFixed)
    if (f.index == n) return rgb(f.red, f.green, f.blue);
  if (n < 8) return standard16(n);
  return rgb(32 * (n % 8), 32 * ((n / 8) % 8), 64 * (n / 64));
}

}  // namespace

namespace pixelry::detail {

// Page faults dominate the first touch of a large grid; on Linux, huge pages make them
// 512 times fewer. Only the whole 2 MiB pages inside the allocation are advised.
void adviseHugePages(void* memory, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr std::size_t kHugePage = std::size_t{1} << 21;
  const std::size_t skip = (kHugePage - reinterpret_cast<std::uintptr_t>(memory) % kHugePage) % kHugePage;
  if (bytes >= skip + kHugePage)
    madvise(static_cast<char*>(memory) + skip, (bytes - skip) / kHugePage * kHugePage, MADV_HUGEPAGE);
#else
  (void)memory;
  (void)bytes;
#endif
}

void fillStandardTable(RGBApixel* table, int depth) {
  const int count = IntPow(2, depth);
  for (int n = 0; n < count; ++n) {
    switch (depth) {
      case 1:
        table[n] = n == 0 ? rgb(0, 0, 0) : rgb(255, 255, 255);
        break;
      case 4:
        table[n] = standard16(n);
        break;
      default:
        table[n] = standard256(n);
        break;
    }
  }
}

void fillWhite(RGBApixel* pixels, std::size_t count) {
  // Sixteen bytes at a time, which compiles to wide stores.
  const RGBApixel block[4] = {kWhite, kWhite, kWhite, kWhite};
  std::size_t i = 0;
  for (; i + 4 <= count; i += 4) std::memcpy(pixels + i, block, sizeof block);
  for (; i < count; ++i) pixels[i] = kWhite;
}

std::unique_ptr<RGBApixel[]> allocateGrid(int width, int height) {
  const std::uint64_t count = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
  std::unique_ptr<RGBApixel[]> grid;
  if (count <= PTRDIFF_MAX / sizeof(RGBApixel))
    grid.reset(new (std::nothrow) RGBApixel[static_cast<std::size_t>(count)]);
  if (grid) adviseHugePages(grid.get(), static_cast<std::size_t>(count) * sizeof(RGBApixel));
  return grid;
}

void ImageAccess::adopt(BMP& image, int bits, int width, int height, std::unique_ptr<RGBApixel[]> grid,
                        const RGBApixel* table) {
  image.BitDepth = bits;
  image.Width = width;
  image.Height = height;
  image.Pixels = std::move(grid);
  if (image.HasColorTable()) std::copy_n(table, image.TellNumberOfColors(), image.ColorTable.data());
}

void ImageAccess::reset(BMP& image) {
  image.SetSize(1, 1);
  image.SetBitDepth(1);
}

}  // namespace pixelry::detail

namespace {

// Gives an image a new grid of newWidth x newHeight through references to its fields,
// white when asked, and returns true. When the grid cannot be allocated, prints SetSize's
// warning, changes nothing and returns false. The copy constructor asks for no white, as
// it overwrites every pixel.
bool replaceGrid(std::unique_ptr<RGBApixel[]>& pixels, int& width, int& height, int newWidth, int newHeight,
                 bool white) {
  std::unique_ptr<RGBApixel[]> grid = pixelry::detail::allocateGrid(newWidth, newHeight);
  if (!grid) {
    pixelry::detail::warnNoMemory(newWidth, newHeight, width, height);
    return false;
  }
  if (white)
    pixelry::detail::fillWhite(grid.get(),
                               static_cast<std::size_t>(newWidth) * static_cast<std::size_t>(newHeight));
  pixels = std::move(grid);
  width = newWidth;
  height = newHeight;
  return true;
}

}  // namespace

namespace {

// Whole pixels per metre from dots per inch, truncated, saturated to the int range.
int pelsPerMetre(int dpi) {
  const double pels = dpi * kInchesPerMetre;
  if (pels >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (pels <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(pels);
}

int dotsPerInch(int& pelsPerMetreField) {
  if (pelsPerMetreField == 0) pelsPerMetreField = pixelry::detail::kDefaultPelsPerMeter;
  return static_cast<int>(pelsPerMetreField / kInchesPerMetre);
}

void warnColorOutOfRange(int index, int colors, const char* verb) {
  warn({"Requested color number " + std::to_string(index) + " is outside the allowed",
        "range [0," + std::to_string(colors - 1) + "]. Ignoring request to " + verb + " this color."});
}

}  // namespace

BMP::BMP()
    : BitDepth(24),
      Width(1),
      Height(1),
      Pixels(new (std::nothrow) RGBApixel[1]{kWhite}),
      ColorTable(),
      XPelsPerMeter(0),
      YPelsPerMeter(0) {}

BMP::BMP(const BMP& source) : BMP() {
  BitDepth = source.BitDepth;
  ColorTable = source.ColorTable;
  XPelsPerMeter = source.XPelsPerMeter;
  YPelsPerMeter = source.YPelsPerMeter;
  // Every pixel is copied over, so the grid is not made white first.
  if (replaceGrid(Pixels, Width, Height, source.Width, source.Height, false))
    std::copy_n(source.Pixels.get(), static_cast<std::size_t>(Width) * static_cast<std::size_t>(Height),
                Pixels.get());
}

BMP::BMP(BMP&& source) noexcept : BMP() {
  std::swap(BitDepth, source.BitDepth);
  std::swap(Width, source.Width);
  std::swap(Height, source.Height);
  std::swap(Pixels, source.Pixels);
  std::swap(ColorTable, source.ColorTable);
  std::swap(XPelsPerMeter, source.XPelsPerMeter);
  std::swap(YPelsPerMeter, source.YPelsPerMeter);
}

BMP::~BMP() = default;

int BMP::TellBitDepth() const { return BitDepth; }
int BMP::TellWidth() const { return Width; }
int BMP::TellHeight() const { return Height; }

int BMP::TellNumberOfColors() const { return IntPow(2, BitDepth == 32 ? 24 : BitDepth); }

bool BMP::HasColorTable() const { return isIndexedDepth(BitDepth); }

bool BMP::SetBitDepth(int NewDepth) {
  if (!isSupportedDepth(NewDepth)) {
    warn({"User attempted to set unsupported bit depth " + std::to_string(NewDepth) + ".",
          "Bit depth remains unchanged at " + std::to_string(BitDepth) + "."});
    return false;
  }
  BitDepth = NewDepth;
  if (HasColorTable()) pixelry::detail::fillStandardTable(ColorTable.data(), BitDepth);
  return true;
}

bool BMP::SetSize(int NewWidth, int NewHeight) {
  if (NewWidth <= 0 || NewHeight <= 0) {
    warn({"User attempted to set a non-positive width or height.",
          "Size remains unchanged at " + std::to_string(Width) + " x " + std::to_string(Height) + "."});
    return false;
  }
  return replaceGrid(Pixels, Width, Height, NewWidth, NewHeight, true);
}

RGBApixel* BMP::RowPointer(int Row) const {
  return Pixels.get() + static_cast<std::size_t>(Row) * static_cast<std::size_t>(Width);
}

RGBApixel BMP::GetPixel(int i, int j) const { return *ClampedPixel(i, j); }

RGBApixel* BMP::operator()(int i, int j) { return ClampedPixel(i, j); }

RGBApixel* BMP::ClampedPixel(int i, int j) const {
  bool clamped = false;
  if (i >= Width) {
    i = Width - 1;
    clamped = true;
  }
  if (i < 0) {
    i = 0;
    clamped = true;
  }
  if (j >= Height) {
    j = Height - 1;
    clamped = true;
  }
  if (j < 0) {
    j = 0;
    clamped = true;
  }
  if (clamped)
    warn({"Attempted to access non-existent pixel;", "Truncating request to fit in the range [0," +
                                                         std::to_string(Width - 1) + "] x [0," +
                                                         std::to_string(Height - 1) + "]."});
  return RowPointer(j) + i;
}

bool BMP::SetPixel(int i, int j, RGBApixel NewPixel) {
  if (i < 0 || i >= Width || j < 0 || j >= Height) return false;
  RowPointer(j)[i] = NewPixel;
  return true;
}

RGBApixel BMP::GetColor(int ColorNumber) const {
  if (!HasColorTable()) {
    warnNoTable("access");
    return kWhite;
  }
  if (ColorNumber < 0 || ColorNumber >= TellNumberOfColors()) {
    warnColorOutOfRange(ColorNumber, TellNumberOfColors(), "get");
    return kWhite;
  }
  return ColorTable[static_cast<std::size_t>(ColorNumber)];
}

bool BMP::SetColor(int ColorNumber, RGBApixel NewColor) {
  if (!HasColorTable()) {
    warnNoTable("change");
    return false;
  }
  if (ColorNumber < 0 || ColorNumber >= TellNumberOfColors()) {
    warnColorOutOfRange(ColorNumber, TellNumberOfColors(), "set");
    return false;
  }
  ColorTable[static_cast<std::size_t>(ColorNumber)] = NewColor;
  return true;
}

bool BMP::CreateStandardColorTable() {
  if (!HasColorTable()) {
    pixelry::detail::warnNoTableAtDepth();
    return false;
  }
  pixelry::detail::fillStandardTable(ColorTable.data(), BitDepth);
  return true;
}

void BMP::SetDPI(int HorizontalDPI, int VerticalDPI) {
  XPelsPerMeter = pelsPerMetre(HorizontalDPI);
  YPelsPerMeter = pelsPerMetre(VerticalDPI);
}

int BMP::TellHorizontalDPI() { return dotsPerInch(XPelsPerMeter); }
int BMP::TellVerticalDPI() { return dotsPerInch(YPelsPerMeter); }
