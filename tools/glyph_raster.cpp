#include "glyph_raster.h"

#include <algorithm>
#include <cmath>

#include FT_OUTLINE_H

namespace {

// The outline's height in pixels after loading it unhinted at the current size.
double outlineHeight(FT_Face face, char letter) {
  if (FT_Load_Char(face, static_cast<FT_ULong>(letter), FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0)
    return 0.0;
  return static_cast<double>(face->glyph->metrics.height) / 64.0;  // 26.6 fixed point
}

}  // namespace

FontFace::FontFace(const std::string& path) : path_(path) {
  if (FT_Init_FreeType(&library_) != 0) {
    library_ = nullptr;
    return;
  }
  if (FT_New_Face(library_, path.c_str(), 0, &face_) != 0) {
    face_ = nullptr;
    return;
  }
  FT_Set_Pixel_Sizes(face_, 0, 100);
  xHeightPer100_ = outlineHeight(face_, 'x');
}

FontFace::~FontFace() {
  if (face_) FT_Done_Face(face_);
  if (library_) FT_Done_FreeType(library_);
}

std::string FontFace::name() const {
  const std::size_t slash = path_.find_last_of('/');
  std::string base = slash == std::string::npos ? path_ : path_.substr(slash + 1);
  const std::size_t dot = base.find_last_of('.');
  return dot == std::string::npos ? base : base.substr(0, dot);
}

GrayImage FontFace::render(char letter, const RenderStyle& style, int margin) const {
  const double ppem = style.xHeight * 100.0 / xHeightPer100_;
  FT_Set_Char_Size(face_, 0, static_cast<FT_F26Dot6>(std::lround(ppem * 64.0)), 72, 72);
  FT_Matrix matrix;
  matrix.xx = static_cast<FT_Fixed>(std::lround(style.widthScale * 65536.0));
  matrix.xy = static_cast<FT_Fixed>(std::lround(style.slant * 65536.0));
  matrix.yx = 0;
  matrix.yy = 0x10000;
  FT_Vector delta;
  delta.x = static_cast<FT_Pos>(std::lround(style.shiftX * 64.0));
  delta.y = static_cast<FT_Pos>(std::lround(style.shiftY * 64.0));
  FT_Set_Transform(face_, &matrix, &delta);
  const FT_Int32 flags = FT_LOAD_NO_BITMAP | (style.hinted ? FT_LOAD_TARGET_LIGHT : FT_LOAD_NO_HINTING);
  const FT_UInt index = FT_Get_Char_Index(face_, static_cast<FT_ULong>(letter));
  bool loaded = index != 0 && FT_Load_Glyph(face_, index, flags) == 0 &&
                face_->glyph->format == FT_GLYPH_FORMAT_OUTLINE;
  FT_Set_Transform(face_, nullptr, nullptr);
  if (loaded && style.embolden != 0.0) {
    const auto strength = static_cast<FT_Pos>(std::lround(style.embolden * 64.0));
    loaded = FT_Outline_EmboldenXY(&face_->glyph->outline, strength, strength) == 0;
  }
  if (!loaded || FT_Render_Glyph(face_->glyph, FT_RENDER_MODE_NORMAL) != 0) return GrayImage();
  const FT_Bitmap& bitmap = face_->glyph->bitmap;
  if (bitmap.width == 0 || bitmap.rows == 0 || bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) return GrayImage();

  const int width = static_cast<int>(bitmap.width);
  const int height = static_cast<int>(bitmap.rows);
  GrayImage image(width + 2 * margin, height + 2 * margin, 255);
  for (int row = 0; row < height; ++row) {
    const unsigned char* coverage = bitmap.buffer + static_cast<std::ptrdiff_t>(row) * bitmap.pitch;
    for (int column = 0; column < width; ++column)
      image.at(column + margin, row + margin) = static_cast<std::uint8_t>(255 - coverage[column]);
  }
  return image;
}
