// Pixels in, pixels out: BMP files decoded into buffers in the caller's pixel format, and
// encoded from them, whole or a row at a time.
//
//   pixelry::Pixels picture;
//   if (pixelry::loadFile("in.bmp", pixelry::PixelFormat::rgba8, picture))
//     upload(picture.bytes.data(), picture.width, picture.height);
//
// These functions read everything the full reader reads (Pixelry_IO.h: RLE, top-down,
// bit fields with alpha, OS/2 headers) and write uncompressed files at 1, 4, 8, 16, 24
// and 32 bits, and RLE8 and RLE4 files when asked (WriteOptions::runLength). They print
// nothing, throw nothing and return a Result.
//
// Four ways in, from the least to the most control:
//   - load / loadFile: one call, the pixels in a vector it allocates;
//   - probe, then decode / decodeFile: into a buffer the caller owns, nothing allocated
//     in proportion to the image;
//   - RowReader / RowWriter: one row at a time, memory in proportion to the width only;
//   - the image object (BMP with pixelry::readFile, Pixelry_IO.h).
#ifndef PIXELRY_CODEC_H
#define PIXELRY_CODEC_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Pixelry_Export.h"
#include "Pixelry_IO.h"
#include "Pixelry_Image.h"

namespace pixelry {

// How pixels are laid out in the caller's memory: 8 bits a channel, rows top first,
// `stride` bytes from the start of one row to the start of the next (at least width x
// bytesPerPixel). Each format's rule:
//   rgba8, bgra8  4 bytes, in the order named. Alpha is the file's opacity where the
//                 file carries it (an alpha mask, or the fourth byte of a 32-bit file
//                 without bit fields when it is not 0 everywhere: see AlphaSource; 255
//                 opaque), and 255 everywhere else.
//   rgb8, bgr8    3 bytes, in the order named; a file's alpha is dropped (not applied).
//   gray8         1 byte, the luma of the colour with the weights of ITU-R BT.601:
//                 (19595 R + 38470 G + 7471 B + 32768) / 65536, rounded to nearest;
//                 alpha is ignored.
//   index8        1 byte, the colour-table index, for files with a table (1, 4 and 8
//                 bits, RLE8 and RLE4); other files are refused (Code::unsupported).
// Pixels the data never reaches are white (with Alpha 0 where the file carries alpha,
// as the image object has them; index 0 in index8); in run-length files they take
// colour-table entry 0.
enum class PixelFormat { rgba8, bgra8, rgb8, bgr8, gray8, index8 };

// Bytes of one pixel in a format: 4, 4, 3, 3, 1, 1.
PIXELRY_API std::size_t bytesPerPixel(PixelFormat format);

// What the headers of a BMP file say, as probe reads them.
// Where a file's opacity comes from.
enum class AlphaSource {
  none,  // nowhere: rgba8 and bgra8 give 255
  mask,  // an alpha bit-field mask
  // The fourth byte of a 32-bit file without bit fields, as ImageMagick, ffmpeg and SDL
  // write it, when it is not 0 in every pixel (a 0 everywhere is padding). It is looked
  // for in memory and in streams that can seek; from one that cannot (a pipe), the
  // fourth byte is taken as padding.
  fourthByte,
};

struct Info {
  int width = 0;
  int height = 0;  // always positive; topDown tells the row order
  int bits = 0;    // bits per pixel as stored (1, 4, 8, 16, 24, 32; others when refused)
  bool topDown = false;
  // The file carries opacity (alphaSource is not none), so rgba8 and bgra8 carry it.
  bool alpha = false;
  AlphaSource alphaSource = AlphaSource::none;
  // biCompression as stored: 0 none, 1 RLE8, 2 RLE4, 3 bit fields, 4 JPEG, 5 PNG, 6 bit
  // fields with alpha (OS/2 2.x headers use 3 and 4 for Huffman 1D and RLE24).
  std::uint32_t compression = 0;
  // Bytes of the info header: 12 (OS/2 1.x), 16 to 64 (OS/2 2.x), 40, 52, 56, 108, 124.
  int headerSize = 0;
  // Red, green, blue and alpha masks of the pixels at 16 and 32 bits (5-5-5 for 16-bit
  // files without bit fields; 8-8-8 for plain 32-bit files, with alpha 0xFF000000 when
  // their fourth byte carries it); 0 otherwise.
  std::uint32_t masks[4] = {};
  // The colour table as the file stores it (Alpha 0, never converted), count = table.size(): the entries
  // the header declares, as far as the pixel offset leaves room for them.
  std::vector<RGBApixel> table;
  // Resolution in pixels per metre, 0 when not set.
  std::int32_t xPelsPerMeter = 0;
  std::int32_t yPelsPerMeter = 0;
  // bfSize and bfOffBits of the file header.
  std::uint32_t fileSize = 0;
  std::uint32_t dataOffset = 0;
  // Whether the classic reader (BMP::ReadFromFile) takes the file.
  bool classic = false;
  // The file's colour space as a read with the default options treats it (toSrgb), and
  // the bytes of the ICC profile it embeds (empty: none, or out of reach).
  ColourHandling colour = ColourHandling::none;
  std::vector<std::uint8_t> profile;
};

// Reads the headers at data (size bytes), and the colour table or masks, into info: no
// pixel is decoded and nothing is allocated for them, whatever size the file claims.
// Returns what decode would say before decoding: Code::ok when the file would be read,
// otherwise the refusal's code and message (notBmp, truncated, unsupported, invalid).
// info holds what the headers said as far as they could be read. ReadOptions::maxPixels
// is not applied here: compare width x height with it yourself, or let load say.
PIXELRY_API Result probe(const void* data, std::size_t size, Info& info);
// As probe, from a file (Code::cannotOpen when it cannot be opened).
PIXELRY_API Result probeFile(const char* fileName, Info& info);

// Decodes the image at data into out, in format, rows top first and stride bytes apart;
// out must hold height x stride bytes for the height probe gives. Bytes of a row past
// width x bytesPerPixel are never written. Nothing proportional to the image is
// allocated (a stream's bytes pass through a buffer of at most 1 MiB or one row), and the
// pixel limit is not applied: the caller already holds the memory.
// Refused with Code::badArgument for a null out or a stride below width x
// bytesPerPixel, and with the reader's codes for files it refuses; out is then left
// untouched. A success may carry warnings (data that ends early: the rows it lacks are
// white, or entry 0 in a run-length file).
PIXELRY_API Result decode(const void* data, std::size_t size, PixelFormat format, void* out,
                          std::size_t stride, const ReadOptions& options = {});
PIXELRY_API Result decodeFile(const char* fileName, PixelFormat format, void* out, std::size_t stride,
                              const ReadOptions& options = {});

// A decoded picture that owns its bytes.
struct Pixels {
  int width = 0, height = 0;
  PixelFormat format = PixelFormat::rgba8;
  std::size_t stride = 0;  // width x bytesPerPixel: rows are packed
  std::vector<std::uint8_t> bytes;
  // In index8, the colour table the indices refer to: 2^bits entries, the file's (Alpha
  // 0) and black past them. Empty in other formats.
  std::vector<RGBApixel> table;
};

// probe, then decode into pixels.bytes. Images of more than options.maxPixels pixels are
// refused with Code::tooLarge before anything is allocated, and so is a buffer that
// cannot be allocated. On failure pixels is left as it was. The memory pixels already
// holds is used again: loading picture after picture into one Pixels spares the system's
// work of handing out fresh memory each time.
PIXELRY_API Result load(const void* data, std::size_t size, PixelFormat format, Pixels& pixels,
                        const ReadOptions& options = {});
PIXELRY_API Result loadFile(const char* fileName, PixelFormat format, Pixels& pixels,
                            const ReadOptions& options = {});

// Encodes width x height pixels in format, rows top first and stride bytes apart, as a
// BMP file at bits (1, 4, 8, 16, 24 or 32) into out, replacing its contents. The bytes
// are those writeMemory gives for an image with the same pixels: bottom-up rows, 16 bits
// as 5-6-5 bit fields, 32 bits with an alpha mask when options.alphaMask says so.
// At 1, 4 and 8 bits the colour table is options.table (at most 2^bits entries; empty:
// the standard table of the depth), or with Palette::adaptive one made for the pixels.
// index8 pixels are its indices (one past the table is refused); other formats take the
// nearest entry, or with options.dither the one error diffusion gives. index8 input at
// 16, 24 and 32 bits is
// the colour of its entry. gray8 is R = G = B, opaque; rgb8 and bgr8 are opaque.
// Refused with Code::badArgument for a size below 1, a stride below width x
// bytesPerPixel, a null pixels, an unknown depth, a table that does not fit, or an
// adaptive palette with a table or from index8 pixels; with
// Code::tooLarge for a file of more than 4 GiB.
PIXELRY_API Result encode(const void* pixels, int width, int height, std::size_t stride, PixelFormat format,
                          int bits, std::vector<std::uint8_t>& out, const WriteOptions& options = {});
// As encode, into a file, replaced whole or not at all as writeFile does.
PIXELRY_API Result encodeFile(const char* fileName, const void* pixels, int width, int height,
                              std::size_t stride, PixelFormat format, int bits,
                              const WriteOptions& options = {});

// The order in which a RowReader hands out rows.
enum class RowOrder {
  file,         // as stored: bottom row first in a bottom-up file, top first in a top-down one
  topFirst,     // row 0 first
  bottomFirst,  // row height - 1 first
};

// Reads an image one row at a time, holding memory in proportion to its width only,
// whatever the encoding. Rows come in RowOrder::file from any source; the other orders
// need uncompressed rows and a source that can seek (memory, or a regular file), or agree
// with the file's own order.
//
//   pixelry::RowReader reader;
//   if (!reader.open("scan.bmp", pixelry::PixelFormat::gray8)) ...;
//   std::vector<std::uint8_t> row(reader.rowBytes());
//   for (int y; reader.next(row.data(), y);) use(y, row);
class PIXELRY_API RowReader {
 public:
  RowReader();
  RowReader(RowReader&&) noexcept;
  RowReader& operator=(RowReader&&) noexcept;
  ~RowReader();

  // Opens a file, size bytes of memory (which must outlive the reader) or an open stream
  // (left open, read from where it stands). Refused as load refuses, options.maxPixels
  // included, and with Code::unsupported for an order the source cannot give.
  Result open(const char* fileName, PixelFormat format, RowOrder order = RowOrder::file,
              const ReadOptions& options = {});
  Result open(const void* data, std::size_t size, PixelFormat format, RowOrder order = RowOrder::file,
              const ReadOptions& options = {});
  Result open(std::FILE* stream, PixelFormat format, RowOrder order = RowOrder::file,
              const ReadOptions& options = {});

  // The headers of the open file.
  const Info& info() const;
  // Bytes of one row in the format: width x bytesPerPixel.
  std::size_t rowBytes() const;
  // Decodes the next row into out (rowBytes bytes) and sets y to its row number (0 is
  // the top). False once every row has been given, or when nothing is open.
  bool next(void* out, int& y);
  // The outcome so far: warnings of data that ended early, as decode reports them, and
  // what was done with the file's colour space (Result::colour, Result::profile; the rows
  // are converted to sRGB as ReadOptions::colour asks).
  const Result& result() const;

 private:
  struct State;
  Result start(std::unique_ptr<State> opened, PixelFormat format, RowOrder order, const ReadOptions& options);
  std::unique_ptr<State> state_;
};

// Writes an uncompressed BMP file one row at a time, with memory in proportion to the
// width only. Rows are given bottom first (row height - 1 first), the order in which a
// bottom-up file stores them; the file's bytes are those encode writes for the same
// pixels. A file is replaced whole or not at all, as writeFile does: close commits it.
class PIXELRY_API RowWriter {
 public:
  RowWriter();
  RowWriter(RowWriter&&) noexcept;
  RowWriter& operator=(RowWriter&&) noexcept;
  // Abandons a file that was not closed: the target stays as it was.
  ~RowWriter();

  // Starts a file, appends to out (cleared first), or writes to an open stream (left
  // open). Width, height, format, bits and options as encode takes them; the headers
  // and the colour table are written at once.
  Result open(const char* fileName, int width, int height, PixelFormat format, int bits,
              const WriteOptions& options = {});
  Result open(std::vector<std::uint8_t>& out, int width, int height, PixelFormat format, int bits,
              const WriteOptions& options = {});
  Result open(std::FILE* stream, int width, int height, PixelFormat format, int bits,
              const WriteOptions& options = {});

  // Row height - 1 - (rows written so far): the row the next write takes.
  int nextRow() const;
  // Writes the next row (width pixels in the format). Refused once all rows are written,
  // for an index past the table, or when a write fails (the file is then abandoned).
  Result write(const void* row);
  // Finishes the file: every row must have been written. A file replaces its target only
  // here; a stream is flushed.
  Result close();

 private:
  struct State;
  // Opens the file by name, or else writes to memory, or else to stream.
  Result start(std::unique_ptr<State> started, int width, int height, PixelFormat format, int bits,
               const WriteOptions& options, std::FILE* stream, std::vector<std::uint8_t>* memory,
               const char* fileName);
  std::unique_ptr<State> state_;
};

}  // namespace pixelry

#endif
