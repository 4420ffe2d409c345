// `fieldrestore render --width W --height H IN.bgra OUT.bgra`: renders raw
// packed BGRA frames (pictures top row first, as image files and ffmpeg's
// rawvideo store them) with the stored settings and region. Each frame is
// handed over as a Windows host hands its frames, bottom row first in
// memory, so region coordinates count from the picture's top-left corner
// (tools/fieldrestore/render_picture.h: the kept field, other sizes).
// "-" for either file reads the frames from standard input or writes them
// to standard output, for pipes from and to ffmpeg.
#include "tools/fieldrestore/render_command.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <ostream>

#include "platform/terminal.h"
#include "tools/fieldrestore/cli.h"
#include "tools/fieldrestore/frame_renderer.h"
#include "tools/fieldrestore/render_picture.h"

const char* const kRenderUsage =
    "  render --width W --height H IN.bgra OUT.bgra\n"
    "         [--src-rowbytes N] [--dst-rowbytes N] [--field-flags N] [--first-frame N]\n"
    "                            render raw BGRA frames with the stored settings and region\n"
    "                            (- for standard input or output)\n"
    "         [--keep bottom|top]  the field kept as it is (default bottom: rows 1, 3, 5, ...);\n"
    "                            other sizes than multiples of 16 are extended and cropped\n"
    "                            back unless row bytes are given\n"
    "         [--show-map]         draw the comb map: combed pixels red, motion-replaced blocks\n"
    "                            green, blocks outside the region blue\n";

namespace {

struct RenderOptions {
  int64_t width = 0, height = 0;
  int64_t src_row_bytes = 0, dst_row_bytes = 0;  // 0: 4 x width
  uint32_t field_flags = 0;
  int32_t first_frame = 0;
  std::string input, output;
  PictureOptions picture;
};

bool ParseNumber(const std::string& text, int64_t* value) {
  uint32_t v = 0;
  if (text.empty() || !ParseValue32(text, &v)) return false;
  *value = text[0] == '-' ? static_cast<int32_t>(v) : static_cast<int64_t>(v);
  return true;
}

bool ParseOptions(const std::vector<std::string>& args, RenderOptions* o, std::string* error) {
  std::vector<std::string> files;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.rfind("--", 0) != 0) {
      files.push_back(a);
      continue;
    }
    if (ParsePictureOption(args, &i, &o->picture, error)) continue;
    if (!error->empty()) return false;
    if (i + 1 >= args.size()) {
      *error = a + " needs a value";
      return false;
    }
    int64_t v = 0;
    if (!ParseNumber(args[i + 1], &v)) {
      *error = a + ": '" + args[i + 1] + "' is not a number";
      return false;
    }
    ++i;
    if (a == "--width") {
      o->width = v;
    } else if (a == "--height") {
      o->height = v;
    } else if (a == "--src-rowbytes") {
      o->src_row_bytes = v;
    } else if (a == "--dst-rowbytes") {
      o->dst_row_bytes = v;
    } else if (a == "--field-flags") {
      o->field_flags = static_cast<uint32_t>(v);
    } else if (a == "--first-frame") {
      o->first_frame = static_cast<int32_t>(v);
    } else {
      *error = "unknown option " + a;
      return false;
    }
  }
  if (files.size() != 2) {
    *error = "render takes an input and an output file";
    return false;
  }
  o->input = files[0];
  o->output = files[1];
  if (o->width <= 0 || o->height <= 0 || o->width > 32767 || o->height > 32767) {
    *error = "--width and --height must be given, from 1 to 32767";
    return false;
  }
  if (o->src_row_bytes == 0) o->src_row_bytes = 4 * o->width;
  if (o->dst_row_bytes == 0) o->dst_row_bytes = 4 * o->width;
  if (o->src_row_bytes < 4 * o->width || o->dst_row_bytes < 4 * o->width ||
      o->src_row_bytes > 0x7FFFFFFF / o->height || o->dst_row_bytes > 0x7FFFFFFF / o->height) {
    *error = "row bytes must hold a row (at least 4 x width) and fit 32 bits for the frame";
    return false;
  }
  return true;
}

}  // namespace

int RunRenderCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  RenderOptions o;
  std::string error;
  if (!ParseOptions(args, &o, &error)) {
    err << "fieldrestore: " << error << "\n" << kRenderUsage;
    return 2;
  }
  const bool from_stdin = o.input == "-", to_stdout = o.output == "-";
  if (from_stdin || to_stdout) platform::SetBinaryStdio();
  const uint64_t picture_bytes = static_cast<uint64_t>(4 * o.width * o.height);
  std::ifstream file;
  std::istream& in = from_stdin ? std::cin : file;
  std::optional<uint64_t> frames;  // unknown for a stream: until it ends
  if (!from_stdin) {
    file.open(o.input, std::ios::binary | std::ios::ate);
    if (!file) {
      err << "fieldrestore: cannot open " << o.input << "\n";
      return 1;
    }
    const uint64_t file_size = static_cast<uint64_t>(file.tellg());
    if (file_size == 0 || file_size % picture_bytes != 0) {
      err << "fieldrestore: " << o.input << " holds " << file_size
          << " bytes, not a whole number of " << o.width << "x" << o.height << " BGRA frames ("
          << picture_bytes << " bytes each)\n";
      return 1;
    }
    file.seekg(0);
    frames = file_size / picture_bytes;
  }
  std::unique_ptr<FrameRenderer> renderer = MakeFrameRenderer(&error);
  if (!renderer) {
    err << "fieldrestore: " << error << "\n";
    return 1;
  }
  if (o.picture.show_map && !renderer->ShowCombMap()) {
    err << "fieldrestore: --show-map needs the native build; the plug-in cannot draw the map\n";
    return 2;
  }
  std::ofstream output_file;
  if (!to_stdout) {
    output_file.open(o.output, std::ios::binary | std::ios::trunc);
    if (!output_file) {
      err << "fieldrestore: cannot create " << o.output << "\n";
      return 1;
    }
  }
  std::ostream& output = to_stdout ? out : output_file;
  std::vector<uint8_t> picture(picture_bytes);
  PictureFrames host_frames(static_cast<uint32_t>(o.width), static_cast<uint32_t>(o.height),
                            o.src_row_bytes, o.dst_row_bytes, o.picture.keep);
  const bool progress = platform::StderrIsTerminal();
  const auto start = std::chrono::steady_clock::now();
  uint64_t done = 0;
  for (; !frames || done < *frames; ++done) {
    in.read(reinterpret_cast<char*>(picture.data()), static_cast<std::streamsize>(picture_bytes));
    const uint64_t got = static_cast<uint64_t>(in.gcount());
    if (!frames && got == 0 && in.eof()) break;  // the stream ended between frames
    if (got != picture_bytes) {
      err << "fieldrestore: " << (from_stdin ? "standard input" : o.input) << " ends inside frame "
          << done << " (" << got << " of " << picture_bytes << " bytes)\n";
      return 1;
    }
    host_frames.Load(picture.data());
    ExecuteFrames f;
    f.frame_number = o.first_frame + static_cast<int32_t>(done);
    f.frame_total = frames ? static_cast<int32_t>(*frames) : 0;
    f.field_flags = static_cast<uint16_t>(o.field_flags);
    host_frames.Describe(&f);
    renderer->Render(f);
    host_frames.Store(picture.data());
    if (!output.write(reinterpret_cast<const char*>(picture.data()),
                      static_cast<std::streamsize>(picture_bytes))) {
      break;  // reported below
    }
    if (progress) {
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      const double fps = seconds > 0 ? (done + 1) / seconds : 0;
      char line[96];
      if (frames) {
        const double left = fps > 0 ? (*frames - done - 1) / fps : 0;
        std::snprintf(line, sizeof line, "\rframe %llu of %llu, %.1f fps, %.0f s left   ",
                      static_cast<unsigned long long>(done + 1),
                      static_cast<unsigned long long>(*frames), fps, left);
      } else {
        std::snprintf(line, sizeof line, "\rframe %llu, %.1f fps   ",
                      static_cast<unsigned long long>(done + 1), fps);
      }
      err << line << std::flush;
    }
  }
  if (progress) err << "\n";
  if (to_stdout) {
    output.flush();
  } else {
    output_file.close();
  }
  if (!output) {
    err << "fieldrestore: cannot write " << (to_stdout ? "standard output" : o.output) << "\n";
    return 1;
  }
  if (done == 0) {  // an upstream program that failed before its first frame
    err << "fieldrestore: standard input held no frames\n";
    return 1;
  }
  // With the frames on standard output, the summary goes with the messages.
  (to_stdout ? err : out) << "rendered " << done << " frame" << (done == 1 ? "" : "s") << " into "
                          << (to_stdout ? "standard output" : o.output) << "\n";
  return 0;
}
