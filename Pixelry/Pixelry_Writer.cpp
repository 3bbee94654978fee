// Saving an image as a BMP file.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <tuple>
#include <vector>

#include "Pixelry_IO.h"
#include "Pixelry_Integers.h"
#include "Pixelry_Quantize.h"
#include "detail/ByteSource.h"
#include "detail/Encode.h"
#include "detail/ImageAccess.h"
#include "detail/Layout.h"
#include "detail/OutputFile.h"
#include "detail/Report.h"
#include "detail/Streams.h"
#include "detail/Verdicts.h"
#include "detail/Writing.h"

using namespace pixelry::detail;

namespace {

bool isKnownLayout(pixelry::SixteenBitLayout layout) {
  return static_cast<unsigned>(layout) <= static_cast<unsigned>(pixelry::SixteenBitLayout::argb4444);
}

bool isKnownPalette(pixelry::Palette palette) {
  return static_cast<unsigned>(palette) <= static_cast<unsigned>(pixelry::Palette::adaptive);
}

bool adaptiveAt(int bits, const pixelry::WriteOptions& options) {
  return options.palette == pixelry::Palette::adaptive && isIndexedDepth(bits);
}

// Puts a table built for the picture into shape.
void useTable(FileShape& shape, const std::vector<RGBApixel>& table) {
  std::fill(shape.table.begin(), shape.table.end(), RGBApixel{0, 0, 0, 0});
  std::copy(table.begin(), table.end(), shape.table.begin());
  shape.tableEntries = static_cast<int>(table.size());
}

// Why runLength is refused at bits; empty where it is taken.
std::string runLengthRefusal(int bits, const pixelry::WriteOptions& options) {
  if (!options.runLength || bits == 4 || bits == 8) return {};
  return "run-length compression at " + std::to_string(bits) + " bits (only 4 and 8 are coded by runs)";
}

// Alpha masks are written at 32 bits only; other depths have no fourth channel.
bool alphaMaskAt(int bits, const pixelry::WriteOptions& options) { return options.alphaMask && bits == 32; }

// Whether no pixel of the image has an Alpha other than 0.
bool alphaNeverSet(const BMP& image) {
  const RGBApixel* pixels = ImageAccess::pixels(image);
  const std::size_t count = static_cast<std::size_t>(image.TellWidth()) * image.TellHeight();
  return std::all_of(pixels, pixels + count, [](const RGBApixel& p) { return p.Alpha == 0; });
}

// The file the image object is written as: its size, depth, resolution and table, and
// the layout, profile and palette options ask for.
FileShape shapeOf(const BMP& image, const pixelry::WriteOptions& options) {
  FileShape shape;
  shape.dither = options.dither;
  shape.runLength = options.runLength;
  shape.width = image.TellWidth();
  shape.height = image.TellHeight();
  shape.bits = image.TellBitDepth();
  shape.alphaMask = alphaMaskAt(shape.bits, options);
  shape.sixteenBitLayout = options.sixteenBitLayout;
  shape.opaque = shape.carriesAlpha() && alphaNeverSet(image);
  shape.profile = options.profile;
  std::tie(shape.xPelsPerMeter, shape.yPelsPerMeter) = ImageAccess::resolution(image);
  if (isIndexedDepth(shape.bits)) {
    shape.tableEntries = 1 << shape.bits;
    std::copy_n(ImageAccess::table(image), shape.tableEntries, shape.table.begin());
  }
  return shape;
}

// shapeOf, with the adaptive table built; refused for options the writers do not know.
pixelry::Result shapeWithTable(const BMP& image, const pixelry::WriteOptions& options,
                               const std::string& name, FileShape& shape) {
  const auto refuse = [&name](const std::string& why) {
    return failure(pixelry::Code::badArgument, "Cannot write " + name + ": " + why + ".");
  };
  if (!isKnownLayout(options.sixteenBitLayout)) return refuse("unknown 16-bit layout");
  if (!isKnownPalette(options.palette)) return refuse("unknown palette");
  const std::string noRuns = runLengthRefusal(image.TellBitDepth(), options);
  if (!noRuns.empty()) return refuse(noRuns);
  shape = shapeOf(image, options);
  if (!adaptiveAt(shape.bits, options)) return {};
  std::vector<RGBApixel> table;
  pixelry::Result built = pixelry::quantize(image, 1 << shape.bits, table);
  if (built) useTable(shape, table);
  return built;
}

// Writes the whole file.
EncodeStatus writeImage(const BMP& image, ByteSink& sink, const FileShape& shape) {
  // RGBApixel has the byte order of the image object's rows.
  return encodeWhole(sink, shape, Target::image,
                     reinterpret_cast<const PixelryBYTE*>(ImageAccess::pixels(image)),
                     static_cast<std::size_t>(image.TellWidth()) * sizeof(RGBApixel));
}

// The message of a failure, as lines.
std::vector<std::string> writeFailureLines(WriteFailure failure, const std::string& name) {
  switch (failure) {
    case WriteFailure::tooLarge:
      return {"Cannot write " + name + ": the image is too large for a BMP file."};
    case WriteFailure::cannotOpen:
      return {"Cannot open file " + name + " for output."};
    case WriteFailure::incomplete:
      return {"Could not write proper amount of data."};
    case WriteFailure::badIndex:
      return {"Cannot write " + name + ": a pixel's index lies past the colour table."};
    case WriteFailure::dataSize:
      return {"Cannot write " + name + ": the fixed-width types have the wrong size."};
    case WriteFailure::none:
      break;
  }
  return {};
}

WriteFailure failureOf(EncodeStatus status) {
  switch (status) {
    case EncodeStatus::written:
      return WriteFailure::none;
    case EncodeStatus::badIndex:
      return WriteFailure::badIndex;
    case EncodeStatus::tooLarge:
      return WriteFailure::tooLarge;
    case EncodeStatus::writeFailed:
    case EncodeStatus::noMemory:
      break;
  }
  return WriteFailure::incomplete;
}

}  // namespace

namespace pixelry::detail {

WriteFailure writeFileWith(const char* fileName, const FileShape& shape,
                           const std::function<EncodeStatus(ByteSink&)>& body) {
  if (!PixelrycheckDataSize()) return WriteFailure::dataSize;
  if (shape.fileBytes() > UINT32_MAX) return WriteFailure::tooLarge;
  OutputFile file;
  if (!file.open(fileName)) return WriteFailure::cannotOpen;
  ByteSink sink(file.stream());
  const WriteFailure failure = failureOf(body(sink));
  if (!file.commit(failure == WriteFailure::none))
    return failure == WriteFailure::none ? WriteFailure::incomplete : failure;
  return WriteFailure::none;
}

WriteFailure writeMemoryWith(std::vector<PixelryBYTE>& out, const FileShape& shape,
                             const std::function<EncodeStatus(ByteSink&)>& body) {
  if (shape.fileBytes() > UINT32_MAX) return WriteFailure::tooLarge;
  out.clear();
  ByteSink sink(out);
  const WriteFailure failure = failureOf(body(sink));
  if (failure != WriteFailure::none) out.clear();
  return failure;
}

pixelry::Result writeResult(WriteFailure failure, const std::string& name) {
  pixelry::Result result;
  if (failure == WriteFailure::none) return result;
  result.code = failure == WriteFailure::cannotOpen ? pixelry::Code::cannotOpen
                : failure == WriteFailure::tooLarge ? pixelry::Code::tooLarge
                : failure == WriteFailure::badIndex ? pixelry::Code::badArgument
                                                    : pixelry::Code::writeFailed;
  result.message = writeFailureLines(failure, name)[0];
  return result;
}

pixelry::Result shapeOfPixels(const void* pixels, int width, int height, std::size_t stride,
                              PixelFormat format, int bits, const WriteOptions& options, FileShape& shape) {
  const auto refuse = [](const std::string& why) {
    pixelry::Result result;
    result.code = pixelry::Code::badArgument;
    result.message = "Cannot encode: " + why + ".";
    return result;
  };
  if (!isKnown(format)) return refuse("unknown pixel format");
  if (!isSupportedDepth(bits)) return refuse("unsupported bit depth " + std::to_string(bits));
  if (!isKnownLayout(options.sixteenBitLayout)) return refuse("unknown 16-bit layout");
  if (!isKnownPalette(options.palette)) return refuse("unknown palette");
  const bool adaptive = adaptiveAt(bits, options);
  if (adaptive && !options.table.empty()) return refuse("a colour table given with an adaptive palette");
  if (adaptive && !pixels) return refuse("an adaptive palette needs the whole picture");
  const std::string noRuns = runLengthRefusal(bits, options);
  if (!noRuns.empty()) return refuse(noRuns);
  if (options.runLength && !pixels) return refuse("run-length compression needs the whole picture");
  if (width < 1 || height < 1) return refuse("a width or height below 1");
  if (stride < static_cast<std::size_t>(width) * bytesOf(targetOf(format)))
    return refuse("a stride shorter than a row of pixels");
  const std::size_t most = isIndexedDepth(bits) ? std::size_t{1} << bits : 256;
  if (options.table.size() > most) return refuse("a colour table of more entries than the depth indexes");
  shape.width = width;
  shape.height = height;
  shape.bits = bits;
  shape.alphaMask = alphaMaskAt(bits, options);
  shape.sixteenBitLayout = options.sixteenBitLayout;
  shape.xPelsPerMeter = options.xPelsPerMeter;
  shape.yPelsPerMeter = options.yPelsPerMeter;
  shape.profile = options.profile;
  shape.dither = options.dither;
  shape.runLength = options.runLength;
  shape.tableEntries = static_cast<int>(options.table.empty() ? most : options.table.size());
  if (options.table.empty())
    fillStandardTable(shape.table.data(), isIndexedDepth(bits) ? bits : 8);
  else
    std::copy(options.table.begin(), options.table.end(), shape.table.begin());
  if (!adaptive) return {};
  std::vector<RGBApixel> table;
  Result built = quantize(pixels, width, height, stride, format, 1 << bits, table);
  if (built) useTable(shape, table);
  return built;
}

}  // namespace pixelry::detail

bool BMP::WriteToFile(const char* FileName) {
  const FileShape shape = shapeOf(*this, {});
  const WriteFailure failure = writeFileWith(
      FileName, shape, [this, &shape](ByteSink& sink) { return writeImage(*this, sink, shape); });
  if (failure == WriteFailure::dataSize)
    failDataSize();
  else if (failure != WriteFailure::none)
    fail(writeFailureLines(failure, quoted(FileName)));
  return failure == WriteFailure::none;
}

bool pixelry::detail::writeToStream(const BMP& image, std::FILE* file) {
  ByteSink sink(file);
  return writeImage(image, sink, shapeOf(image, {})) == EncodeStatus::written;
}

pixelry::Result pixelry::writeFile(const BMP& image, const char* fileName, const WriteOptions& options) {
  FileShape shape;
  pixelry::Result refused = shapeWithTable(image, options, quoted(fileName), shape);
  if (!refused) return refused;
  return writeResult(
      writeFileWith(fileName, shape,
                    [&image, &shape](ByteSink& sink) { return writeImage(image, sink, shape); }),
      quoted(fileName));
}

pixelry::Result pixelry::writeMemory(const BMP& image, std::vector<PixelryBYTE>& out,
                                     const WriteOptions& options) {
  FileShape shape;
  pixelry::Result refused = shapeWithTable(image, options, "memory", shape);
  if (!refused) return refused;
  return writeResult(
      writeMemoryWith(out, shape,
                      [&image, &shape](ByteSink& sink) { return writeImage(image, sink, shape); }),
      "memory");
}

namespace {

// encode and encodeFile: the arguments checked, then the pixels through write (one of
// writeMemoryWith and writeFileWith, bound to its target) under the target's name.
template <class Write>
pixelry::Result encodePixels(const void* pixels, int width, int height, std::size_t stride,
                             pixelry::PixelFormat format, int bits, const pixelry::WriteOptions& options,
                             const std::string& name, Write&& write) {
  FileShape shape;
  pixelry::Result refused = pixels
                                ? shapeOfPixels(pixels, width, height, stride, format, bits, options, shape)
                                : failure(pixelry::Code::badArgument, "Cannot encode: no pixels.");
  if (!refused) return refused;
  const auto* bytes = static_cast<const PixelryBYTE*>(pixels);
  return writeResult(
      write(shape, [&](ByteSink& sink) { return encodeWhole(sink, shape, targetOf(format), bytes, stride); }),
      name);
}

}  // namespace

pixelry::Result pixelry::encode(const void* pixels, int width, int height, std::size_t stride,
                                PixelFormat format, int bits, std::vector<std::uint8_t>& out,
                                const WriteOptions& options) {
  return encodePixels(
      pixels, width, height, stride, format, bits, options, "memory",
      [&out](const FileShape& shape, const auto& body) { return writeMemoryWith(out, shape, body); });
}

pixelry::Result pixelry::encodeFile(const char* fileName, const void* pixels, int width, int height,
                                    std::size_t stride, PixelFormat format, int bits,
                                    const WriteOptions& options) {
  return encodePixels(
      pixels, width, height, stride, format, bits, options, quoted(fileName),
      [fileName](const FileShape& shape, const auto& body) { return writeFileWith(fileName, shape, body); });
}
