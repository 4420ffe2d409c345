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
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <ostream>
#include <system_error>

#include "host/method_names.h"
#include "platform/row_file.h"
#include "platform/system.h"
#include "platform/terminal.h"
#include "tools/fieldrestore/cli.h"
#include "tools/fieldrestore/file_access.h"
#include "tools/fieldrestore/frame_renderer.h"
#include "tools/fieldrestore/render_picture.h"
#include "tools/fieldrestore/render_queue.h"
#include "tools/fieldrestore/restore_queue.h"
#include "tools/fieldrestore/store_report.h"

const char* const kRenderUsage =
    "  render --width W --height H IN.bgra OUT.bgra\n"
    "         [--src-rowbytes N] [--dst-rowbytes N] [--field-flags N] [--first-frame N]\n"
    "                            render raw BGRA frames with the stored settings and region\n"
    "                            (- for standard input or output)\n"
    "         [--keep bottom|top]  the field kept as it is (default bottom: rows 1, 3, 5, ...);\n"
    "                            other sizes than multiples of 16 are extended and cropped\n"
    "                            back unless row bytes are given\n"
    "         [--show-map]         draw the comb map: combed pixels red, motion-replaced blocks\n"
    "                            green, blocks outside the region blue\n"
    "         [--threads N]      frames rendered at once, at most 64 and one a frame\n"
    "                            (default: one per processor); the output is the same\n"
    "                            for every N\n"
    "         [--method M]       the method of this render, the stored settings untouched:\n"
    "                            0-5 or none, even-rows, interpolation, area, motion, advanced;\n"
    "                            restore: rebuilt from the frames before and after each frame\n"
    "         [--previous-only]  restore with the frames before each frame only, as the\n"
    "                            frei0r plug-in does\n";

namespace {

struct RenderOptions {
  std::optional<int32_t> method;  // kRestoreMethod for restore
  bool previous_only = false;
  bool row_bytes_given = false;
  int64_t width = 0, height = 0;
  int64_t src_row_bytes = 0, dst_row_bytes = 0;  // 0: 4 x width
  uint32_t field_flags = 0;
  int32_t first_frame = 0;
  int64_t threads = 0;  // 0: one per processor
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
    if (a == "--previous-only") {
      o->previous_only = true;
      continue;
    }
    if (i + 1 >= args.size()) {
      *error = a + " needs a value";
      return false;
    }
    if (a == "--method") {
      int32_t m = 0;
      if (!MethodByName(args[++i], &m)) {
        *error =
            "--method takes 0 to 5, none, even-rows, interpolation, area, motion, advanced "
            "or restore, not '" +
            args[i] + "'";
        return false;
      }
      o->method = m;
      continue;
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
      o->row_bytes_given = true;
    } else if (a == "--dst-rowbytes") {
      o->dst_row_bytes = v;
      o->row_bytes_given = true;
    } else if (a == "--field-flags") {
      o->field_flags = static_cast<uint32_t>(v);
    } else if (a == "--first-frame") {
      o->first_frame = static_cast<int32_t>(v);
    } else if (a == "--threads") {
      if (v < 1) {
        *error = "--threads takes 1 or more";
        return false;
      }
      o->threads = v;
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
  if (o->src_row_bytes == 0 && o->dst_row_bytes == 0 && !FrameFits(o->width, o->height)) {
    *error = FrameTooLarge(o->width, o->height);
    return false;
  }
  const bool restore = o->method == kRestoreMethod;
  if (o->previous_only && !restore) {
    *error = "--previous-only goes with --method restore";
    return false;
  }
  if (restore && (o->row_bytes_given || o->field_flags != 0)) {
    *error =
        "--method restore renders whole frames: --src-rowbytes, --dst-rowbytes and "
        "--field-flags are the plug-in's host geometries";
    return false;
  }
  if (o->method && !restore && RendersThroughPlugin()) {
    *error = "--method " + std::to_string(*o->method) +
             ": this build renders methods 0 to 5 through fieldrestore.prm, which reads its "
             "method from the stored settings; use 'settings set method'";
    return false;
  }
  if (!restore && o->threads > MaxRenderThreads()) {
    *error = "--threads " + std::to_string(o->threads) +
             ": this build renders through fieldrestore.prm, which renders one frame at a "
             "time; use --threads 1";
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

// Reads up to `bytes` bytes, letting the buffer grow as they arrive rather
// than allocating the whole frame first: a stream that ends early, or never
// starts, costs only what it held. Returns the bytes read.
uint64_t ReadGrowing(std::istream& in, PictureBuffer* buffer, uint64_t bytes) {
  constexpr uint64_t kStep = uint64_t{1} << 20;
  buffer->clear();
  while (buffer->size() < bytes) {
    const size_t old = buffer->size();
    const size_t chunk = static_cast<size_t>(std::min(kStep, bytes - old));
    buffer->resize(old + chunk);
    in.read(reinterpret_cast<char*>(buffer->data() + old), static_cast<std::streamsize>(chunk));
    const size_t got = static_cast<size_t>(in.gcount());
    buffer->resize(old + got);
    if (got < chunk) break;
  }
  return buffer->size();
}

// The height the plug-in sees: a source row pitch of two rows or more hands
// over one field.
int64_t HandedHeight(const RenderOptions& o) {
  return o.src_row_bytes / o.width / 4 > 1 ? 2 * o.height : o.height;
}

// Whether the plug-in copies the frames through for their size. Frames with
// plain row bytes are extended to multiples of 16 and always processed;
// other geometries are handed over as a host's would be.
bool CopiedForSize(const RenderOptions& o) {
  const int64_t plain = int64_t{4} * o.width;
  if (o.src_row_bytes == plain && o.dst_row_bytes == plain) return false;
  return o.width % 16 != 0 || HandedHeight(o) % 16 != 0;
}

// When the plug-in will not deinterlace the frames of this render, why;
// empty when it processes them.
std::string CopyThroughReason(const RenderOptions& o, int32_t method) {
  if (method == 0) return "method 0 (None) copies every frame unchanged";
  if (method < 0 || method > 5) {
    return "method " + std::to_string(method) +
           " is not one the plug-in knows (0 to 5): frames are converted to YV12 and back "
           "but not deinterlaced";
  }
  if (CopiedForSize(o)) {
    return std::to_string(o.width) + "x" + std::to_string(HandedHeight(o)) +
           " frames are copied unchanged: the plug-in processes only widths and heights "
           "that are multiples of 16";
  }
  return {};
}

// The render's files: frames read in order (the first growing as it
// arrives), results written in order with the progress line.
class RenderStream final : public FrameStream {
 public:
  RenderStream(const RenderOptions& o, std::istream& in, const platform::RowFile* file,
               std::optional<uint64_t> frames, std::ostream& output, std::string output_name,
               std::ostream& err)
      : in_(in),
        input_name_(file ? o.input : "standard input"),
        frames_(frames),
        output_(output),
        output_name_(std::move(output_name)),
        err_(err),
        picture_bytes_(static_cast<uint64_t>(4 * o.width * o.height)),
        progress_(platform::StderrIsTerminal()),
        start_(std::chrono::steady_clock::now()),
        tie_(in.tie(nullptr)),
        file_(file) {}
  // Frames are read on other threads than they are written: the input
  // does not flush a tied output before it reads.
  ~RenderStream() { in_.tie(tie_); }

  bool ReadsAtAnyPosition() const override { return file_ != nullptr; }

  Read ReadFrame(uint64_t index, const std::function<PictureView()>& rows,
                 std::string* error) override {
    if (file_) return ReadFileFrame(index, rows, error);
    // A stream's frames come in order through one buffer, the first of
    // them taken as it arrives.
    uint64_t got = 0;
    if (index == 0) {
      got = ReadGrowing(in_, &staging_, picture_bytes_);
    } else {
      staging_.resize(static_cast<size_t>(picture_bytes_));
      in_.read(reinterpret_cast<char*>(staging_.data()),
               static_cast<std::streamsize>(picture_bytes_));
      got = static_cast<uint64_t>(in_.gcount());
    }
    if (got == 0 && in_.eof()) return Read::kEnd;  // ended between frames
    const Read read = Complete(index, got, error);
    if (read == Read::kFrame) {
      const PictureView picture = rows();
      CopyPictureRows(PackedPicture(staging_.data(), picture.width, picture.height), picture);
    }
    return read;
  }

  bool WriteFrame(uint64_t index, const PictureView& picture, std::string* error) override {
    // Rows that lie one after another go out in one write; others through
    // a buffer of as many rows as the system writes best at once.
    const size_t row_bytes = size_t{4} * picture.width;
    const bool packed = picture.stride == static_cast<ptrdiff_t>(row_bytes);
    const uint32_t step = packed ? picture.height
                                 : static_cast<uint32_t>(std::clamp<size_t>(
                                       platform::RowWriteBytes() / row_bytes, 1, picture.height));
    if (!packed) write_buffer_.resize(step * row_bytes);
    platform::ClearRuntimeError();
    for (uint32_t r = 0; r < picture.height; r += step) {
      const uint32_t n = std::min(step, picture.height - r);
      const uint8_t* rows = picture.pixels + static_cast<ptrdiff_t>(r) * picture.stride;
      if (!packed) {
        CopyPictureRows(PictureView{const_cast<uint8_t*>(rows), picture.stride, picture.width, n},
                        PackedPicture(write_buffer_.data(), picture.width, n));
        rows = write_buffer_.data();
      }
      if (!output_.write(reinterpret_cast<const char*>(rows),
                         static_cast<std::streamsize>(n * row_bytes))) {
        *error = "cannot write " + output_name_ + ": " + WriteFailure(output_);
        return false;
      }
    }
    if (progress_) ShowProgress(index + 1);
    return true;
  }

  void EndProgress() {
    if (progress_) err_ << "\n";
  }
  const std::string& OutputName() const { return output_name_; }

 private:
  Read Complete(uint64_t index, uint64_t got, std::string* error) const {
    if (got == picture_bytes_) return Read::kFrame;
    *error = input_name_ + " ends inside frame " + std::to_string(index) + " (" +
             std::to_string(got) + " of " + std::to_string(picture_bytes_) + " bytes)";
    return Read::kFailed;
  }

  // Reads a frame of the input file at its position, straight into its
  // rows; any number of threads may do so at once.
  Read ReadFileFrame(uint64_t index, const std::function<PictureView()>& rows, std::string* error) {
    if (index >= *frames_) return Read::kEnd;
    const PictureView picture = rows();
    std::string reason;
    const int64_t got = file_->ReadRows(index * picture_bytes_, picture.pixels, picture.stride,
                                        size_t{4} * picture.width, picture.height, &reason);
    if (got < 0) {
      *error = input_name_ + ": " + reason;
      return Read::kFailed;
    }
    return Complete(index, static_cast<uint64_t>(got), error);
  }

  void ShowProgress(uint64_t written) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double fps = seconds > 0 ? written / seconds : 0;
    char line[96];
    if (frames_) {
      const double left = fps > 0 ? (*frames_ - written) / fps : 0;
      std::snprintf(line, sizeof line, "\rframe %llu of %llu, %.1f fps, %.0f s left   ",
                    static_cast<unsigned long long>(written),
                    static_cast<unsigned long long>(*frames_), fps, left);
    } else {
      std::snprintf(line, sizeof line, "\rframe %llu, %.1f fps   ",
                    static_cast<unsigned long long>(written), fps);
    }
    err_ << line << std::flush;
  }

  std::istream& in_;
  std::string input_name_;
  std::optional<uint64_t> frames_;
  std::ostream& output_;
  std::string output_name_;
  std::ostream& err_;
  uint64_t picture_bytes_;
  bool progress_;
  std::chrono::steady_clock::time_point start_;
  std::ostream* tie_;
  const platform::RowFile* file_;      // the input file, or null for a stream
  PictureBuffer staging_;              // a stream's frame on its way to its rows
  std::vector<uint8_t> write_buffer_;  // rows on their way out, written by one thread at a time
};

}  // namespace

int RunRenderCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  RenderOptions o;
  std::string error;
  if (!ParseOptions(args, &o, &error)) {
    err << "fieldrestore: " << error << "\n" << kRenderUsage;
    return 2;
  }
  const bool from_stdin = o.input == "-", to_stdout = o.output == "-";
  if (RefuseInputAsOutput(o.input, o.output, err)) return 1;
  if (from_stdin || to_stdout) platform::SetBinaryStdio();
  const uint64_t picture_bytes = static_cast<uint64_t>(4 * o.width * o.height);
  std::ifstream file;
  std::istream& in = from_stdin ? std::cin : file;
  std::optional<uint64_t> frames;  // unknown for a stream: until it ends
  platform::RowFile row_file;      // the input file's frames, read straight into their rows
  if (!from_stdin) {
    uint64_t file_size = 0;
    if (!OpenInputFile(o.input, &file, &file_size, &error)) {
      err << "fieldrestore: " << error << "\n";
      return 1;
    }
    if (file_size == 0 || file_size % picture_bytes != 0) {
      err << "fieldrestore: " << o.input << " holds " << file_size
          << " bytes, not a whole number of " << o.width << "x" << o.height << " BGRA frames ("
          << picture_bytes << " bytes each)\n";
      return 1;
    }
    frames = file_size / picture_bytes;
    if (!row_file.Open(o.input, &error)) {
      err << "fieldrestore: " << o.input << ": " << error << "\n";
      return 1;
    }
  }
  // The user's settings and region, or the reason they cannot be had:
  // rendering with anything else is not what was asked for. They are read
  // once: every frame of the render is rendered with the same setting.
  RenderStore store;
  const bool restore = o.method == kRestoreMethod;
  if (!ReadRenderSettings(&store, !restore && CopiedForSize(o), err)) return 1;
  if (o.method && !restore) store.settings.method = *o.method;
  if (const std::string reason = restore ? "" : CopyThroughReason(o, store.settings.method);
      !reason.empty()) {
    err << "fieldrestore: warning: " << reason << "\n";
  }
  // Every render thread's renderer is made alike, the comb map included;
  // one made up front tells, before any output is opened, whether a
  // renderer can be had and can draw the map.
  const bool show_map = o.picture.show_map;
  const RendererMaker make_renderer = [&store, show_map](std::string* why) {
    std::unique_ptr<FrameRenderer> renderer = MakeFrameRenderer(store, why);
    if (renderer && show_map) renderer->ShowCombMap();
    return renderer;
  };
  // (The restoring method renders natively in every build.)
  std::unique_ptr<FrameRenderer> renderer;
  if (!restore && !(renderer = MakeFrameRenderer(store, &error))) {
    err << "fieldrestore: " << error << "\n";
    return 1;
  }
  if (show_map && renderer && !renderer->ShowCombMap()) {
    err << "fieldrestore: --show-map needs the native build; the plug-in cannot draw the map\n";
    return 2;
  }
  OutputFile output_file;
  if (!to_stdout && !output_file.Open(o.output, &error, /*streams_ok=*/true)) {
    err << "fieldrestore: " << error << "\n";
    return 1;
  }
  RenderStream stream(o, in, from_stdin ? nullptr : &row_file, frames,
                      to_stdout ? out : output_file.stream(),
                      to_stdout ? "standard output" : o.output, err);
  RenderJob job;
  job.width = static_cast<uint32_t>(o.width);
  job.height = static_cast<uint32_t>(o.height);
  job.src_row_bytes = o.src_row_bytes;
  job.dst_row_bytes = o.dst_row_bytes;
  job.keep = o.picture.keep;
  job.first_frame = o.first_frame;
  job.frame_total = frames ? static_cast<int32_t>(*frames) : 0;
  job.field_flags = static_cast<uint16_t>(o.field_flags);
  const unsigned threads =
      RenderThreadCount(o.threads ? static_cast<uint64_t>(o.threads)
                                  : std::min(DefaultRenderThreads(job.width, job.height),
                                             restore ? ~0u : MaxRenderThreads()),
                        frames.value_or(0));
  uint64_t done = 0;
  std::string warning;
  const bool rendered =
      restore
          ? RunRestoreQueue(job, o.previous_only ? RestoreReach::kPrevious : RestoreReach::kBoth,
                            threads, store, show_map, stream, &done, &error, &warning)
          : RunRenderQueue(job, threads, make_renderer, stream, &done, &error, &warning);
  stream.EndProgress();
  if (!warning.empty()) err << "fieldrestore: warning: " << warning << "\n";
  if (!rendered) {
    err << "fieldrestore: " << error << "\n";
    return 1;
  }
  if (done == 0) {  // an upstream program that failed before its first frame
    err << "fieldrestore: standard input held no frames\n";
    return 1;
  }
  platform::ClearRuntimeError();
  if (to_stdout ? !out.flush() : !output_file.Commit(&error)) {
    err << "fieldrestore: "
        << (to_stdout ? "cannot write standard output: " + WriteFailure(out) : error) << "\n";
    return 1;
  }
  // With the frames on standard output, the summary goes with the messages.
  (to_stdout ? err : out) << "rendered " << done << " frame" << (done == 1 ? "" : "s") << " into "
                          << stream.OutputName() << "\n";
  return 0;
}
