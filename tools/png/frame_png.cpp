// PNG output for the capture and the previews.
#include "tools/png/frame_png.h"

#include <png.h>

#include <cstdio>
#include <vector>

namespace {

bool write_rgb(const std::string& path, const std::vector<std::uint8_t>& rgb, int width, int height) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    png_write_row(png, rgb.data() + static_cast<std::size_t>(y) * width * 3);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0;
}

void expand(std::uint16_t p, std::uint8_t* out) {
  const int r = p >> 11, g = (p >> 5) & 63, b = p & 31;
  out[0] = static_cast<std::uint8_t>(r * 255 / 31);
  out[1] = static_cast<std::uint8_t>(g * 255 / 63);
  out[2] = static_cast<std::uint8_t>(b * 255 / 31);
}

}  // namespace

bool write_png_565(const std::string& path, const std::uint16_t* pixels, int width, int height, int scale_x,
                   int scale_y) {
  const int w = width * scale_x, h = height * scale_y;
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      expand(pixels[(y / scale_y) * width + x / scale_x], &rgb[(static_cast<std::size_t>(y) * w + x) * 3]);
    }
  }
  return write_rgb(path, rgb, w, h);
}

bool write_screen_png(const std::string& path, const std::uint16_t* frame) {
  const int w = 640, h = 480;
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      expand(frame[(y * 200 / h) * 320 + x / 2], &rgb[(static_cast<std::size_t>(y) * w + x) * 3]);
    }
  }
  return write_rgb(path, rgb, w, h);
}
