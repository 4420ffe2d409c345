// An MLT host for the hosts tests: renders a clip through a frei0r filter
// the way MLT's consumers do (frames fetched in order on one thread, their
// images made on several at once, so that MLT's frei0r module gives each
// thread an instance of its own), and writes the pictures in order as raw
// BGRA.
//
//   mlt_render PROFILE IN OUT.bgra THREADS FILTER [name=value ...]
//
// With ORDER set (positions separated by commas, say 0,1,2,7,3) the host
// seeks to each position in turn instead and writes the frames in that
// order, as an editor's preview does when its user jumps about the clip.
//
// melt would do the same with real_time=-THREADS, but MLT 7.12's avformat
// consumer starts its thread before it marks itself running: a thread that
// reaches its loop first ends at once, and melt then writes nothing and
// exits 0, or waits for ever (seen on loaded machines, and every time when
// the starting thread is held up right after pthread_create).
#include <framework/mlt.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 6) {
    std::fprintf(stderr, "usage: mlt_render PROFILE IN OUT.bgra THREADS FILTER [name=value ...]\n");
    return 2;
  }
  if (!mlt_factory_init(nullptr)) return 1;
  mlt_profile profile = mlt_profile_load_file(argv[1]);
  mlt_producer producer = profile ? mlt_factory_producer(profile, nullptr, argv[2]) : nullptr;
  mlt_filter filter = profile ? mlt_factory_filter(profile, argv[5], nullptr) : nullptr;
  if (!producer || !filter) {
    std::fprintf(stderr, "mlt_render: cannot load %s or the filter %s\n", argv[2], argv[5]);
    return 1;
  }
  for (int i = 6; i < argc; ++i) mlt_properties_parse(MLT_FILTER_PROPERTIES(filter), argv[i]);
  mlt_producer_attach(producer, filter);

  // The frames in order (or in ORDER), on this thread, as a consumer
  // fetches them.
  std::vector<int> positions;
  if (const char* order = std::getenv("ORDER")) {
    std::stringstream list(order);
    for (std::string item; std::getline(list, item, ',');)
      positions.push_back(std::atoi(item.c_str()));
  } else {
    for (int i = 0; i < mlt_producer_get_length(producer); ++i) positions.push_back(i);
  }
  const int count = static_cast<int>(positions.size());
  std::vector<mlt_frame> frames(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    mlt_producer_seek(producer, positions[i]);
    mlt_service_get_frame(MLT_PRODUCER_SERVICE(producer), &frames[i], 0);
  }
  // Their images on several threads at once.
  const int width = profile->width, height = profile->height;
  const size_t bytes = size_t{4} * width * height;
  std::vector<std::vector<uint8_t>> pictures(static_cast<size_t>(count));
  std::atomic<int> next{0};
  std::atomic<bool> failed{false};
  const auto work = [&] {
    for (int i; (i = next++) < count;) {
      mlt_image_format format = mlt_image_rgba;
      int w = width, h = height;
      uint8_t* image = nullptr;
      if (!frames[i] || mlt_frame_get_image(frames[i], &image, &format, &w, &h, 0) != 0 ||
          format != mlt_image_rgba || w != width || h != height) {
        failed = true;
        continue;
      }
      // RGBA to the BGRA of the raw files.
      std::vector<uint8_t>& picture = pictures[i];
      picture.assign(image, image + bytes);
      for (size_t p = 0; p < bytes; p += 4) std::swap(picture[p], picture[p + 2]);
    }
  };
  std::vector<std::thread> threads;
  for (int t = 1; t < std::atoi(argv[4]); ++t) threads.emplace_back(work);
  work();
  for (std::thread& thread : threads) thread.join();

  FILE* out = std::fopen(argv[3], "wb");
  bool written = out != nullptr && !failed;
  for (int i = 0; written && i < count; ++i) {
    written = std::fwrite(pictures[i].data(), 1, bytes, out) == bytes;
  }
  if (out) written = std::fclose(out) == 0 && written;
  for (mlt_frame frame : frames) mlt_frame_close(frame);
  mlt_filter_close(filter);
  mlt_producer_close(producer);
  mlt_profile_close(profile);
  mlt_factory_close();
  if (!written) std::fprintf(stderr, "mlt_render: cannot render %s into %s\n", argv[2], argv[3]);
  return written ? 0 : 1;
}
