// The in-memory image: the pixel record and the image object.
#ifndef PIXELRY_IMAGE_H
#define PIXELRY_IMAGE_H

#include <array>
#include <memory>

#include "Pixelry_DataTypes.h"
#include "Pixelry_Export.h"

// One pixel or one colour-table entry. The field order is the byte order of a BMP
// file's pixels and palette entries, so file bytes map onto it without reordering.
// It has no constructor: a fresh one holds no defined value until one is stored.
struct RGBApixel {
  PixelryBYTE Blue;
  PixelryBYTE Green;
  PixelryBYTE Red;
  PixelryBYTE Alpha;
};

namespace pixelry::detail {
class ImageAccess;
}

// A raster image held as full RGBApixels whatever its bit depth; the depth only decides
// how the image is stored in a file and whether it has a colour table (1, 4 and 8 bits).
// Coordinates are (column, row) with row 0 at the top. A refused request leaves the image
// as it was and, while warnings are on, prints a warning; SetPixel outside the grid is
// refused silently, and a refused ReadFromFile resets the image (see there).
//
// Threads: distinct images may be used from distinct threads at the same time (read,
// written, rescaled, copied, their files inspected); the library keeps no shared state
// but the warnings switch and the message lock. One image may be shared between threads
// only for calls that leave it unchanged: the const members, copying it, WriteToFile,
// FindClosestColor and the Write...Row encoders, and reading it as the source of the
// pixel copies. Every other call (SetSize, ReadFromFile, Rescale, SetPixel, writing
// through operator(), TellHorizontalDPI and TellVerticalDPI, which store 3780 into an
// unset resolution) needs the image to itself.
class PIXELRY_API BMP {
 public:
  // A 1 x 1 image at 24 bits whose pixel is white with Alpha 0; resolution not set (0).
  BMP();
  // A deep copy: size, depth, colour table, pixels and resolution, all exact.
  BMP(const BMP& source);
  // Takes over source's pixels, table and resolution without copying them; source
  // becomes a new image (1 x 1 at 24 bits, white, resolution not set).
  BMP(BMP&& source) noexcept;
  // Images are not assigned; copy one with the copy constructor.
  BMP& operator=(const BMP&) = delete;
  ~BMP();

  // Bits per pixel used for file input and output: 1, 4, 8, 16, 24 or 32.
  int TellBitDepth() const;
  // Number of pixel columns (at least 1).
  int TellWidth() const;
  // Number of pixel rows (at least 1).
  int TellHeight() const;
  // 2 to the bit depth: 2, 16, 256, 65536, 16777216; 16777216 at 32 bits too.
  int TellNumberOfColors() const;

  // Sets the bit depth; at 1, 4 and 8 bits the colour table becomes the standard one.
  // Pixels are never touched. Returns false with a warning for an unsupported depth.
  bool SetBitDepth(int NewDepth);
  // Replaces the pixels by a white grid (255, 255, 255, Alpha 0) of the given size.
  // Returns false with a warning, changing nothing, for a width or height below 1 or a
  // grid that cannot be allocated.
  bool SetSize(int NewWidth, int NewHeight);

  // Returns a copy of pixel (i, j); coordinates outside the grid are clamped to the
  // nearest border pixel, with a warning.
  RGBApixel GetPixel(int i, int j) const;
  // Stores NewPixel at (i, j) and returns true; outside the grid stores nothing, prints
  // nothing and returns false.
  bool SetPixel(int i, int j, RGBApixel NewPixel);
  // Returns the address of pixel (i, j) for reading and writing, clamped as GetPixel.
  // It stays valid until the next SetSize or ReadFromFile, or the image's destruction.
  // The pixels of a row are contiguous: (*this)(0, j) + i addresses pixel (i, j) for
  // every i from 0 to TellWidth() - 1, so a whole row can be worked with one pointer.
  RGBApixel* operator()(int i, int j);

  // Returns colour-table entry ColorNumber; white with Alpha 0 and a warning when the
  // depth has no table or the index is out of range.
  RGBApixel GetColor(int ColorNumber) const;
  // Stores colour-table entry ColorNumber and returns true; false with a warning when
  // the depth has no table or the index is out of range.
  bool SetColor(int ColorNumber, RGBApixel NewColor);
  // Fills the colour table with the standard table of the depth and returns true;
  // false with a warning at 16, 24 and 32 bits.
  bool CreateStandardColorTable();

  // Sets the resolution from dots per inch (stored as whole pixels per metre).
  void SetDPI(int HorizontalDPI, int VerticalDPI);
  // Horizontal resolution in whole dots per inch; an unset (0) resolution becomes 3780
  // pixels per metre first, that is 96 dpi.
  int TellHorizontalDPI();
  // Vertical resolution in whole dots per inch, as TellHorizontalDPI.
  int TellVerticalDPI();

  // Loads an uncompressed bottom-up BMP file at 1, 4, 8, 16, 24 or 32 bits (bit fields
  // at 16 bits). Returns true on success, also when pixel data ends early (the missing
  // rows stay white, after an error line); false after an error message on refusal. A
  // refused file leaves the image 1 x 1 at 1 bit (with the file's resolution once its
  // headers were read whole); a file that does not begin with "BM" leaves it unchanged.
  bool ReadFromFile(const char* FileName);
  // Writes the image as an uncompressed BMP file at its bit depth (16 bits with 5-6-5
  // bit fields; 1, 4 and 8 bits through the nearest colour-table entry). Returns true
  // when every byte was written; false after an error message otherwise.
  // A regular file, new or existing, is written whole to a temporary file beside it and
  // then renamed over it: when the write fails the file is left as it was (or absent) and
  // no temporary file stays behind, and readers see the old file or the new one, never a
  // mix. An existing file keeps its permission bits, and its owner and group where the
  // process may set them; a symbolic link stays a link and the file it points to is
  // replaced. Devices, FIFOs, files with other hard links, writable files in a directory
  // that refuses new files and files mounted onto themselves (as containers mount single
  // files) are written in place, without that guarantee.
  // Nothing is forced to the disk (no fsync): after a power loss the file may be old, new
  // or empty, as the file system decides.
  bool WriteToFile(const char* FileName);

  // Row decoders: fill image row Row from one file row in Buffer. Each returns false,
  // changing nothing, when the buffer is too short for the width or Row is outside
  // the image.
  bool Read32bitRow(PixelryBYTE* Buffer, int BufferSize, int Row);
  bool Read24bitRow(PixelryBYTE* Buffer, int BufferSize, int Row);
  bool Read8bitRow(PixelryBYTE* Buffer, int BufferSize, int Row);
  bool Read4bitRow(PixelryBYTE* Buffer, int BufferSize, int Row);
  bool Read1bitRow(PixelryBYTE* Buffer, int BufferSize, int Row);

  // Row encoders: pack image row Row into the start of Buffer, leaving the bytes after
  // the pixels alone. Each returns false, writing nothing, when the buffer is too short
  // for the width or Row is outside the image.
  bool Write32bitRow(PixelryBYTE* Buffer, int BufferSize, int Row);
  bool Write24bitRow(PixelryBYTE* Buffer, int BufferSize, int Row);
  bool Write8bitRow(PixelryBYTE* Buffer, int BufferSize, int Row);
  bool Write4bitRow(PixelryBYTE* Buffer, int BufferSize, int Row);
  bool Write1bitRow(PixelryBYTE* Buffer, int BufferSize, int Row);

  // Returns the index of the colour-table entry nearest to input in red, green and blue
  // (squared distance; Alpha ignored); ties go to the lowest index. At 16, 24 and 32 bits
  // there is no table: prints the "lacks a color table" warning once and returns 0, and
  // so do the 8-, 4- and 1-bit row encoders, once per row, writing index 0 throughout.
  PixelryBYTE FindClosestColor(RGBApixel& input);

 private:
  // The reader, the writer and the utilities work on the fields through this.
  friend class pixelry::detail::ImageAccess;

  // Row Row of the grid.
  RGBApixel* RowPointer(int Row) const;
  // The pixel at (i, j) clamped into the grid, with the out-of-range warning.
  RGBApixel* ClampedPixel(int i, int j) const;
  // The checked row codecs behind the public Read...Row and Write...Row members.
  bool DecodeRow(int bits, const PixelryBYTE* Buffer, int BufferSize, int Row);
  bool EncodeRow(int bits, PixelryBYTE* Buffer, int BufferSize, int Row);
  bool HasColorTable() const;

  int BitDepth;
  int Width;
  int Height;
  // Row-major, row 0 (the top) first: one contiguous allocation of Width x Height.
  std::unique_ptr<RGBApixel[]> Pixels;
  // Used at 1, 4 and 8 bits (2^BitDepth entries); held in place, so an indexed image
  // always has its table.
  std::array<RGBApixel, 256> ColorTable;
  int XPelsPerMeter;
  int YPelsPerMeter;
};

#endif
