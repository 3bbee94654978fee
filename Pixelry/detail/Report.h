// Internal: the one place where the library prints its warnings and errors.
#ifndef PIXELRY_DETAIL_REPORT_H
#define PIXELRY_DETAIL_REPORT_H

#include <string>
#include <vector>

namespace pixelry::detail {

// Prints a message while warnings are on: the first line after "Pixelry Warning: ",
// every further line indented to line up under it; each line is flushed.
void warn(const std::vector<std::string>& lines);

// As warn, with "Pixelry Error: " and its 15-space indent. An empty line is printed bare.
void fail(const std::vector<std::string>& lines);

// The refusal printed when the fixed-width types do not have the sizes the format needs.
void failDataSize();

// The refusal of a colour-table request on an image whose depth has no table; verb says
// what was asked ("access", "change").
void warnNoTable(const char* verb);

// The refusal of a grid of width x height that cannot be allocated, for an image that
// stays oldWidth x oldHeight.
void warnNoMemory(int width, int height, int oldWidth, int oldHeight);

// The refusal of a colour table at 16, 24 or 32 bits.
void warnNoTableAtDepth();

// The rescaler's one-line error, printed while warnings are on. It is formatted into a
// buffer with its own newline and written without a flush; mode appears as the caller
// gave it.
void failUnknownRescaleMode(char mode);

// A file name as it appears in messages (a null name prints as nothing).
std::string quoted(const char* name);

}  // namespace pixelry::detail

#endif
