// Probing, decoding into the caller's buffer, and loading in one call.
#include <array>
#include <cstdint>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "Pixelry_Codec.h"
#include "detail/ByteSource.h"
#include "detail/Decode.h"
#include "detail/FileNames.h"
#include "detail/ImageAccess.h"
#include "detail/Layout.h"
#include "detail/Parse.h"
#include "detail/PixelFormats.h"
#include "detail/Verdicts.h"

using namespace pixelry::detail;

namespace {

// probe over a source; again gives a source over the same bytes from their start, for
// the classic reader's verdict.
template <class Again>
pixelry::Result probeSource(ByteSource& source, const std::string& name, pixelry::Info& info, Again&& again) {
  const ParseOutcome parsed = parseBmp(source, Policy::full, 0, true);
  info = infoOf(parsed);
  ByteSource* classic = again();
  info.classic = classic && parseBmp(*classic).refusal == Refusal::none;
  return verdictOf(parsed, name, 0);
}

pixelry::Result badArgument(const std::string& why) { return failure(pixelry::Code::badArgument, why); }

std::size_t rowBytesOf(const FileLayout& layout, Target target) {
  return static_cast<std::size_t>(layout.width) * bytesOf(target);
}

// The parse and the checks every decode makes before it touches the caller's memory.
pixelry::Result decodeSource(ByteSource& source, const std::string& name, pixelry::PixelFormat format,
                             void* out, std::size_t stride, std::uint64_t maxPixels, pixelry::Colour colour,
                             FileLayout& layout) {
  if (!isKnown(format)) return badArgument("Cannot decode " + name + ": unknown pixel format.");
  const ParseOutcome parsed = parseBmp(source, Policy::full, maxPixels, colour == pixelry::Colour::toSrgb);
  pixelry::Result result = verdictOf(parsed, name, maxPixels, targetOf(format));
  if (!result) return result;
  layout = parsed.layout;
  if (stride < rowBytesOf(layout, targetOf(format)))
    return badArgument("Cannot decode " + name + ": a stride of " + std::to_string(stride) +
                       " bytes is shorter than a row of " +
                       std::to_string(rowBytesOf(layout, targetOf(format))) + ".");
  if (!out) return result;  // load allocates once it knows the size
  const DecodeStatus status =
      decodeInto(source, layout, targetOf(format), static_cast<PixelryBYTE*>(out), stride);
  if (status == DecodeStatus::noMemory) return failure(pixelry::Code::tooLarge, tooLargeForMemory(name));
  if (status == DecodeStatus::cut) result.warnings.push_back(cutWarning(layout, name));
  return result;
}

pixelry::Result decodeCaller(ByteSource& source, const std::string& name, pixelry::PixelFormat format,
                             void* out, std::size_t stride, pixelry::Colour colour) {
  if (!out) return badArgument("Cannot decode " + name + ": no buffer.");
  FileLayout layout;
  return decodeSource(source, name, format, out, stride, 0, colour, layout);
}

// Parses, allocates and decodes; pixels changes only on success.
pixelry::Result loadSource(ByteSource& source, const std::string& name, pixelry::PixelFormat format,
                           pixelry::Pixels& pixels, const pixelry::ReadOptions& options) {
  FileLayout layout;
  const std::size_t anyStride = SIZE_MAX;
  pixelry::Result result =
      decodeSource(source, name, format, nullptr, anyStride, options.maxPixels, options.colour, layout);
  if (!result) return result;
  // The rows' buffers first: once pixels' own bytes are resized (in the memory a Pixels
  // used before already holds, without a fresh page to fault in), nothing can fail.
  const Target target = targetOf(format);
  PixelRows rows(source, layout, target);
  const std::size_t stride = rowBytesOf(layout, target);
  if (!rows.allocated() || stride > SIZE_MAX / static_cast<std::size_t>(layout.height))
    return failure(pixelry::Code::tooLarge, tooLargeForMemory(name));
  std::vector<RGBApixel> table;
  try {
    if (format == pixelry::PixelFormat::index8) {
      const std::array<RGBApixel, 256> colours = tableAsRead(layout);
      table.assign(colours.begin(), colours.begin() + (std::size_t{1} << layout.bits));
    }
    const std::size_t size = stride * static_cast<std::size_t>(layout.height);
    if (pixels.bytes.capacity() < size) {
      std::vector<std::uint8_t> fresh;
      fresh.reserve(size);
      adviseHugePages(fresh.data(), size);
      pixels.bytes.swap(fresh);
    }
    pixels.bytes.resize(size);
  } catch (const std::bad_alloc&) {
    return failure(pixelry::Code::tooLarge, tooLargeForMemory(name));
  }
  pixels.width = layout.width;
  pixels.height = layout.height;
  pixels.format = format;
  pixels.stride = stride;
  pixels.table = std::move(table);
  if (decodeRows(rows, pixels.bytes.data(), stride) == DecodeStatus::cut)
    result.warnings.push_back(cutWarning(layout, name));
  return result;
}

ByteSource memorySource(const void* data, std::size_t size) {
  return ByteSource(static_cast<const PixelryBYTE*>(data), data ? size : 0);
}

}  // namespace

pixelry::Result pixelry::probe(const void* data, std::size_t size, Info& info) {
  ByteSource source = memorySource(data, size);
  ByteSource again = memorySource(data, size);
  return probeSource(source, "memory", info, [&again]() { return &again; });
}

pixelry::Result pixelry::probeFile(const char* fileName, Info& info) {
  return withFile(fileName, [&info](ByteSource& source, const std::string& name) {
    std::FILE* file = source.stream();
    return probeSource(source, name, info,
                       [file, &source]() { return std::fseek(file, 0, SEEK_SET) == 0 ? &source : nullptr; });
  });
}

pixelry::Result pixelry::decode(const void* data, std::size_t size, PixelFormat format, void* out,
                                std::size_t stride, const ReadOptions& options) {
  ByteSource source = memorySource(data, size);
  return decodeCaller(source, "memory", format, out, stride, options.colour);
}

pixelry::Result pixelry::decodeFile(const char* fileName, PixelFormat format, void* out, std::size_t stride,
                                    const ReadOptions& options) {
  return withFile(fileName, [&](ByteSource& source, const std::string& name) {
    return decodeCaller(source, name, format, out, stride, options.colour);
  });
}

pixelry::Result pixelry::load(const void* data, std::size_t size, PixelFormat format, Pixels& pixels,
                              const ReadOptions& options) {
  ByteSource source = memorySource(data, size);
  return loadSource(source, "memory", format, pixels, options);
}

pixelry::Result pixelry::loadFile(const char* fileName, PixelFormat format, Pixels& pixels,
                                  const ReadOptions& options) {
  return withFile(fileName, [&](ByteSource& source, const std::string& name) {
    return loadSource(source, name, format, pixels, options);
  });
}
