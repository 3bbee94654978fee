// Internal: the colour table quantize builds for a picture.
#ifndef PIXELRY_DETAIL_COLOURCUT_H
#define PIXELRY_DETAIL_COLOURCUT_H

#include <functional>
#include <vector>

#include "../Pixelry_Image.h"

namespace pixelry::detail {

// Row y of a picture (0 to height - 1) as width RGBApixels; the pointer holds until the
// next call. The picture may be read more than once.
using RowSource = std::function<const RGBApixel*(int y)>;

// Fills table with at most colours entries (2 to 256), Alpha 0, for the picture's
// colours, alpha not considered. A picture of at most colours distinct colours gets
// exactly those, in the order of their red, then green, then blue values. Otherwise
// colour space is cut into boxes of least squared error (Wu's method on a grid of 64
// levels a channel, with every pixel's exact colour in the box sums), and the boxes'
// means are refined by Lloyd's passes (k-means) over the picture's distinct colours,
// or over the grid's cells, each at its pixels' mean, when there are too many; the
// table comes in the same order. Integer arithmetic wherever a choice depends on it, so
// the same pixels give the same table on every machine. Throws std::bad_alloc.
void cutColours(const RowSource& rows, int width, int height, int colours, std::vector<RGBApixel>& table);

}  // namespace pixelry::detail

#endif
