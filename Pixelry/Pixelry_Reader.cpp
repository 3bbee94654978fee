// The image object's front doors of reading: ReadFromFile, which prints as the classic
// reader always has, and readFile / readMemory, which read the whole format and return a
// Result. Both parse, decode into a fresh grid, and commit only on success.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "Pixelry_Format.h"
#include "Pixelry_IO.h"
#include "Pixelry_Image.h"
#include "detail/ByteSource.h"
#include "detail/Decode.h"
#include "detail/FileNames.h"
#include "detail/ImageAccess.h"
#include "detail/Parse.h"
#include "detail/Report.h"
#include "detail/Streams.h"
#include "detail/Verdicts.h"

using namespace pixelry::detail;

namespace {

// The classic reader over any byte source: a refused file prints its error and leaves
// the image 1 x 1 at 1 bit (unchanged without the signature); the resolution is taken
// over once the headers were read whole, even from a file refused afterwards.
bool readClassic(BMP& image, ByteSource& source, const char* fileName) {
  const std::string name = quoted(fileName);
  const ParseOutcome parsed = parseBmp(source);
  const FileLayout& layout = parsed.layout;
  if (parsed.headersRead) ImageAccess::setResolution(image, layout.xPelsPerMeter, layout.yPelsPerMeter);
  if (parsed.refusal != Refusal::none) {
    fail(refusalLines(parsed, name, 0));
    if (parsed.refusal != Refusal::notBmp) ImageAccess::reset(image);
    return false;
  }
  Decoded decoded = decodeImage(source, layout);
  if (!decoded.grid) {
    warnNoMemory(layout.width, layout.height, image.TellWidth(), image.TellHeight());
    fail({tooLargeForMemory(name)});
    ImageAccess::reset(image);
    return false;
  }
  for (const Oddity oddity : parsed.oddities) warn(oddityLines(oddity, name));
  if (decoded.status == DecodeStatus::cut && layout.bits != 16)
    fail({"Could not read proper amount of data."});
  ImageAccess::adopt(image, layout.bits, layout.width, layout.height, std::move(decoded.grid),
                     layout.table.data());
  return true;
}

// The full reader: the image changes only when the whole read succeeds.
pixelry::Result readFull(BMP& image, ByteSource& source, const std::string& name,
                         const pixelry::ReadOptions& options) {
  const ParseOutcome parsed =
      parseBmp(source, Policy::full, options.maxPixels, options.colour == pixelry::Colour::toSrgb);
  pixelry::Result result = verdictOf(parsed, name, options.maxPixels);
  if (!result) return result;
  const FileLayout& layout = parsed.layout;
  Decoded decoded = decodeImage(source, layout);
  if (!decoded.grid) return failure(pixelry::Code::tooLarge, tooLargeForMemory(name));
  if (decoded.status == DecodeStatus::cut) result.warnings.push_back(cutWarning(layout, name));
  ImageAccess::adopt(image, layout.bits, layout.width, layout.height, std::move(decoded.grid),
                     tableAsRead(layout).data());
  ImageAccess::setResolution(image, layout.xPelsPerMeter, layout.yPelsPerMeter);
  return result;
}

}  // namespace

bool BMP::ReadFromFile(const char* FileName) {
  if (!PixelrycheckDataSize()) {
    failDataSize();
    return false;
  }
  std::FILE* file = openFile(FileName, "rb");
  if (!file) {
    fail({cannotOpen(quoted(FileName))});
    ImageAccess::reset(*this);
    return false;
  }
  ByteSource source(file);
  const bool loaded = readClassic(*this, source, FileName);
  std::fclose(file);
  return loaded;
}

bool pixelry::detail::readFromStream(BMP& image, std::FILE* file, const char* name) {
  ByteSource source(file);
  return readClassic(image, source, name);
}

pixelry::Result pixelry::readFile(BMP& image, const char* fileName, const ReadOptions& options) {
  return withFile(fileName, [&](ByteSource& source, const std::string& name) {
    return readFull(image, source, name, options);
  });
}

pixelry::Result pixelry::readMemory(BMP& image, const void* data, std::size_t size,
                                    const ReadOptions& options) {
  ByteSource source(static_cast<const PixelryBYTE*>(data), data ? size : 0);
  return readFull(image, source, "memory", options);
}
