// bmpinfo: prints the two headers of each BMP file named on the command line.
//
//   bmpinfo FILE...
//
// Exits 1 on a wrong command line or when a file cannot be opened (after the library's
// message; the other files are still listed), 0 otherwise.
#include <cstdio>
#include <iostream>

#include "Pixelry/Pixelry.h"

namespace {

bool canOpen(const char* path) {
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  std::fclose(file);
  return true;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 2) {
    std::cout << "Usage: bmpinfo FILE..." << std::endl;
    return 1;
  }
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    if (!canOpen(argv[i])) status = 1;
    // Prints the listing, or the library's error for a file that cannot be opened.
    DisplayBitmapInfo(argv[i]);
  }
  return status;
}
