// The bmpsuite images under tests/data and their reference renderings.
#ifndef PIXELRY_TESTS_BMPSUITE_H
#define PIXELRY_TESTS_BMPSUITE_H

#include <cstdint>
#include <fstream>
#include <string>

#include "Pixelry/Pixelry.h"
#include "support/BmpFile.h"
#include "support/Pixel.h"

namespace testing_support {

const std::string kSuite = std::string(PIXELRY_TEST_DATA) + "/bmpsuite/";

// A reference rendering: binary PPM (red, green, blue) or PAM (and Alpha), rows top first.
struct Reference {
  int width = 0, height = 0, depth = 0;
  Bytes samples;
  // Pixel (x, y); Alpha 0 where the rendering has none.
  RGBApixel at(int x, int y) const {
    const std::uint8_t* q = &samples[(static_cast<std::size_t>(y) * width + x) * depth];
    return pixel(q[0], q[1], q[2], depth == 4 ? q[3] : 0);
  }
};

// The rendering in the file at path; 0 x 0 when it cannot be read.
inline Reference loadRendering(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  Reference ref;
  std::string word;
  in >> word;
  if (word == "P6") {
    int maxval = 0;
    in >> ref.width >> ref.height >> maxval;
    ref.depth = 3;
  } else {
    while (in >> word && word != "ENDHDR") {
      if (word == "WIDTH") in >> ref.width;
      if (word == "HEIGHT") in >> ref.height;
      if (word == "DEPTH") in >> ref.depth;
    }
  }
  in.get();
  ref.samples.resize(static_cast<std::size_t>(ref.width) * static_cast<std::size_t>(ref.height) *
                     static_cast<std::size_t>(ref.depth));
  in.read(reinterpret_cast<char*>(ref.samples.data()), static_cast<std::streamsize>(ref.samples.size()));
  if (!in) ref = Reference{};
  return ref;
}

// The suite's rendering reference/name.
inline Reference loadReference(const std::string& name) {
  return loadRendering(kSuite + "reference/" + name);
}

}  // namespace testing_support

#endif
