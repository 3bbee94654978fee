#include "detail/Report.h"

#include <atomic>
#include <cstdio>
#include <iostream>
#include <mutex>

#include "Pixelry_Warnings.h"

namespace {

// Flipped from any thread; a message already begun is finished.
std::atomic<bool> Pixelrywarnings{true};
// Held while a message is printed, so that the lines of messages from different threads
// never interleave.
std::mutex printing;

void print(const char* prefix, const char* indent, const std::vector<std::string>& lines) {
  if (!Pixelrywarnings) return;
  const std::lock_guard<std::mutex> lock(printing);
  bool first = true;
  for (const std::string& line : lines) {
    if (first)
      std::cout << prefix << line << std::endl;
    else if (line.empty())
      std::cout << std::endl;
    else
      std::cout << indent << line << std::endl;
    first = false;
  }
}

}  // namespace

void SetPixelrywarningsOff() { Pixelrywarnings = false; }
void SetPixelrywarningsOn() { Pixelrywarnings = true; }
bool GetPixelrywarningState() { return Pixelrywarnings; }

namespace pixelry::detail {

void warn(const std::vector<std::string>& lines) { print("Pixelry Warning: ", "                 ", lines); }

void fail(const std::vector<std::string>& lines) { print("Pixelry Error: ", "               ", lines); }

void failDataSize() {
  fail({"Data types are wrong size!", "You may need to mess with Pixelry_DataTypes",
        "to fix these errors, and then recompile.", "All 32-bit and 64-bit machines should be",
        "supported, however.", ""});
}

void warnNoTable(const char* verb) {
  warn({std::string("Attempted to ") + verb + " color table for a BMP object",
        "that lacks a color table. Ignoring request."});
}

void warnNoMemory(int width, int height, int oldWidth, int oldHeight) {
  warn({"Not enough memory for a " + std::to_string(width) + " x " + std::to_string(height) + " image.",
        "Size remains unchanged at " + std::to_string(oldWidth) + " x " + std::to_string(oldHeight) + "."});
}

void warnNoTableAtDepth() {
  warn({"Attempted to create color table at a bit", "depth that does not require a color table.",
        "Ignoring request."});
}

void failUnknownRescaleMode(char mode) {
  if (!Pixelrywarnings) return;
  char text[64];
  const int length =
      std::snprintf(text, sizeof text, "Pixelry Error: Unknown rescale mode %c requested\n", mode);
  // Written by length, so that even a mode of '\0' leaves the line whole.
  const std::lock_guard<std::mutex> lock(printing);
  std::cout.write(text, length);
}

std::string quoted(const char* name) { return name ? std::string(name) : std::string(); }

}  // namespace pixelry::detail
