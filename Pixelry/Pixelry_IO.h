// Reading and writing BMP files and memory buffers with results instead of messages.
//
// These entry points print nothing: every outcome comes back in a Result. They read every
// kind of BMP file in common use, where ReadFromFile reads uncompressed bottom-up files
// with a 40-byte header only:
//   - 1, 4, 8, 16, 24 and 32 bits per pixel, bottom-up and top-down (negative height);
//   - RLE8 and RLE4 (pixels the stream never sets take colour-table entry 0);
//   - bit fields at 16 and 32 bits with any contiguous masks, alpha masks included, from
//     the 12 (16) bytes after a 40-byte header or inside 52-, 56-, 108- and 124-byte
//     headers; a channel of n bits becomes round(v x 255 / (2^n - 1)), so 5-bit 31 reads
//     255. Without an alpha mask Alpha is 0, except in 32-bit files without bit fields,
//     whose fourth byte is kept in Alpha (and is their opacity unless it is 0 in every
//     pixel);
//   - OS/2 1.x (12-byte header, 3-byte palette entries) and OS/2 2.x headers (16 to 64
//     bytes);
//   - colour tables shorter or longer than the depth needs (biClrUsed honoured; indices
//     past the table read black), pixel data at any offset;
//   - colour spaces of V4 and V5 headers: an embedded ICC profile or calibrated RGB
//     (endpoints and gammas) is converted to sRGB by default, as a colour-managed viewer
//     shows the pixels (ReadOptions::colour). ICC v2 and v4 matrix/TRC profiles are
//     converted with the relative colorimetric intent, as Little CMS converts 8-bit RGB
//     to sRGB (within 1 in each channel): tone curves of any kind (curv with 0, 1 or n
//     points, para of types 0 to 4), the rXYZ, gXYZ and bXYZ colorants (D50), sRGB's
//     matrix and encoding curve. Calibrated RGB takes the endpoints' chromaticities as
//     primaries with a D65 white and the three gammas. Alpha and colour-table indices are
//     left as they are. A profile that cannot be converted (lookup tables, CMYK, grey,
//     malformed tags), a linked profile and one the reader cannot reach are read as
//     stored, with a warning that says why; Result::colour tells what was done.
// Refused with a reason that names the feature: 2- and 64-bit pixels, embedded JPEG or
// PNG, OS/2 Huffman and RLE24 compression, OS/2 bitmap arrays, top-down run-length files,
// masks that are not one run of bits and channels wider than 10 bits. Fully transparent
// pixels of a file with an alpha mask keep the colour the file stores for them.
#ifndef PIXELRY_IO_H
#define PIXELRY_IO_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Pixelry_DataTypes.h"
#include "Pixelry_Export.h"
#include "Pixelry_Image.h"

namespace pixelry {

enum class Code {
  ok,
  cannotOpen,   // the file could not be opened
  notBmp,       // the data does not begin with "BM"
  truncated,    // the data ends inside the headers
  unsupported,  // a kind of BMP file that is not read (the message names it)
  invalid,      // headers that contradict themselves (a size below 1, an unknown depth)
  tooLarge,     // more pixels than ReadOptions::maxPixels, or than memory holds
  writeFailed,  // a write did not complete; the target is as it was
  badArgument,  // the caller's arguments: a null buffer, a stride too short, an unknown depth
};

// What a read did with the colour space a file gives (see ReadOptions::colour).
enum class ColourHandling {
  none,       // the file gives none, or names sRGB or Windows' default: pixels as stored
  identity,   // a profile that describes sRGB: converting changes no value, so none is made
  converted,  // the pixels (and colour table) were converted from the file's colours to sRGB
  asStored,   // the file's colour space was not applied: asked for, or it cannot be (a warning says why)
};

struct Result {
  Code code = Code::ok;
  // Empty on success; otherwise one line naming the file (or "memory") and what is wrong.
  std::string message;
  // Oddities the read survived: extra bytes skipped, a short colour table, pixel data or
  // a run-length stream that ends early (what was decoded is kept, the rest is white, or
  // entry 0 for a run-length stream), a colour space that could not be converted (the
  // colours are as stored).
  std::vector<std::string> warnings;
  // After a read: the file carries opacity, so the image's Alpha is its opacity (255
  // opaque): an alpha mask, or the fourth byte of a 32-bit file without bit fields that
  // is not 0 in every pixel. Otherwise Alpha carries no opacity and is usually 0.
  bool alpha = false;
  // After a read: what was done with the file's colour space, and the bytes of the ICC
  // profile it embeds (empty when it has none, or none the reader could reach).
  ColourHandling colour = ColourHandling::none;
  std::vector<std::uint8_t> profile;
  explicit operator bool() const { return code == Code::ok; }
};

// The pixel limit that the entry points which allocate for the caller apply by default:
// 2^27 + 2^26 pixels (for example 16384 x 12288, 768 MiB as an image object), a little
// above Pillow's. A 54-byte file can claim 2^62 pixels; this keeps such a file from
// costing more than a moment.
constexpr std::uint64_t kDefaultMaxPixels = (std::uint64_t{1} << 27) + (std::uint64_t{1} << 26);

// Which colours a read gives when the file gives its colour space.
enum class Colour {
  toSrgb,    // as a colour-managed viewer shows them: converted to sRGB
  asStored,  // the values the file stores, whatever they mean
};

struct ReadOptions {
  // Files whose width x height exceeds this are refused with Code::tooLarge before
  // anything is allocated, by the entry points that allocate for the caller (readFile,
  // readMemory, load, loadFile, RowReader); decode into the caller's buffer ignores it.
  // 0 lifts the limit, leaving memory as the only bound.
  std::uint64_t maxPixels = kDefaultMaxPixels;
  // Every reader (readFile, readMemory, decode, decodeFile, load, loadFile, RowReader)
  // converts a file's embedded profile or calibrated RGB to sRGB, or leaves the values
  // as stored.
  Colour colour = Colour::toSrgb;
};

// How 16-bit pixels are laid out, each with the header the most programs read.
enum class SixteenBitLayout {
  // Red 0xF800, green 0x07E0, blue 0x001F: a 40-byte header and the three masks after it
  // (BI_BITFIELDS), as WriteToFile writes. Channels keep their top bits.
  rgb565,
  // Red 0x7C00, green 0x03E0, blue 0x001F: a 40-byte header without masks (BI_RGB), the
  // layout every reader takes 16-bit pixels to have.
  rgb555,
  // With alpha, in a 108-byte header that holds the masks (BI_BITFIELDS): alpha 0x8000
  // (1 for Alpha 128 and above), red 0x7C00, green 0x03E0, blue 0x001F ...
  argb1555,
  // ... or alpha 0xF000, red 0x0F00, green 0x00F0, blue 0x000F.
  argb4444,
};
// Channels of the layouts other than rgb565 are rounded to the nearest level,
// (v x (2^n - 1) + 127) / 255, so that a file read and written back in its own layout
// keeps its pixels' bytes.

// At 1, 4 and 8 bits: where the colour table comes from.
enum class Palette {
  // The table given: for encode and RowWriter WriteOptions::table, or the standard table
  // of the depth when it is empty; for the image object's writers the image's own table.
  standard,
  // A table built for the picture by quantize (Pixelry_Quantize.h): at most 2^bits
  // colours, exactly the picture's own when it has no more. Needs the whole picture, so
  // RowWriter refuses it, as it refuses it with WriteOptions::table given.
  adaptive,
};

struct WriteOptions {
  // At 32 bits, write a 108-byte header with bit fields red 0x00FF0000, green 0x0000FF00,
  // blue 0x000000FF and alpha 0xFF000000, so that programs that look for an alpha mask
  // read the image's Alpha. Off: the classic 40-byte layout of WriteToFile.
  // An image object whose Alpha is 0 in every pixel (Alpha nobody set: a SetSize'd
  // image, or one read from a file without alpha) is written opaque, Alpha 255, here and
  // in the 16-bit layouts with alpha; encode and RowWriter write a buffer's alpha as given.
  bool alphaMask = false;
  // At 16 bits: the layout of the pixels.
  SixteenBitLayout sixteenBitLayout = SixteenBitLayout::rgb565;
  // At 1, 4 and 8 bits, for encode and RowWriter: the colour table written (at most
  // 2^bits entries, the rest of the table is black); empty, the standard table of the
  // depth. The image object's writers use the image's own table.
  std::vector<RGBApixel> table;
  // For encode and RowWriter: the resolution in pixels per metre, 0 written as 3780 (96
  // dpi). The image object's writers use the image's own.
  std::int32_t xPelsPerMeter = 0;
  std::int32_t yPelsPerMeter = 0;
  // An ICC profile to embed: not empty, the file gets a 124-byte header whose colour space
  // is PROFILE_EMBEDDED, with the masks of 16-bit and alpha-mask files inside it, and the
  // profile after the pixels. Empty: no profile, the layouts above. The bytes are not
  // checked.
  std::vector<std::uint8_t> profile;
  // At 1, 4 and 8 bits: the colour table (see Palette). Ignored at 16, 24 and 32 bits.
  Palette palette = Palette::standard;
  // At 1, 4 and 8 bits: pixels are mapped to the table with Floyd-Steinberg error
  // diffusion, rows in serpentine order, rather than each to its nearest entry. Ignored
  // at other depths and for index8 pixels, which are indices already.
  bool dither = false;
  // At 4 and 8 bits: pixels compressed by runs (RLE4, RLE8), bottom-up, encoded and
  // absolute runs chosen to keep the file small: each row in the fewest bytes its runs
  // allow, absolute runs filling whole 16-bit words. The indices are the uncompressed
  // file's. The coded pixels are held in memory until the headers, which give their
  // size, are written; a coded file of more than 4 GiB is refused with Code::tooLarge.
  // Refused (Code::badArgument) at other depths and by RowWriter.
  bool runLength = false;
};

// Reads a file into image. On failure the image is left exactly as it was.
PIXELRY_API Result readFile(BMP& image, const char* fileName, const ReadOptions& options = {});
// Reads size bytes at data into image. On failure the image is left exactly as it was.
PIXELRY_API Result readMemory(BMP& image, const void* data, std::size_t size,
                              const ReadOptions& options = {});

// Writes image to a file as WriteToFile does (the same bytes by default, the same
// replacement of an existing file), without printing.
PIXELRY_API Result writeFile(const BMP& image, const char* fileName, const WriteOptions& options = {});
// Writes into out (replacing its contents) the bytes writeFile would write.
PIXELRY_API Result writeMemory(const BMP& image, std::vector<PixelryBYTE>& out,
                               const WriteOptions& options = {});

// File names are UTF-8 on every system (on Windows they are opened through the wide API).
// A program's arguments in that form: on Windows, where argv holds them in the ANSI code
// page, they are taken from the wide command line; elsewhere argv is returned as it is.
PIXELRY_API std::vector<std::string> utf8Arguments(int argc, char* argv[]);

}  // namespace pixelry

#endif
