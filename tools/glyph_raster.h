// Letters rendered with FreeType into grey images, dark ink on white paper.
#ifndef GLYPH_RASTER_H
#define GLYPH_RASTER_H

#include <cstdint>
#include <string>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H

// A grey image, row by row from the top; each value is what the red channel of a BMP
// pixel would hold: 255 is paper, 0 is full ink.
struct GrayImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> red;

  GrayImage() = default;
  GrayImage(int w, int h, std::uint8_t fill)
      : width(w), height(h), red(static_cast<std::size_t>(w) * h, fill) {}
  std::uint8_t& at(int column, int row) { return red[static_cast<std::size_t>(row) * width + column]; }
  std::uint8_t at(int column, int row) const { return red[static_cast<std::size_t>(row) * width + column]; }
};

// How a letter is placed on the pixel grid.
struct RenderStyle {
  double xHeight = 20.0;  // height of the font's 'x' in pixels
  double shiftX = 0.0;    // sub-pixel offset of the outline, 0..1
  double shiftY = 0.0;
  bool hinted = false;
  double slant = 0.0;       // horizontal shear: x moves by slant * y
  double widthScale = 1.0;  // horizontal stretch
  double embolden = 0.0;    // strokes widened by this many pixels (negative: thinned)
};

// One font file opened with FreeType. Not copyable: it owns its FreeType handles.
class FontFace {
 public:
  explicit FontFace(const std::string& path);
  ~FontFace();
  FontFace(const FontFace&) = delete;
  FontFace& operator=(const FontFace&) = delete;

  bool ok() const { return face_ != nullptr && xHeightPer100_ > 0.0; }
  const std::string& path() const { return path_; }
  // Short name of the face: the file name without directory and extension.
  std::string name() const;

  // Renders one character with a white margin of `margin` pixels around its ink.
  // An empty image when the font has no such glyph.
  GrayImage render(char letter, const RenderStyle& style, int margin) const;

 private:
  std::string path_;
  FT_Library library_ = nullptr;
  FT_Face face_ = nullptr;
  double xHeightPer100_ = 0.0;  // x-height in pixels at 100 pixels per em
};

#endif
