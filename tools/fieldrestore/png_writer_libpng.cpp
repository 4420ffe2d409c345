// PNG output through libpng, into a stream.
#include <png.h>

#include <ostream>
#include <vector>

#include "tools/fieldrestore/sample_command.h"

namespace {

void WriteBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::ostream*>(png_get_io_ptr(png));
  if (!out->write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(length))) {
    png_error(png, "write failed");
  }
}

void Flush(png_structp) {}

// libpng's failures end the picture; the command says why (its own
// handler would print them as well).
[[noreturn]] void Failed(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void Warned(png_structp, png_const_charp) {}

}  // namespace

bool WritePng(std::ostream& out, const uint8_t* bgra, int width, int height, std::string* error) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, Failed, Warned);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<uint8_t> row(static_cast<size_t>(3 * width));
  bool ok = png && info && !setjmp(png_jmpbuf(png));
  if (ok) {
    png_set_write_fn(png, &out, WriteBytes, Flush);
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
  if (!ok && out) *error = "libpng cannot write the picture";
  return ok && out;
}
