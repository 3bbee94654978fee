// The reader's messages as a test expects them, with NAME standing for the file name.
#ifndef PIXELRY_TESTS_READERMESSAGES_H
#define PIXELRY_TESTS_READERMESSAGES_H

#include <string>

namespace testing_support {

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

inline std::string unsupported(const std::string& compression) {
  return "Pixelry Error: NAME is in an unsupported format.\n"
         "               (bmih.biCompression = " + compression + ")\n"
         "               The file is probably an old OS2 bitmap or corrupted.\n";
}

// The messages with every NAME replaced by the file name.
inline std::string withName(std::string text, const std::string& name) {
  for (std::size_t at = 0; (at = text.find("NAME", at)) != std::string::npos; at += name.size())
    text.replace(at, 4, name);
  return text;
}

}  // namespace testing_support

#endif
