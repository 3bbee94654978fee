// Image utilities: rescaling, pixel copies with and without a transparent colour, and a
// grayscale colour table.
#ifndef PIXELRY_UTILITIES_H
#define PIXELRY_UTILITIES_H

#include "Pixelry_Export.h"
#include "Pixelry_Image.h"

// Resizes InputImage in place by bilinear interpolation and makes it a 24-bit image
// without a colour table; its resolution is kept. The mode letter, in either case, says
// what NewDimension is:
//   'P' a percentage: w = floor(W x p / 100), h = floor(H x p / 100)
//   'W' the new width; the height keeps the aspect ratio, truncated
//   'H' the new height; the width keeps the aspect ratio, truncated
//   'F' the new length of the longer side ('W' when wider than high, else 'H')
// A side that comes out below 1 becomes 1. The first and last target rows and columns
// fall on the source's; the bottom-right pixel is copied whole, Alpha included, and every
// other pixel gets Alpha 0. A source 1 pixel wide or high reads its missing neighbours
// through the clamping accessor (with weight 0), which prints its warning for each read.
// Returns true when rescaled. For an unknown mode prints, while warnings are on,
// "Pixelry Error: Unknown rescale mode <mode> requested" (not flushed) and returns false;
// when the new grid cannot be allocated returns false after SetSize's warning. The image
// is unchanged whenever false is returned.
PIXELRY_API bool Rescale(BMP& InputImage, char mode, int NewDimension);

// Copies pixel (FromX, FromY) of From, all four bytes, onto pixel (ToX, ToY) of To.
// Positions outside either image are clamped by operator(), with its warning (the
// destination is looked up first). From and To may be the same image.
PIXELRY_API void PixelToPixelCopy(BMP& From, int FromX, int FromY, BMP& To, int ToX, int ToY);

// As PixelToPixelCopy, except that a source pixel whose Red, Green and Blue equal those
// of Transparent (Alpha is not compared) is not copied.
PIXELRY_API void PixelToPixelCopyTransparent(BMP& From, int FromX, int FromY, BMP& To, int ToX, int ToY,
                                             RGBApixel& Transparent);

// Copies the rectangle of From between columns FromL and FromR (left first) and rows
// FromB and FromT (either order), bounds inclusive, so that its top-left pixel lands on
// (ToX, ToY) of To. The rectangle is cut to the source and so that it ends on To's last
// column or row at the latest; cutting the left or top edge does not move the
// destination. A destination at or beyond To's width or height copies nothing; a
// negative one is left to operator(), which clamps (with its warning) onto column or
// row 0. Copies row by row, left to right, with no provision for overlap within one
// image. Prints nothing itself.
PIXELRY_API void RangedPixelToPixelCopy(BMP& From, int FromL, int FromR, int FromB, int FromT, BMP& To,
                                        int ToX, int ToY);

// As RangedPixelToPixelCopy, skipping source pixels that match Transparent as
// PixelToPixelCopyTransparent does.
PIXELRY_API void RangedPixelToPixelCopyTransparent(BMP& From, int FromL, int FromR, int FromB, int FromT,
                                                   BMP& To, int ToX, int ToY, RGBApixel& Transparent);

// Fills the colour table of a 1, 4 or 8-bit image with an even gray ramp from black at
// index 0 to white at the last index (steps of 255, 17 and 1), Alpha 0, and returns true.
// At 16, 24 and 32 bits prints a warning (while warnings are on), changes nothing and
// returns false.
PIXELRY_API bool CreateGrayscaleColorTable(BMP& InputImage);

#endif
