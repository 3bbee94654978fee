// Captures what the library prints to standard output while a block runs.
#ifndef PIXELRY_TESTS_CAPTURE_H
#define PIXELRY_TESTS_CAPTURE_H

#include <iostream>
#include <sstream>
#include <string>
#include <utility>

namespace testing_support {

template <class Body>
std::string capturedOutput(Body&& body) {
  std::ostringstream out;
  std::streambuf* previous = std::cout.rdbuf(out.rdbuf());
  std::forward<Body>(body)();
  std::cout.rdbuf(previous);
  return out.str();
}

}  // namespace testing_support

#endif
