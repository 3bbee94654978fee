// Integer helpers: powers for colour counts, squares for colour distances.
#ifndef PIXELRY_INTEGERS_H
#define PIXELRY_INTEGERS_H

#include "Pixelry_Export.h"

// Returns base raised to exponent by repeated multiplication; 1 for an exponent of 0 or less.
PIXELRY_API int IntPow(int base, int exponent);

// The square of number, in int arithmetic.
PIXELRY_API int IntSquare(int number);

#endif
