#include "Pixelry_Format.h"

#include <cstddef>
#include <cstring>
#include <type_traits>

#include "detail/ByteSource.h"
#include "detail/Layout.h"

namespace {

using pixelry::detail::forEachField;

PixelryDWORD flip(PixelryDWORD in) { return FlipDWORD(in); }
PixelryWORD flip(PixelryWORD in) { return FlipWORD(in); }

template <class Record>
void switchEndianess(Record& record) {
  forEachField(record, [](const char*, auto& field) { field = flip(field); });
}

// Serialises a record little-endian into bytes; returns the byte count.
template <class Record>
std::size_t encode(Record& record, PixelryBYTE* bytes) {
  std::size_t at = 0;
  forEachField(record, [&](const char*, auto field) {
    for (std::size_t i = 0; i < sizeof field; ++i) bytes[at++] = static_cast<PixelryBYTE>(field >> (8 * i));
  });
  return at;
}

template <class Record>
void decode(Record& record, const PixelryBYTE* bytes) {
  std::size_t at = 0;
  forEachField(record, [&](const char*, auto& field) {
    using Field = std::remove_reference_t<decltype(field)>;
    field = 0;
    for (std::size_t i = 0; i < sizeof field; ++i)
      field = static_cast<Field>(field | (Field{bytes[at++]} << (8 * i)));
  });
}

template <class Record>
bool readRecordBytes(pixelry::detail::ByteSource& source, Record& record) {
  // Start from the record's own bytes, so that a short file changes only what it reaches.
  PixelryBYTE bytes[pixelry::detail::kInfoHeader];
  const std::size_t size = encode(record, bytes);
  const bool whole = source.read(bytes, size) == size;
  decode(record, bytes);
  return whole;
}

template <class Record>
bool writeRecordBytes(pixelry::detail::ByteSink& sink, Record& record) {
  PixelryBYTE bytes[pixelry::detail::kInfoHeader];
  const std::size_t size = encode(record, bytes);
  return sink.write(bytes, size);
}

}  // namespace

BMFH::BMFH() : bfType(pixelry::detail::kSignature), bfSize(0), bfReserved1(0), bfReserved2(0), bfOffBits(0) {}

BMIH::BMIH()
    : biSize(0),
      biWidth(0),
      biHeight(0),
      biPlanes(1),
      biBitCount(0),
      biCompression(0),
      biSizeImage(0),
      biXPelsPerMeter(pixelry::detail::kDefaultPelsPerMeter),
      biYPelsPerMeter(pixelry::detail::kDefaultPelsPerMeter),
      biClrUsed(0),
      biClrImportant(0) {}

void BMFH::SwitchEndianess() { switchEndianess(*this); }
void BMIH::SwitchEndianess() { switchEndianess(*this); }

bool IsBigEndian() {
  const PixelryWORD one = 1;
  PixelryBYTE first;
  std::memcpy(&first, &one, 1);
  return first != 1;
}

PixelryWORD FlipWORD(PixelryWORD in) { return static_cast<PixelryWORD>((in >> 8) | (in << 8)); }

PixelryDWORD FlipDWORD(PixelryDWORD in) {
  return ((in & 0xFF000000u) >> 24) | ((in & 0x00FF0000u) >> 8) | ((in & 0x0000FF00u) << 8) |
         ((in & 0x000000FFu) << 24);
}

bool SafeFread(char* buffer, int size, int number, std::FILE* fp) {
  if (std::feof(fp) || size < 0 || number < 0) return false;
  const std::size_t wanted = static_cast<std::size_t>(number);
  return std::fread(buffer, static_cast<std::size_t>(size), wanted, fp) >= wanted;
}

bool PixelrycheckDataSize() {
  return sizeof(PixelryBYTE) == 1 && sizeof(PixelryWORD) == 2 && sizeof(PixelryDWORD) == 4;
}

namespace pixelry::detail {

bool readRecord(ByteSource& source, BMFH& header) { return readRecordBytes(source, header); }
bool readRecord(ByteSource& source, BMIH& header) { return readRecordBytes(source, header); }
bool writeRecord(ByteSink& sink, BMFH header) { return writeRecordBytes(sink, header); }
bool writeRecord(ByteSink& sink, BMIH header) { return writeRecordBytes(sink, header); }

}  // namespace pixelry::detail
