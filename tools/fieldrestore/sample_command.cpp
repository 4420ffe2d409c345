// A synthetic interlaced clip: a still textured scene that a ball crosses
// while a news ticker scrolls along its lower part, each frame woven from
// two moments (top field first), as an interlaced camera records it; and
// PNG pictures of raw BGRA frames. Only the moving parts comb, as in real
// footage, so the methods that work locally have something to do.
#include "tools/fieldrestore/sample_command.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <ostream>

#include "tools/fieldrestore/cli.h"
#include "tools/fieldrestore/file_access.h"

const char* const kSampleUsage =
    "  sample --width W --height H --frames N OUT.bgra\n"
    "                            write an interlaced test clip (raw BGRA, top row first)\n"
    "  png --width W --height H IN.bgra FRAME OUT.png [--crop X Y W H] [--zoom N]\n"
    "                            write one frame (or a crop of it) as a PNG picture\n";

namespace {

// The scene at time t (in fields) at picture position (x, y): BGRA.
void Scene(int x, int y, int t, uint8_t* p) {
  const int tile = ((x / 40) + (y / 40)) % 2;
  const double wave = std::sin(x * 0.07) * std::cos(y * 0.05);
  int r = 90 + tile * 70 + static_cast<int>(40 * wave);
  int g = 110 + static_cast<int>(60 * std::sin((x + y) * 0.021));
  int b = 160 - tile * 60 + ((x * 7 + y * 13) % 23);
  // Fine diagonal stripes: detail that a deinterlacer must leave alone
  // where nothing moves.
  if (((x + y) / 3) % 5 == 0) r = g = b = 235;
  // The ticker: blocky glyphs scrolling left, five pixels a field.
  if (y >= 420 && y < 500) {
    const int sx = x + 5 * t, gy = (y - 420) / 8;
    const bool ink = gy >= 2 && gy < 8 && (sx / 6) % 9 < 7 && ((sx / 6) * 31 + gy * 17) % 5 < 3;
    r = ink ? 250 : 20;
    g = ink ? 240 : 40;
    b = ink ? 200 : 110;
  }
  // The ball, crossing and bobbing.
  const double cx = 100 + 6.0 * t, cy = 200 + 60 * std::sin(t * 0.15);
  const double dx = x - cx, dy = y - cy;
  if (dx * dx + dy * dy < 70 * 70) {
    const int ring = static_cast<int>(std::sqrt(dx * dx + dy * dy)) / 8 % 2;
    r = ring ? 230 : 200;
    g = ring ? 60 : 180;
    b = ring ? 40 : 30;
  }
  p[0] = static_cast<uint8_t>(std::clamp(b, 0, 255));
  p[1] = static_cast<uint8_t>(std::clamp(g, 0, 255));
  p[2] = static_cast<uint8_t>(std::clamp(r, 0, 255));
  p[3] = 255;
}

bool Number(const std::string& text, int64_t* value) {
  uint32_t v = 0;
  if (!ParseValue32(text, &v) || text[0] == '-') return false;
  *value = v;
  return true;
}

}  // namespace

int RunSampleCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  int64_t width = 0, height = 0, frames = 0;
  std::string path;
  for (size_t i = 1; i < args.size(); ++i) {
    int64_t* target = args[i] == "--width"    ? &width
                      : args[i] == "--height" ? &height
                      : args[i] == "--frames" ? &frames
                                              : nullptr;
    if (target) {
      if (i + 1 >= args.size() || !Number(args[i + 1], target)) {
        err << "fieldrestore: " << args[i] << " needs a number\n" << kSampleUsage;
        return 2;
      }
      ++i;
    } else if (path.empty() && args[i].rfind("--", 0) != 0) {
      path = args[i];
    } else {
      err << "fieldrestore: unexpected '" << args[i] << "'\n" << kSampleUsage;
      return 2;
    }
  }
  if (width < 2 || height < 2 || frames < 1 || path.empty() || width > 32767 || height > 32767 ||
      !FrameFits(width, height)) {
    err << "fieldrestore: sample needs --width and --height from 2 to 32767 (a frame of at most "
           "2 GiB), --frames and an output file\n"
        << kSampleUsage;
    return 2;
  }
  OutputFile output;
  std::string error;
  if (!output.Open(path, &error)) {
    err << "fieldrestore: " << error << "\n";
    return 1;
  }
  std::ostream& file = output.stream();
  std::vector<uint8_t> frame(static_cast<size_t>(4 * width * height));
  for (int64_t n = 0; n < frames && file; ++n) {
    for (int64_t y = 0; y < height; ++y) {
      // Top field first: even picture rows are the earlier moment.
      const int t = static_cast<int>(2 * n + (y % 2));
      for (int64_t x = 0; x < width; ++x) {
        Scene(static_cast<int>(x), static_cast<int>(y), t, &frame[4 * (y * width + x)]);
      }
    }
    file.write(reinterpret_cast<const char*>(frame.data()),
               static_cast<std::streamsize>(frame.size()));
  }
  if (!output.Commit(&error)) {
    err << "fieldrestore: " << error << "\n";
    return 1;
  }
  out << "wrote " << frames << " interlaced " << width << "x" << height << " frames to " << path
      << "\n";
  return 0;
}

int RunPngCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  int64_t width = 0, height = 0, zoom = 1, crop[4] = {0, 0, 0, 0};
  bool cropped = false;
  std::vector<std::string> positional;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    bool ok = true;
    if (a == "--width" || a == "--height" || a == "--zoom") {
      ok = i + 1 < args.size() && Number(args[i + 1], a == "--width"    ? &width
                                                      : a == "--height" ? &height
                                                                        : &zoom);
      ++i;
    } else if (a == "--crop") {
      for (int k = 0; k < 4 && ok; ++k) ok = i + 1 < args.size() && Number(args[++i], &crop[k]);
      cropped = true;
    } else if (a.rfind("--", 0) == 0) {
      ok = false;
    } else {
      positional.push_back(a);
    }
    if (!ok) {
      err << "fieldrestore: bad option " << a << "\n" << kSampleUsage;
      return 2;
    }
  }
  int64_t index = 0;
  if (positional.size() != 3 || !Number(positional[1], &index) || width < 1 || height < 1) {
    err << "fieldrestore: png needs --width, --height, IN.bgra, FRAME and OUT.png\n"
        << kSampleUsage;
    return 2;
  }
  if (zoom < 1 || zoom > 16) {
    err << "fieldrestore: --zoom takes 1 to 16 (each pixel drawn as a square of that side), not "
        << zoom << "\n";
    return 2;
  }
  if (!FrameFits(width, height)) {
    err << "fieldrestore: " << FrameTooLarge(width, height) << "\n";
    return 2;
  }
  if (!cropped) {
    crop[2] = width;
    crop[3] = height;
  }
  if (crop[2] < 1 || crop[3] < 1 || crop[0] + crop[2] > width || crop[1] + crop[3] > height) {
    err << "fieldrestore: the crop must lie inside the " << width << "x" << height << " frame\n";
    return 2;
  }
  const int64_t out_w = crop[2] * zoom, out_h = crop[3] * zoom;
  if (!FrameFits(out_w, out_h)) {
    err << "fieldrestore: a " << out_w << "x" << out_h << " picture does not fit in memory\n";
    return 2;
  }
  const std::string& output_path = positional[2];
  if (RefuseInputAsOutput(positional[0], output_path, err)) return 1;
  // The input must hold the frame before anything is allocated for it.
  std::ifstream in;
  uint64_t file_size = 0;
  std::string error;
  if (!OpenInputFile(positional[0], &in, &file_size, &error)) {
    err << "fieldrestore: " << error << "\n";
    return 1;
  }
  const int64_t frame_bytes = 4 * width * height;
  const uint64_t held = file_size / static_cast<uint64_t>(frame_bytes);
  if (static_cast<uint64_t>(index) >= held) {
    err << "fieldrestore: " << positional[0] << " has no frame " << index << " (it holds " << held
        << " whole " << width << "x" << height << " frames)\n";
    return 1;
  }
  std::vector<uint8_t> frame(static_cast<size_t>(frame_bytes));
  in.seekg(index * frame_bytes);
  if (!in.read(reinterpret_cast<char*>(frame.data()), frame_bytes)) {
    err << "fieldrestore: cannot read " << positional[0] << "\n";
    return 1;
  }
  std::vector<uint8_t> picture(static_cast<size_t>(4 * out_w * out_h));
  for (int64_t y = 0; y < out_h; ++y)
    for (int64_t x = 0; x < out_w; ++x)
      std::copy_n(&frame[4 * ((crop[1] + y / zoom) * width + crop[0] + x / zoom)], 4,
                  &picture[4 * (y * out_w + x)]);
  // Written beside OUT.png and put in its place once complete.
  OutputFile output;
  if (!output.Open(output_path, &error)) {
    err << "fieldrestore: " << error << "\n";
    return 1;
  }
  if (!WritePng(output.stream(), picture.data(), static_cast<int>(out_w), static_cast<int>(out_h),
                &error)) {
    if (!output.stream())
      error = "cannot write " + output_path + ": " + WriteFailure(output.stream());
    err << "fieldrestore: " << error << "\n";
    return 1;
  }
  if (!output.Commit(&error)) {
    err << "fieldrestore: " << error << "\n";
    return 1;
  }
  out << "wrote " << output_path << "\n";
  return 0;
}
