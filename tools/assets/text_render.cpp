// FreeType rendering for the asset generators.
#include "text_render.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace text_render {

namespace {

FT_Library library = nullptr;
FT_Face face = nullptr;

// Supersampling factor of the rendering in each direction.
constexpr int supersample = 8;

// Renders c at (ppem_x, ppem_y) pixels per em with bold_units 26.6 units of
// emboldening, and calls plot(px, py, coverage) for every covered pixel with
// coordinates relative to the pen at the baseline (y downwards).
template <typename Plot>
void render(char c, double ppem_x, double ppem_y, double bold_x, double bold_y, Plot plot) {
  FT_Set_Char_Size(face, static_cast<FT_F26Dot6>(std::lround(ppem_x * 64.0)),
                   static_cast<FT_F26Dot6>(std::lround(ppem_y * 64.0)), 72, 72);
  const FT_UInt index = FT_Get_Char_Index(face, static_cast<unsigned char>(c));
  if (FT_Load_Glyph(face, index, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0) {
    return;
  }
  FT_GlyphSlot slot = face->glyph;
  if (slot->format != FT_GLYPH_FORMAT_OUTLINE) {
    return;
  }
  if (bold_x > 0.0 || bold_y > 0.0) {
    FT_Outline_EmboldenXY(&slot->outline, static_cast<FT_Pos>(std::lround(bold_x * 64.0)),
                          static_cast<FT_Pos>(std::lround(bold_y * 64.0)));
    // Emboldening grows the outline to the right and upwards; move it back
    // by half so that the ink stays centred where it was.
    FT_Outline_Translate(&slot->outline, -static_cast<FT_Pos>(std::lround(bold_x * 32.0)),
                         -static_cast<FT_Pos>(std::lround(bold_y * 32.0)));
  }
  if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) {
    return;
  }
  const FT_Bitmap& bitmap = slot->bitmap;
  for (unsigned row = 0; row < bitmap.rows; ++row) {
    for (unsigned col = 0; col < bitmap.width; ++col) {
      const unsigned char v = bitmap.buffer[static_cast<int>(row) * bitmap.pitch + static_cast<int>(col)];
      if (v != 0) {
        plot(slot->bitmap_left + static_cast<int>(col), static_cast<int>(row) - slot->bitmap_top, v / 255.0);
      }
    }
  }
}

// Adds supersampled coverage at (sx, sy) into out, one sample's share.
void add_sample(Coverage& out, long sx, long sy, double value) {
  const long x = sx >= 0 ? sx / supersample : -1;
  const long y = sy >= 0 ? sy / supersample : -1;
  if (x < 0 || y < 0 || x >= out.w || y >= out.h) {
    return;
  }
  double& cell = out.ref(static_cast<int>(x), static_cast<int>(y));
  cell = std::min(1.0, cell + value / (supersample * supersample));
}

}  // namespace

bool open_font() {
  if (FT_Init_FreeType(&library) != 0 || FT_New_Face(library, VORNA_ASSET_FONT, 0, &face) != 0) {
    std::fprintf(stderr, "cannot open the font %s\n", VORNA_ASSET_FONT);
    return false;
  }
  return true;
}

InkBox ink_box(char c) {
  const FT_UInt index = FT_Get_Char_Index(face, static_cast<unsigned char>(c));
  FT_Load_Glyph(face, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_BITMAP);
  FT_BBox box;
  FT_Outline_Get_CBox(&face->glyph->outline, &box);
  return {static_cast<double>(box.xMin), static_cast<double>(box.yMin), static_cast<double>(box.xMax),
          static_cast<double>(box.yMax)};
}

double cap_height_units() { return ink_box('H').top; }

void draw_glyph_into_box(Coverage& out, char c, double x0, double y0, double x1, double y1, double bold_px) {
  const InkBox box = ink_box(c);
  const double units_w = box.right - box.left;
  const double units_h = box.top - box.bottom;
  if (units_w <= 0.0 || units_h <= 0.0) {
    return;
  }
  const double em = face->units_per_EM;
  // Pixels per em in supersamples, so that the ink box (less the bold
  // growth) fills the target box.
  const double sx = supersample * std::max(1.0, (x1 - x0) - bold_px) / units_w;
  const double sy = supersample * std::max(1.0, (y1 - y0) - bold_px) / units_h;
  const double ink_left = box.left * sx;
  const double ink_top = box.top * sy;
  const double bold = bold_px * supersample;
  render(c, sx * em, sy * em, bold, bold, [&](int px, int py, double v) {
    const double tx = x0 * supersample + bold / 2.0 + (px - ink_left);
    const double ty = y0 * supersample + bold / 2.0 + (py + ink_top);
    add_sample(out, std::lround(std::floor(tx)), std::lround(std::floor(ty)), v);
  });
}

double draw_line(Coverage& out, const std::string& text, double x, double baseline, double cap_px, double x_scale,
                 double spacing_px, double bold_px, bool draw) {
  const double em = face->units_per_EM;
  const double sy = supersample * cap_px / cap_height_units();  // supersamples per font unit
  const double sx = sy * x_scale;
  const double bold = bold_px * supersample;
  double pen = 0.0;  // in target pixels, from the first character's ink
  double right = 0.0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const InkBox box = ink_box(c);
    const double advance = static_cast<double>(face->glyph->advance.x) * sx / supersample;  // NO_SCALE: font units
    if (i == 0) {
      pen = -box.left * sx / supersample;
    }
    if (c != ' ' && draw) {
      const double origin_x = (x + pen) * supersample;
      const double origin_y = baseline * supersample;
      render(c, sx * em, sy * em, bold, bold, [&](int px, int py, double v) {
        add_sample(out, std::lround(std::floor(origin_x + bold / 2.0 + px)), std::lround(std::floor(origin_y + py)), v);
      });
    }
    if (c != ' ') {
      right = pen + box.right * sx / supersample + bold_px;
    }
    pen += advance + spacing_px;
  }
  return right;
}

}  // namespace text_render
