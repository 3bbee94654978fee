// The two front doors of reading: ReadFromFile, which prints as the classic reader always
// has, and readFile / readMemory, which read the whole format and return a Result. Both
// parse, decode into a fresh grid, and commit only on success.
#include <cstdio>
#include <string>
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

using namespace pixelry::detail;

namespace {

// The message of a refusal, as lines.
std::vector<std::string> refusalLines(const ParseOutcome& parsed, const std::string& name) {
  const FileLayout& layout = parsed.layout;
  switch (parsed.refusal) {
    case Refusal::none:
      return {};
    case Refusal::notBmp:
      return {name + " is not a Windows BMP file!"};
    case Refusal::corrupted:
      return {name + " is obviously corrupted."};
    case Refusal::rle:
      return {name + " is (RLE) compressed.", "Pixelry does not support compression."};
    case Refusal::unknownFormat:
      return {name + " is in an unsupported format.",
              "(bmih.biCompression = " + std::to_string(layout.compression) + ")",
              "The file is probably an old OS2 bitmap or corrupted."};
    case Refusal::bitFieldsDepth:
      return {name + " uses bit fields and is not a", "16-bit file. This is not supported."};
    case Refusal::unsupportedDepth:
      return {name + " has unrecognized bit depth."};
    case Refusal::badSize:
      return {name + " has a non-positive width or height."};
    case Refusal::unsupportedFeature:
      return {name + " uses " + parsed.feature + ", which Pixelry does not read."};
    case Refusal::tooLarge:
      return {name + " has more pixels than the limit the caller set."};
  }
  return {};
}

std::vector<std::string> oddityLines(Oddity oddity, const std::string& name) {
  switch (oddity) {
    case Oddity::extraBytes:
      return {"Extra meta data detected in file " + name, "Data will be skipped."};
    case Oddity::shortTable:
      return {"file " + name + " has an underspecified", "color table. The table will be padded with extra",
              "white (255,255,255,0) entries."};
    case Oddity::rleCut:
      return {name + ": the run-length data ends early; pixels it never set", "take colour-table entry 0."};
  }
  return {};
}

std::string tooLargeForMemory(const std::string& name) { return name + " is too large to fit in memory."; }
std::string cannotOpen(const std::string& name) { return "Cannot open file " + name + " for input."; }

// The classic reader over any byte source: a refused file prints its error and leaves
// the image 1 x 1 at 1 bit (unchanged without the signature); the resolution is taken
// over once the headers were read whole, even from a file refused afterwards.
bool readClassic(BMP& image, ByteSource& source, const char* fileName) {
  const std::string name = quoted(fileName);
  const ParseOutcome parsed = parseBmp(source);
  const FileLayout& layout = parsed.layout;
  if (parsed.headersRead) ImageAccess::setResolution(image, layout.xPelsPerMeter, layout.yPelsPerMeter);
  if (parsed.refusal != Refusal::none) {
    fail(refusalLines(parsed, name));
    if (parsed.refusal != Refusal::notBmp) ImageAccess::reset(image);
    return false;
  }
  Decoded decoded = decodeBmp(source, layout);
  if (decoded.status == Decoded::Status::gridTooLarge)
    warnNoMemory(layout.width, layout.height, image.TellWidth(), image.TellHeight());
  if (!decoded.grid) {
    fail({tooLargeForMemory(name)});
    ImageAccess::reset(image);
    return false;
  }
  for (const Oddity oddity : parsed.oddities) warn(oddityLines(oddity, name));
  if (decoded.status == Decoded::Status::cut && layout.bits != 16)
    fail({"Could not read proper amount of data."});
  ImageAccess::adopt(image, layout.bits, layout.width, layout.height, std::move(decoded.grid),
                     layout.table.data());
  return true;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : " ") + line;
  return text;
}

pixelry::Code codeOf(Refusal refusal) {
  switch (refusal) {
    case Refusal::notBmp:
      return pixelry::Code::notBmp;
    case Refusal::corrupted:
      return pixelry::Code::truncated;
    case Refusal::badSize:
    case Refusal::unsupportedDepth:
    case Refusal::bitFieldsDepth:
      return pixelry::Code::invalid;
    case Refusal::tooLarge:
      return pixelry::Code::tooLarge;
    default:
      return pixelry::Code::unsupported;
  }
}

pixelry::Result failure(pixelry::Code code, std::string message) {
  pixelry::Result result;
  result.code = code;
  result.message = std::move(message);
  return result;
}

// The full reader: the image changes only when the whole read succeeds.
pixelry::Result readFull(BMP& image, ByteSource& source, const std::string& name,
                         const pixelry::ReadOptions& options) {
  const ParseOutcome parsed = parseBmp(source, Policy::full, options.maxPixels);
  if (parsed.refusal != Refusal::none)
    return failure(codeOf(parsed.refusal), joined(refusalLines(parsed, name)));
  const FileLayout& layout = parsed.layout;
  Decoded decoded = decodeBmp(source, layout);
  if (!decoded.grid) return failure(pixelry::Code::tooLarge, tooLargeForMemory(name));
  pixelry::Result result;
  result.alpha = layout.masked && layout.masks[3] != 0;
  for (const Oddity oddity : parsed.oddities)
    result.warnings.push_back(oddity == Oddity::shortTable
                                  ? name + " has a short colour table; indices past it read black."
                                  : joined(oddityLines(oddity, name)));
  if (decoded.status == Decoded::Status::cut)
    result.warnings.push_back(layout.encoding == FileLayout::Encoding::rows
                                  ? name + ": the pixel data ends early; the rows it lacks are white."
                                  : joined(oddityLines(Oddity::rleCut, name)));
  ImageAccess::adopt(image, layout.bits, layout.width, layout.height, std::move(decoded.grid),
                     layout.table.data());
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
  const std::string name = quoted(fileName);
  std::FILE* file = openFile(fileName, "rb");
  if (!file) return failure(Code::cannotOpen, cannotOpen(name));
  ByteSource source(file);
  Result result = readFull(image, source, name, options);
  std::fclose(file);
  return result;
}

pixelry::Result pixelry::readMemory(BMP& image, const void* data, std::size_t size,
                                    const ReadOptions& options) {
  ByteSource source(static_cast<const PixelryBYTE*>(data), data ? size : 0);
  return readFull(image, source, "memory", options);
}
