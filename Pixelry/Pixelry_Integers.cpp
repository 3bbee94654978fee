#include "Pixelry_Integers.h"

// Unsigned arithmetic in both: a result beyond the int range wraps instead of overflowing.

int IntPow(int base, int exponent) {
  unsigned result = 1;
  for (int i = 0; i < exponent; ++i) result *= static_cast<unsigned>(base);
  return static_cast<int>(result);
}

int IntSquare(int number) {
  const unsigned magnitude = static_cast<unsigned>(number);
  return static_cast<int>(magnitude * magnitude);
}
