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
// exactly those. Otherwise colour space is cut into boxes (Wu's method, on a grid of 64
// levels a channel with every pixel's exact colour in the boxes' sums), and the boxes'
// means are refined by Lloyd's passes that move each entry to the median of its pixels,
// channel by channel, since the median lessens the absolute error. The passes run over
// the picture's distinct colours or, when there are too many, over the grid's cells,
// each at its pixels' mean, and then once over the pixels. Two cuts are refined, one
// for the absolute error and one for the squared error, and the table of smaller
// absolute error is kept. Entries come in the order of their red, then green, then blue
// values. Every choice is made in integers, or in doubles by +, -, *, / and sqrt in a
// fixed order, so the same pixels give the same table on every machine. Throws
// std::bad_alloc.
void cutColours(const RowSource& rows, int width, int height, int colours, std::vector<RGBApixel>& table);

}  // namespace pixelry::detail

#endif
