// ReadFromFile: parse, decode and commit, printing as the classic reader always has.
#include <cstdio>
#include <string>

#include "Pixelry_Format.h"
#include "Pixelry_Image.h"
#include "detail/ByteSource.h"
#include "detail/Decode.h"
#include "detail/ImageAccess.h"
#include "detail/Parse.h"
#include "detail/Report.h"
#include "detail/Streams.h"

using namespace pixelry::detail;

namespace {

// The error that goes with a refusal.
void failRefusal(Refusal refusal, const std::string& name, const FileLayout& layout) {
  switch (refusal) {
    case Refusal::none: break;
    case Refusal::notBmp: fail({name + " is not a Windows BMP file!"}); break;
    case Refusal::corrupted: fail({name + " is obviously corrupted."}); break;
    case Refusal::rle: fail({name + " is (RLE) compressed.", "Pixelry does not support compression."}); break;
    case Refusal::unknownFormat:
      fail({name + " is in an unsupported format.", "(bmih.biCompression = " + std::to_string(layout.compression) + ")",
            "The file is probably an old OS2 bitmap or corrupted."});
      break;
    case Refusal::bitFieldsDepth:
      fail({name + " uses bit fields and is not a", "16-bit file. This is not supported."});
      break;
    case Refusal::unsupportedDepth: fail({name + " has unrecognized bit depth."}); break;
    case Refusal::badSize: fail({name + " has a non-positive width or height."}); break;
  }
}

void warnOddity(Oddity oddity, const std::string& name) {
  switch (oddity) {
    case Oddity::extraBytes: warn({"Extra meta data detected in file " + name, "Data will be skipped."}); break;
    case Oddity::shortTable:
      warn({"file " + name + " has an underspecified", "color table. The table will be padded with extra",
            "white (255,255,255,0) entries."});
      break;
  }
}

// The classic reader over any byte source: a refused file prints its error and leaves
// the image 1 x 1 at 1 bit (unchanged without the signature); the resolution is taken
// over once the headers were read whole, even from a file refused afterwards.
bool readClassic(BMP& image, ByteSource& source, const char* fileName) {
  const std::string name = quoted(fileName);
  const ParseOutcome parsed = parseBmp(source);
  const FileLayout& layout = parsed.layout;
  if (parsed.headersRead) ImageAccess::setResolution(image, layout.xPelsPerMeter, layout.yPelsPerMeter);
  if (parsed.refusal != Refusal::none) {
    failRefusal(parsed.refusal, name, layout);
    if (parsed.refusal != Refusal::notBmp) ImageAccess::reset(image);
    return false;
  }
  Decoded decoded = decodeBmp(source, layout);
  if (decoded.status == Decoded::Status::gridTooLarge)
    warnNoMemory(layout.width, layout.height, image.TellWidth(), image.TellHeight());
  if (!decoded.grid) {
    fail({name + " is too large to fit in memory."});
    ImageAccess::reset(image);
    return false;
  }
  for (const Oddity oddity : parsed.oddities) warnOddity(oddity, name);
  if (decoded.status == Decoded::Status::cut && layout.bits != 16) fail({"Could not read proper amount of data."});
  ImageAccess::adopt(image, layout.bits, layout.width, layout.height, std::move(decoded.grid), layout.table.data());
  return true;
}

}  // namespace

bool BMP::ReadFromFile(const char* FileName) {
  if (!PixelrycheckDataSize()) {
    failDataSize();
    return false;
  }
  std::FILE* file = FileName ? std::fopen(FileName, "rb") : nullptr;
  if (!file) {
    fail({"Cannot open file " + quoted(FileName) + " for input."});
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
