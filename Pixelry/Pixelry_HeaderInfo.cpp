// Returning and printing a file's headers without loading its pixels.
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>

#include "Pixelry_Format.h"
#include "detail/ByteSource.h"
#include "detail/FileNames.h"
#include "detail/Layout.h"
#include "detail/Report.h"

using pixelry::detail::forEachField;
using pixelry::detail::openFile;
using pixelry::detail::readRecord;

namespace {

// Opens a file to read its headers; on failure prints the error and returns null.
std::FILE* openHeaders(const char* FileName) {
  std::FILE* file = openFile(FileName, "rb");
  if (!file)
    pixelry::detail::fail({"Cannot initialize from file " + pixelry::detail::quoted(FileName) + ".",
                           "File cannot be opened or does not exist."});
  return file;
}

// The field as DisplayBitmapInfo shows it: unsigned, within its own width.
std::uint32_t asUnsigned(std::uint32_t field) { return field; }

// The field as the records' display methods show it: a signed 32-bit number, so a 32-bit
// field with its top bit set (a top-down biHeight, say) comes out negative.
std::int64_t asSigned32(std::uint32_t field) {
  return field > INT32_MAX ? static_cast<std::int64_t>(field) - (std::int64_t{1} << 32) : field;
}

// One "name: value" line per field, then an empty line.
template <class Header, class Convert>
void printFields(const Header& header, Convert convert) {
  forEachField(header, [&](const char* name, auto field) {
    std::cout << name << ": " << convert(field) << std::endl;
  });
  std::cout << std::endl;
}

}  // namespace

void BMFH::display() const { printFields(*this, asSigned32); }
void BMIH::display() const { printFields(*this, asSigned32); }

BMFH GetBMFH(const char* FileName) {
  BMFH header;
  std::FILE* file = openHeaders(FileName);
  if (!file) {
    header.bfType = 0;
    return header;
  }
  pixelry::detail::ByteSource source(file);
  readRecord(source, header);
  std::fclose(file);
  return header;
}

BMIH GetBMIH(const char* FileName) {
  BMIH header;
  std::FILE* file = openHeaders(FileName);
  if (!file) return header;
  // The file header is read past rather than sought over, so any stream will do.
  pixelry::detail::ByteSource source(file);
  BMFH skipped;
  readRecord(source, skipped);
  readRecord(source, header);
  std::fclose(file);
  return header;
}

int GetBitmapColorDepth(const char* FileName) { return GetBMIH(FileName).biBitCount; }

void DisplayBitmapInfo(const char* FileName) {
  std::FILE* file = openHeaders(FileName);
  if (!file) return;
  std::fclose(file);
  const BMFH fileHeader = GetBMFH(FileName);
  const BMIH infoHeader = GetBMIH(FileName);
  std::cout << "File information for file " << FileName << ":" << std::endl
            << std::endl
            << "BITMAPFILEHEADER:" << std::endl;
  printFields(fileHeader, asUnsigned);
  std::cout << "BITMAPINFOHEADER:" << std::endl;
  printFields(infoHeader, asUnsigned);
}
