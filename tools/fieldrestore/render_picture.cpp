// Pictures of the render command's files to frames and back.
#include "tools/fieldrestore/render_picture.h"

bool ParsePictureOption(const std::vector<std::string>& args, size_t* i, PictureOptions* options,
                        std::string* error) {
  error->clear();
  const std::string& a = args[*i];
  if (a == "--show-map") return options->show_map = true;
  if (a != "--keep") return false;
  if (*i + 1 >= args.size() || (args[*i + 1] != "top" && args[*i + 1] != "bottom")) {
    *error = "--keep takes top or bottom";
    return false;
  }
  options->keep = args[++*i] == "top" ? KeptField::kTop : KeptField::kBottom;
  return true;
}

PictureFrames::PictureFrames(uint32_t width, uint32_t height, int64_t src_row_bytes,
                             int64_t dst_row_bytes, KeptField keep)
    : width_(width),
      height_(height),
      frame_width_(width),
      frame_height_(height),
      src_row_bytes_(src_row_bytes),
      dst_row_bytes_(dst_row_bytes),
      keep_(keep) {
  const int64_t plain = int64_t{4} * width;
  if (src_row_bytes == plain && dst_row_bytes == plain) {
    frame_width_ = PaddedSize(width);
    frame_height_ = PaddedSize(height);
    src_row_bytes_ = dst_row_bytes_ = int64_t{4} * frame_width_;
  }
  src_.assign(static_cast<size_t>(src_row_bytes_ * frame_height_), 0);
  dst_.assign(static_cast<size_t>(dst_row_bytes_ * frame_height_), 0);
}

void PictureFrames::Describe(ExecuteFrames* f) {
  f->src_width = f->dst_width = static_cast<int32_t>(frame_width_);
  f->src_height = f->dst_height = static_cast<int32_t>(frame_height_);
  f->src_row_bytes = static_cast<int32_t>(src_row_bytes_);
  f->dst_row_bytes = static_cast<int32_t>(dst_row_bytes_);
  f->src_pixels = src_.data();
  f->dst_pixels = dst_.data();
}

PictureView PictureFrames::Source() {
  return PictureInHostFrame(SourceFrame(), width_, height_, keep_);
}

void PictureFrames::ExtendSource() { ExtendHostFrame(SourceFrame(), width_, height_, keep_); }

HostFrameView PictureFrames::SourceFrame() {
  return HostFrameView{src_.data(), static_cast<ptrdiff_t>(src_row_bytes_), frame_width_,
                       frame_height_};
}

PictureView PictureFrames::Result() {
  return PictureInHostFrame(HostFrameView{dst_.data(), static_cast<ptrdiff_t>(dst_row_bytes_),
                                          frame_width_, frame_height_},
                            width_, height_, keep_);
}
