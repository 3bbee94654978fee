// Every message of the library as a test expects it. In the reader's messages NAME stands
// for the file name as given (withName puts it in); the others take their values.
#ifndef PIXELRY_TESTS_MESSAGES_H
#define PIXELRY_TESTS_MESSAGES_H

#include <string>

namespace testing_support {

// The reader, about the file NAME.
const char kUnderspecified[] =
    "Pixelry Warning: file NAME has an underspecified\n"
    "                 color table. The table will be padded with extra\n"
    "                 white (255,255,255,0) entries.\n";
const char kExtra[] =
    "Pixelry Warning: Extra meta data detected in file NAME\n"
    "                 Data will be skipped.\n";
const char kRle[] =
    "Pixelry Error: NAME is (RLE) compressed.\n"
    "               Pixelry does not support compression.\n";
const char kBitFields[] =
    "Pixelry Error: NAME uses bit fields and is not a\n"
    "               16-bit file. This is not supported.\n";
const char kBadDepth[] = "Pixelry Error: NAME has unrecognized bit depth.\n";
const char kNonPositive[] = "Pixelry Error: NAME has a non-positive width or height.\n";
const char kNotBmp[] = "Pixelry Error: NAME is not a Windows BMP file!\n";
const char kCorrupted[] = "Pixelry Error: NAME is obviously corrupted.\n";
const char kCannotOpenInput[] = "Pixelry Error: Cannot open file NAME for input.\n";
const char kShortData[] = "Pixelry Error: Could not read proper amount of data.\n";

inline std::string unsupported(const std::string& compression) {
  return "Pixelry Error: NAME is in an unsupported format.\n"
         "               (bmih.biCompression = " +
         compression +
         ")\n"
         "               The file is probably an old OS2 bitmap or corrupted.\n";
}

// SetSize, also on behalf of the reader and Rescale, for a grid that cannot be had.
inline std::string notEnoughMemory(const std::string& size, const std::string& current) {
  return "Pixelry Warning: Not enough memory for a " + size +
         " image.\n"
         "                 Size remains unchanged at " +
         current + ".\n";
}
inline std::string tooLarge(const std::string& size, const std::string& current = "1 x 1") {
  return notEnoughMemory(size, current) + "Pixelry Error: NAME is too large to fit in memory.\n";
}

// The messages with every NAME replaced by the file name.
inline std::string withName(std::string text, const std::string& name) {
  for (std::size_t at = 0; (at = text.find("NAME", at)) != std::string::npos; at += name.size())
    text.replace(at, 4, name);
  return text;
}

// The writer.
inline std::string cannotOpenOutput(const std::string& name) {
  return "Pixelry Error: Cannot open file " + name + " for output.\n";
}
const char kShortWrite[] = "Pixelry Error: Could not write proper amount of data.\n";

// The image object.
inline std::string clampedPixel(int lastColumn, int lastRow) {
  return "Pixelry Warning: Attempted to access non-existent pixel;\n"
         "                 Truncating request to fit in the range [0," +
         std::to_string(lastColumn) + "] x [0," + std::to_string(lastRow) + "].\n";
}
inline std::string sizeRefused(const std::string& current) {
  return "Pixelry Warning: User attempted to set a non-positive width or height.\n"
         "                 Size remains unchanged at " +
         current + ".\n";
}
inline std::string depthRefused(int bits, int current) {
  return "Pixelry Warning: User attempted to set unsupported bit depth " + std::to_string(bits) +
         ".\n                 Bit depth remains unchanged at " + std::to_string(current) + ".\n";
}
// verb is "get" or "set".
inline std::string colourOutOfRange(int index, int last, const std::string& verb) {
  return "Pixelry Warning: Requested color number " + std::to_string(index) +
         " is outside the allowed\n"
         "                 range [0," +
         std::to_string(last) + "]. Ignoring request to " + verb + " this color.\n";
}
// verb is "access" or "change".
inline std::string noTable(const std::string& verb) {
  return "Pixelry Warning: Attempted to " + verb +
         " color table for a BMP object\n"
         "                 that lacks a color table. Ignoring request.\n";
}
const char kNoTableAtDepth[] =
    "Pixelry Warning: Attempted to create color table at a bit\n"
    "                 depth that does not require a color table.\n"
    "                 Ignoring request.\n";

// The header inspection functions.
inline std::string cannotInitialize(const std::string& name) {
  return "Pixelry Error: Cannot initialize from file " + name +
         ".\n"
         "               File cannot be opened or does not exist.\n";
}

// Rescale.
inline std::string unknownMode(char mode) {
  return std::string("Pixelry Error: Unknown rescale mode ") + mode + " requested\n";
}

}  // namespace testing_support

#endif
