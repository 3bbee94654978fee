// Rescaling, pixel copies between images and the grayscale colour table.
#include "Pixelry_Utilities.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "detail/Layout.h"
#include "detail/Report.h"

namespace {

struct Size {
  int width;
  int height;
};

// A side length from its exact value: truncated, at least 1, and saturated at INT_MAX, so
// that an absurd size is refused by SetSize instead of overflowing an int.
int sideLength(double exact) {
  if (!(exact >= 1.0)) return 1;
  if (exact >= static_cast<double>(INT_MAX)) return INT_MAX;
  return static_cast<int>(exact);
}

// The size a rescale in the (upper-case) mode gives a width x height image, or false for
// an unknown mode.
bool targetSize(char mode, int width, int height, int parameter, Size& size) {
  if (mode == 'F') mode = width > height ? 'W' : 'H';
  switch (mode) {
    case 'P': {
      // The products are whole numbers; only the division is done in floating point.
      const auto percentOf = [parameter](int side) {
        return sideLength(std::floor(static_cast<double>(std::int64_t{side} * parameter) / 100.0));
      };
      size = {percentOf(width), percentOf(height)};
      return true;
    }
    case 'W': {
      const double ratio = static_cast<double>(parameter) / width;
      size = {sideLength(parameter), sideLength(height * ratio)};
      return true;
    }
    case 'H': {
      const double ratio = static_cast<double>(parameter) / height;
      size = {sideLength(width * ratio), sideLength(parameter)};
      return true;
    }
    default:
      return false;
  }
}

// Where a target column or row falls in the source: the first and last target positions
// land exactly on the first and last source positions.
struct Position {
  int whole;
  double fraction;
};

Position sourcePosition(int target, int sourceSize, int targetSize) {
  const double exact = static_cast<double>(target) * (sourceSize - 1) / (targetSize - 1);
  const double whole = std::floor(exact);
  return {static_cast<int>(whole), exact - whole};
}

using Channel = PixelryBYTE RGBApixel::*;
constexpr Channel kColourChannels[] = {&RGBApixel::Red, &RGBApixel::Green, &RGBApixel::Blue};

// Sets the colour channels of target to the weighted sum of the same channel of the
// sources, terms added in order and the sum truncated; Alpha is left alone.
template <std::size_t N>
void blend(RGBApixel& target, const RGBApixel (&sources)[N], const double (&weights)[N]) {
  for (Channel channel : kColourChannels) {
    double value = 0.0;
    for (std::size_t k = 0; k < N; ++k) value += sources[k].*channel * weights[k];
    target.*channel = static_cast<PixelryBYTE>(static_cast<int>(value));
  }
}

// Source pixels of rows r and r + 1, read straight from the rows. A neighbour past the
// right or bottom edge exists only in a source one pixel wide or high; it is read through
// the clamping accessor once for each colour channel computed from it, so the accessor's
// warning is printed for each of those reads, and yields the edge pixel. Its weight is 0.
class SourceRows {
 public:
  SourceRows(BMP& source, int row)
      : source_(source),
        width_(source.TellWidth()),
        row_(row),
        upper_(source(0, row)),
        lower_(row + 1 < source.TellHeight() ? source(0, row + 1) : nullptr) {}

  RGBApixel upper(int column) const { return read(upper_, column, row_); }
  RGBApixel lower(int column) const { return read(lower_, column, row_ + 1); }

 private:
  RGBApixel read(const RGBApixel* row, int column, int rowIndex) const {
    if (row && column < width_) return row[column];
    RGBApixel edge{};
    for (std::size_t read = 0; read < std::size(kColourChannels); ++read) edge = *source_(column, rowIndex);
    return edge;
  }

  BMP& source_;
  int width_;
  int row_;
  const RGBApixel* upper_;
  const RGBApixel* lower_;
};

// Fills target from source by bilinear interpolation; target's last row interpolates
// along the source's last row only, its last column along the source's last column only,
// and its bottom-right pixel is the source's, Alpha included.
void resample(BMP& source, BMP& target) {
  const int sourceWidth = source.TellWidth();
  const int sourceHeight = source.TellHeight();
  const int width = target.TellWidth();
  const int height = target.TellHeight();

  std::vector<Position> columns;
  columns.reserve(static_cast<std::size_t>(width - 1));
  for (int i = 0; i < width - 1; ++i) columns.push_back(sourcePosition(i, sourceWidth, width));

  for (int j = 0; j < height - 1; ++j) {
    const Position y = sourcePosition(j, sourceHeight, height);
    const double ty = y.fraction;
    const SourceRows rows(source, y.whole);
    RGBApixel* out = target(0, j);
    for (int i = 0; i < width - 1; ++i) {
      const int column = columns[static_cast<std::size_t>(i)].whole;
      const double tx = columns[static_cast<std::size_t>(i)].fraction;
      blend(out[i], {rows.upper(column), rows.upper(column + 1), rows.lower(column), rows.lower(column + 1)},
            {1 - tx - ty + tx * ty, tx - tx * ty, ty - tx * ty, tx * ty});
    }
    blend(out[width - 1], {rows.upper(sourceWidth - 1), rows.lower(sourceWidth - 1)}, {1 - ty, ty});
  }

  const SourceRows lastRow(source, sourceHeight - 1);
  RGBApixel* out = target(0, height - 1);
  for (int i = 0; i < width - 1; ++i) {
    const int column = columns[static_cast<std::size_t>(i)].whole;
    const double tx = columns[static_cast<std::size_t>(i)].fraction;
    blend(out[i], {lastRow.upper(column), lastRow.upper(column + 1)}, {1 - tx, tx});
  }
  out[width - 1] = *source(sourceWidth - 1, sourceHeight - 1);
}

// The rectangle walk shared by both ranged copies: the bounds are put in order and cut,
// each check on the values the earlier ones left, then copyOne(x, y, toX, toY) runs row
// by row, left to right.
template <class CopyOne>
void copyRectangle(BMP& From, int left, int right, int bottom, int top, BMP& To, int toX, int toY,
                   CopyOne copyOne) {
  if (bottom < top) std::swap(bottom, top);
  if (right >= From.TellWidth()) right = From.TellWidth() - 1;
  if (left < 0) left = 0;
  if (bottom >= From.TellHeight()) bottom = From.TellHeight() - 1;
  if (top < 0) top = 0;
  // In 64 bits: a destination far off either side must not overflow the sums.
  if (std::int64_t{right} - left + toX >= To.TellWidth())
    right = static_cast<int>(std::int64_t{To.TellWidth()} - 1 + left - toX);
  if (std::int64_t{bottom} - top + toY >= To.TellHeight())
    bottom = static_cast<int>(std::int64_t{To.TellHeight()} - 1 + top - toY);
  for (int y = top; y <= bottom; ++y)
    for (int x = left; x <= right; ++x) copyOne(x, y, toX + (x - left), toY + (y - top));
}

}  // namespace

bool Rescale(BMP& InputImage, char mode, int NewDimension) {
  const int width = InputImage.TellWidth();
  const int height = InputImage.TellHeight();
  Size size{};
  if (!targetSize(static_cast<char>(std::toupper(static_cast<unsigned char>(mode))), width, height,
                  NewDimension, size)) {
    pixelry::detail::failUnknownRescaleMode(mode);
    return false;
  }
  BMP source(InputImage);
  // A copy that could not be allocated stays 1 x 1 after its own warning.
  if (source.TellWidth() != width || source.TellHeight() != height) return false;
  if (!InputImage.SetSize(size.width, size.height)) return false;
  InputImage.SetBitDepth(24);
  resample(source, InputImage);
  return true;
}

void PixelToPixelCopy(BMP& From, int FromX, int FromY, BMP& To, int ToX, int ToY) {
  RGBApixel* destination = To(ToX, ToY);
  *destination = *From(FromX, FromY);
}

void PixelToPixelCopyTransparent(BMP& From, int FromX, int FromY, BMP& To, int ToX, int ToY,
                                 RGBApixel& Transparent) {
  // Each comparison looks the source pixel up afresh, so an out-of-range position warns
  // once per lookup.
  if (From(FromX, FromY)->Red == Transparent.Red && From(FromX, FromY)->Green == Transparent.Green &&
      From(FromX, FromY)->Blue == Transparent.Blue)
    return;
  PixelToPixelCopy(From, FromX, FromY, To, ToX, ToY);
}

void RangedPixelToPixelCopy(BMP& From, int FromL, int FromR, int FromB, int FromT, BMP& To, int ToX,
                            int ToY) {
  copyRectangle(From, FromL, FromR, FromB, FromT, To, ToX, ToY,
                [&](int x, int y, int toX, int toY) { PixelToPixelCopy(From, x, y, To, toX, toY); });
}

void RangedPixelToPixelCopyTransparent(BMP& From, int FromL, int FromR, int FromB, int FromT, BMP& To,
                                       int ToX, int ToY, RGBApixel& Transparent) {
  copyRectangle(From, FromL, FromR, FromB, FromT, To, ToX, ToY, [&](int x, int y, int toX, int toY) {
    PixelToPixelCopyTransparent(From, x, y, To, toX, toY, Transparent);
  });
}

bool CreateGrayscaleColorTable(BMP& InputImage) {
  if (!pixelry::detail::isIndexedDepth(InputImage.TellBitDepth())) {
    pixelry::detail::warnNoTableAtDepth();
    return false;
  }
  const int colors = InputImage.TellNumberOfColors();
  const int step = 255 / (colors - 1);
  for (int i = 0; i < colors; ++i) {
    const auto level = static_cast<PixelryBYTE>(i * step);
    InputImage.SetColor(i, RGBApixel{level, level, level, 0});
  }
  return true;
}
