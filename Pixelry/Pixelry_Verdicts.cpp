// What the readers say about a file: refusals, oddities and their messages.
#include "detail/Verdicts.h"

#include "detail/Layout.h"

namespace pixelry::detail {

namespace {

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : " ") + line;
  return text;
}

Code codeOf(Refusal refusal) {
  switch (refusal) {
    case Refusal::none:
      return Code::ok;
    case Refusal::notBmp:
      return Code::notBmp;
    case Refusal::corrupted:
      return Code::truncated;
    case Refusal::badSize:
    case Refusal::unsupportedDepth:
    case Refusal::bitFieldsDepth:
      return Code::invalid;
    case Refusal::tooLarge:
      return Code::tooLarge;
    case Refusal::rle:
    case Refusal::unknownFormat:
    case Refusal::unsupportedFeature:
      break;
  }
  return Code::unsupported;
}

// Why a colour space is read as stored, as the end of a sentence about the file's profile.
const char* profileFault(ColourFault fault) {
  switch (fault) {
    case ColourFault::linked:
      return "is linked (named by a file name), not embedded";
    case ColourFault::unreachable:
      return "lies where the reader cannot reach it (past the end of the data, in a stream that cannot seek, "
             "or behind a 108-byte header that has no room to say where)";
    case ColourFault::size:
      return "is smaller than a profile header or larger than 1 MiB";
    case ColourFault::notProfile:
      return "is not an ICC profile (no acsp signature)";
    case ColourFault::notRgb:
      return "is for a colour space other than RGB (CMYK, grey, Lab...)";
    case ColourFault::lookUpTables:
      return "converts through lookup tables (A2B0, A2B1, D2B0 or D2B1), which Pixelry does not apply";
    case ColourFault::tagTable:
      return "has a tag table that runs past its end";
    case ColourFault::tagOutside:
      return "has a tag whose data lies past its end";
    case ColourFault::missingTag:
      return "lacks a colorant or tone curve tag (rXYZ, gXYZ, bXYZ, rTRC, gTRC, bTRC)";
    case ColourFault::colorant:
      return "has a colorant tag that is not an XYZ number";
    case ColourFault::curveShort:
      return "has a tone curve with fewer bytes than its points or parameters";
    case ColourFault::curveType:
      return "has a tone curve of an unknown type (neither curv nor para, or a para function type above 4)";
    case ColourFault::none:
    case ColourFault::calibration:
      break;
  }
  return "";
}

ColourHandling handlingOf(const ColourSpace& colour, bool toSrgb) {
  if (!colour.given()) return ColourHandling::none;
  if (!toSrgb || colour.fault() != ColourFault::none) return ColourHandling::asStored;
  return colour.identity() ? ColourHandling::identity : ColourHandling::converted;
}

std::string colourWarning(ColourFault fault, const std::string& name) {
  return fault == ColourFault::calibration
             ? name +
                   ": its calibrated RGB endpoints are no primaries, or a gamma lies outside 1/16 to 16; the "
                   "colours are read as stored."
             : name + ": its colour profile " + profileFault(fault) + "; the colours are read as stored.";
}

}  // namespace

std::vector<std::string> refusalLines(const ParseOutcome& parsed, const std::string& name,
                                      std::uint64_t maxPixels) {
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
      return {name + " has " + std::to_string(layout.width) + " x " + std::to_string(layout.height) +
              " pixels, more than the limit of " + std::to_string(maxPixels) + " (ReadOptions::maxPixels)."};
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

Result failure(Code code, std::string message) {
  Result result;
  result.code = code;
  result.message = std::move(message);
  return result;
}

Result verdictOf(const ParseOutcome& parsed, const std::string& name, std::uint64_t maxPixels,
                 Target target) {
  if (parsed.refusal != Refusal::none)
    return failure(codeOf(parsed.refusal), joined(refusalLines(parsed, name, maxPixels)));
  if (target == Target::index8 && !isIndexedDepth(parsed.layout.bits))
    return failure(Code::unsupported, name + " has no colour table, so its pixels have no indices (index8).");
  Result result;
  result.alpha = parsed.layout.alpha();
  for (const Oddity oddity : parsed.oddities)
    result.warnings.push_back(oddity == Oddity::shortTable
                                  ? name + " has a short colour table; indices past it read black."
                                  : joined(oddityLines(oddity, name)));
  const ColourSpace& colour = parsed.layout.colour;
  result.colour = handlingOf(colour, parsed.layout.toSrgb);
  result.profile = colour.profile();
  if (parsed.layout.toSrgb && colour.fault() != ColourFault::none)
    result.warnings.push_back(colourWarning(colour.fault(), name));
  return result;
}

std::string cutWarning(const FileLayout& layout, const std::string& name) {
  return layout.encoding == FileLayout::Encoding::rows
             ? name + ": the pixel data ends early; the rows it lacks are white."
             : joined(oddityLines(Oddity::rleCut, name));
}

Info infoOf(const ParseOutcome& parsed) {
  const FileLayout& layout = parsed.layout;
  Info info;
  info.width = layout.width;
  info.height = layout.height;
  info.bits = layout.bits;
  info.topDown = layout.topDown;
  info.alpha = layout.alpha();
  info.alphaSource = layout.alphaSource();
  info.compression = layout.compression;
  info.headerSize = static_cast<int>(layout.headerSize);
  // A plain 32-bit pixel is blue, green, red and a fourth byte, alpha or padding.
  const std::uint32_t plain[4] = {0x00FF0000u, 0x0000FF00u, 0x000000FFu,
                                  layout.fourthByteAlpha ? 0xFF000000u : 0};
  for (int c = 0; c < 4; ++c)
    info.masks[c] = layout.masked                                          ? layout.masks[c]
                    : layout.bits == 32 && parsed.refusal == Refusal::none ? plain[c]
                                                                           : 0;
  info.table.assign(layout.table.begin(), layout.table.begin() + layout.tableEntries);
  info.xPelsPerMeter = layout.xPelsPerMeter;
  info.yPelsPerMeter = layout.yPelsPerMeter;
  info.fileSize = layout.fileSize;
  info.dataOffset = layout.dataOffset;
  info.colour = handlingOf(layout.colour, true);
  info.profile = layout.colour.profile();
  return info;
}

}  // namespace pixelry::detail
