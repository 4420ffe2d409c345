// PNG output through libpng.
#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/fieldrestore/sample_command.h"

bool WritePng(const std::string& path, const uint8_t* bgra, int width, int height,
              std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<uint8_t> row(static_cast<size_t>(3 * width));
  bool ok = png && info && !setjmp(png_jmpbuf(png));
  if (ok) {
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
      const uint8_t* p = bgra + static_cast<size_t>(4) * width * y;
      for (int x = 0; x < width; ++x) {
        row[3 * x] = p[4 * x + 2];
        row[3 * x + 1] = p[4 * x + 1];
        row[3 * x + 2] = p[4 * x];
      }
      png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
  }
  png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
  errno = 0;
  ok = std::fclose(file) == 0 && ok;
  if (!ok)
    *error = "cannot write " + path + (errno ? std::string(": ") + std::strerror(errno) : "");
  return ok;
}
