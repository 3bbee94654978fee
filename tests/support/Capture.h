// What the library prints to standard output: captured while a block runs, or switched
// off for a scope.
#ifndef PIXELRY_TESTS_CAPTURE_H
#define PIXELRY_TESTS_CAPTURE_H

#include <iostream>
#include <sstream>
#include <string>
#include <utility>

#include "Pixelry/Pixelry.h"

namespace testing_support {

template <class Body>
std::string capturedOutput(Body&& body) {
  std::ostringstream out;
  std::streambuf* previous = std::cout.rdbuf(out.rdbuf());
  std::forward<Body>(body)();
  std::cout.rdbuf(previous);
  return out.str();
}

// Turns the warnings off while it exists.
struct WarningsOff {
  WarningsOff() { SetPixelrywarningsOff(); }
  ~WarningsOff() { SetPixelrywarningsOn(); }
  WarningsOff(const WarningsOff&) = delete;
  WarningsOff& operator=(const WarningsOff&) = delete;
};

}  // namespace testing_support

#endif
