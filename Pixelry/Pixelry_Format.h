// The BMP file format: header records, byte order and the guarded read.
// The reader and writer themselves are members of BMP (Pixelry_Image.h).
#ifndef PIXELRY_FORMAT_H
#define PIXELRY_FORMAT_H

#include <cstdio>

#include "Pixelry_DataTypes.h"

// The 14-byte file header at the start of every BMP file. Fields the constructor does
// not name start at 0.
struct BMFH {
  PixelryWORD bfType;      // "BM" as a little-endian word, 19778
  PixelryDWORD bfSize;     // whole file size in bytes
  PixelryWORD bfReserved1;
  PixelryWORD bfReserved2;
  PixelryDWORD bfOffBits;  // file offset of the first pixel row

  // bfType 19778, both reserved fields 0.
  BMFH();
  // Reverses the byte order of every field in place.
  void SwitchEndianess();
};

// The 40-byte info header that follows the file header. Fields the constructor does not
// name start at 0. biWidth and biHeight hold signed values in their 32 bits.
struct BMIH {
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
};

// True when this machine stores the low byte of a word last.
bool IsBigEndian();
// The word with its two bytes exchanged.
PixelryWORD FlipWORD(PixelryWORD in);
// The double word with its four bytes in reverse order.
PixelryDWORD FlipDWORD(PixelryDWORD in);

// Reads number items of size bytes into buffer. Returns false without reading when the
// stream is already at its end, and false when fewer items arrived (the buffer may then
// be partly filled); true otherwise.
bool SafeFread(char* buffer, int size, int number, std::FILE* fp);

// True when the fixed-width types have the one, two and four bytes the format needs.
bool PixelrycheckDataSize();

// The square of number, in int arithmetic.
int IntSquare(int number);

#endif
