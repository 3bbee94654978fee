// The BMP file format: header records, byte order, the guarded read and the functions
// that return or print a file's headers without loading its pixels. The reader and
// writer themselves are members of BMP (Pixelry_Image.h).
#ifndef PIXELRY_FORMAT_H
#define PIXELRY_FORMAT_H

#include <cstdio>

#include "Pixelry_DataTypes.h"
#include "Pixelry_Export.h"

// The 14-byte file header at the start of every BMP file. Fields the constructor does
// not name start at 0.
struct PIXELRY_API BMFH {
  PixelryWORD bfType;   // "BM" as a little-endian word, 19778
  PixelryDWORD bfSize;  // whole file size in bytes
  PixelryWORD bfReserved1;
  PixelryWORD bfReserved2;
  PixelryDWORD bfOffBits;  // file offset of the first pixel row

  // bfType 19778, both reserved fields 0.
  BMFH();
  // Reverses the byte order of every field in place.
  void SwitchEndianess();
  // Prints the five fields, one "name: value" line each, then an empty line. Values
  // print as signed 32-bit numbers (a 32-bit field with its top bit set is negative).
  // Printed whatever the warnings switch says.
  void display() const;
};

// The 40-byte info header that follows the file header. Fields the constructor does not
// name start at 0. biWidth and biHeight hold signed values in their 32 bits.
struct PIXELRY_API BMIH {
  PixelryDWORD biSize;
  PixelryDWORD biWidth;
  PixelryDWORD biHeight;  // positive: rows stored bottom-up
  PixelryWORD biPlanes;
  PixelryWORD biBitCount;
  PixelryDWORD biCompression;  // 0 none, 1 and 2 run-length, 3 bit fields
  PixelryDWORD biSizeImage;
  PixelryDWORD biXPelsPerMeter;
  PixelryDWORD biYPelsPerMeter;
  PixelryDWORD biClrUsed;
  PixelryDWORD biClrImportant;

  // biPlanes 1, biCompression 0, resolution 3780 pixels per metre (96 dpi) both ways,
  // biClrUsed and biClrImportant 0.
  BMIH();
  // Reverses the byte order of every field in place.
  void SwitchEndianess();
  // Prints the eleven fields as BMFH::display does, signed, then an empty line.
  void display() const;
};

// True when this machine stores the low byte of a word last.
PIXELRY_API bool IsBigEndian();
// The word with its two bytes exchanged.
PIXELRY_API PixelryWORD FlipWORD(PixelryWORD in);
// The double word with its four bytes in reverse order.
PIXELRY_API PixelryDWORD FlipDWORD(PixelryDWORD in);

// Reads number items of size bytes into buffer. Returns false without reading when the
// stream is already at its end, and false when fewer items arrived (the buffer may then
// be partly filled); true otherwise.
PIXELRY_API bool SafeFread(char* buffer, int size, int number, std::FILE* fp);

// True when the fixed-width types have the one, two and four bytes the format needs.
PIXELRY_API bool PixelrycheckDataSize();

// Header inspection. None of these checks that the file is a BMP file: they report what
// its first 54 bytes say. A file that cannot be opened prints, while warnings are on,
//   Pixelry Error: Cannot initialize from file <path>.
//                  File cannot be opened or does not exist.
// A file shorter than the headers prints nothing: the fields it does not reach keep
// their constructor values (bytes cut by the end of the file keep theirs too).

// Returns the file header (bytes 0 to 13). bfType is 0 when the file cannot be opened.
PIXELRY_API BMFH GetBMFH(const char* FileName);
// Returns the info header, always taken from bytes 14 to 53. A file that cannot be
// opened gives the constructor's record unchanged.
PIXELRY_API BMIH GetBMIH(const char* FileName);
// Returns the file's biBitCount (0 to 65535); 0 when the file cannot be opened.
PIXELRY_API int GetBitmapColorDepth(const char* FileName);
// Prints "File information for file <path>:", both headers under the headings
// BITMAPFILEHEADER: and BITMAPINFOHEADER: and their field values unsigned: 22 lines,
// printed whatever the warnings switch says. For a file that cannot be opened it prints
// only the error above.
PIXELRY_API void DisplayBitmapInfo(const char* FileName);

#endif
