// An MLT host for the hosts tests, on MLT's library. Both forms write the
// pictures in order as raw BGRA (MLT's RGBA with red and blue swapped).
//
//   mlt_render PROFILE IN OUT.bgra THREADS FILTER [name=value ...]
//
// renders the clip IN through a frei0r filter the way MLT's consumers do:
// frames fetched in order on one thread, their images made on several at
// once, so that MLT's frei0r module gives each thread an instance of its own.
// With ORDER set (positions separated by commas, say 0,1,2,7,3) the host
// seeks to each position in turn instead and writes the frames in that
// order, as an editor's preview does when its user jumps about the clip.
//
//   mlt_render --melt MELT-ARGUMENTS...
//
// renders what melt renders with these arguments, whose -consumer must be
// avformat:OUT.bgra f=rawvideo vcodec=rawvideo pix_fmt=bgra [name=value ...]:
// the producer melt builds from them (MLT's "melt" producer: a saved project
// through the xml producer, in= and out= applied as melt applies them), the
// profile melt settles on, and the frames pulled through the framework's
// consumer as the avformat consumer's thread pulls them (real_time -1: one
// read-ahead thread; RGBA images, which it asks for when writing bgra; the
// end at the first frame at speed 0). -debug and -verbose set the log level
// as in melt, so MLT's own log lines are the same.
//
// melt itself cannot be used: MLT 7.12's avformat consumer starts its thread
// before it marks itself running; a thread that reaches its loop first ends
// at once, and melt then writes nothing and exits 0, or waits for ever (seen
// on loaded machines, and every time when the starting thread is held up
// right after pthread_create). Here the loop runs on the thread that starts
// the consumer, so there is nothing to race.
#include <framework/mlt.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// MLT's RGBA picture as the BGRA of the raw files.
std::vector<uint8_t> ToBgra(const uint8_t* rgba, size_t bytes) {
  std::vector<uint8_t> picture(rgba, rgba + bytes);
  for (size_t p = 0; p < bytes; p += 4) std::swap(picture[p], picture[p + 2]);
  return picture;
}

bool Write(FILE* out, const std::vector<uint8_t>& picture) {
  return std::fwrite(picture.data(), 1, picture.size(), out) == picture.size();
}

int RenderClip(char** argv) {
  mlt_profile profile = mlt_profile_load_file(argv[1]);
  mlt_producer producer = profile ? mlt_factory_producer(profile, nullptr, argv[2]) : nullptr;
  mlt_filter filter = profile ? mlt_factory_filter(profile, argv[5], nullptr) : nullptr;
  if (!producer || !filter) {
    std::fprintf(stderr, "mlt_render: cannot load %s or the filter %s\n", argv[2], argv[5]);
    return 1;
  }
  for (char** a = argv + 6; *a; ++a) mlt_properties_parse(MLT_FILTER_PROPERTIES(filter), *a);
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
      pictures[i] = ToBgra(image, bytes);
    }
  };
  std::vector<std::thread> threads;
  for (int t = 1; t < std::atoi(argv[4]); ++t) threads.emplace_back(work);
  work();
  for (std::thread& thread : threads) thread.join();

  FILE* out = std::fopen(argv[3], "wb");
  bool written = out != nullptr && !failed;
  for (int i = 0; written && i < count; ++i) written = Write(out, pictures[i]);
  if (out) written = std::fclose(out) == 0 && written;
  for (mlt_frame frame : frames) mlt_frame_close(frame);
  mlt_filter_close(filter);
  mlt_producer_close(producer);
  mlt_profile_close(profile);
  if (!written) std::fprintf(stderr, "mlt_render: cannot render %s into %s\n", argv[2], argv[3]);
  return written ? 0 : 1;
}

// The framework starts only a consumer that says it is stopped; "running"
// is set by the loop below, on its own thread.
int IsStopped(mlt_consumer consumer) {
  return !mlt_properties_get_int(MLT_CONSUMER_PROPERTIES(consumer), "running");
}

// A consumer of the framework's own, with melt's -consumer properties over
// the avformat consumer's defaults. Setting them may change the profile
// (progressive=1 makes it progressive), as in melt.
mlt_consumer MakeConsumer(mlt_profile profile, const std::vector<const char*>& settings) {
  mlt_consumer consumer = mlt_consumer_new(profile);
  if (!consumer) return nullptr;
  mlt_service_set_profile(MLT_CONSUMER_SERVICE(consumer), profile);
  consumer->is_stopped = IsStopped;
  mlt_properties properties = MLT_CONSUMER_PROPERTIES(consumer);
  mlt_properties_set_int(properties, "real_time", -1);
  mlt_properties_set_int(properties, "prefill", 1);
  mlt_properties_set_int(properties, "terminate_on_pause", 1);
  for (const char* setting : settings) mlt_properties_parse(properties, setting);
  mlt_properties_set(properties, "mlt_image_format", "rgba");
  return consumer;
}

bool SameShape(const mlt_profile a, const mlt_profile b) {
  return a->width == b->width && a->height == b->height &&
         a->sample_aspect_num == b->sample_aspect_num &&
         a->sample_aspect_den == b->sample_aspect_den && a->frame_rate_num == b->frame_rate_num &&
         a->frame_rate_den == b->frame_rate_den && a->colorspace == b->colorspace;
}

int RenderAsMelt(char** args) {
  const char* target = nullptr;
  std::vector<const char*> settings;
  for (char** a = args; *a; ++a) {
    if (!std::strcmp(*a, "-debug")) mlt_log_set_level(MLT_LOG_DEBUG);
    if (!std::strcmp(*a, "-verbose")) mlt_log_set_level(MLT_LOG_VERBOSE);
    if (std::strcmp(*a, "-consumer") || !a[1]) continue;
    ++a;
    target = std::strncmp(*a, "avformat:", 9) ? nullptr : *a + 9;
    settings.clear();
    while (a[1] && std::strchr(a[1], '=')) settings.push_back(*++a);
  }
  const auto has = [&](const char* setting) {
    for (const char* s : settings) {
      if (!std::strcmp(s, setting)) return true;
    }
    return false;
  };
  if (!target || !has("f=rawvideo") || !has("vcodec=rawvideo") || !has("pix_fmt=bgra")) {
    std::fprintf(stderr,
                 "mlt_render --melt: the consumer must be avformat:OUT.bgra f=rawvideo "
                 "vcodec=rawvideo pix_fmt=bgra\n");
    return 2;
  }

  // The profile as melt settles on it: explicit only from MLT_PROFILE or a
  // consumer that changes its shape, otherwise taken from the producer,
  // which is then made again for it.
  mlt_profile profile = mlt_profile_init(nullptr);
  if (!profile) return 1;
  if (std::getenv("MLT_PROFILE")) profile->is_explicit = 1;
  mlt_profile before = mlt_profile_clone(profile);
  mlt_consumer consumer = MakeConsumer(profile, settings);
  if (before && !SameShape(profile, before)) profile->is_explicit = 1;
  mlt_profile_close(before);
  mlt_producer producer = mlt_factory_producer(profile, "melt", args);
  if (producer && !profile->is_explicit) {
    mlt_profile_from_producer(profile, producer);
    mlt_producer_close(producer);
    producer = mlt_factory_producer(profile, "melt", args);
  }
  mlt_consumer_close(consumer);
  consumer = MakeConsumer(profile, settings);
  if (!producer || !consumer || mlt_producer_get_length(producer) <= 0) {
    std::fprintf(stderr, "mlt_render --melt: nothing to render\n");
    return 1;
  }

  mlt_properties properties = MLT_CONSUMER_PROPERTIES(consumer);
  mlt_consumer_connect(consumer, MLT_PRODUCER_SERVICE(producer));
  mlt_consumer_start(consumer);
  mlt_properties_set_int(properties, "running", 1);
  const int width = mlt_properties_get_int(properties, "width");
  const int height = mlt_properties_get_int(properties, "height");
  const bool stop_on_pause = mlt_properties_get_int(properties, "terminate_on_pause") != 0;
  FILE* out = std::fopen(target, "wb");
  bool written = out != nullptr;
  int count = 0;
  while (written) {
    mlt_frame frame = mlt_consumer_rt_frame(consumer);
    if (!frame) {
      written = false;
      break;
    }
    if (stop_on_pause && mlt_properties_get_double(MLT_FRAME_PROPERTIES(frame), "_speed") == 0) {
      mlt_frame_close(frame);
      break;
    }
    mlt_image_format format = mlt_image_rgba;
    int w = width, h = height;
    uint8_t* image = nullptr;
    written = mlt_frame_get_image(frame, &image, &format, &w, &h, 0) == 0 &&
              format == mlt_image_rgba && w == width && h == height &&
              Write(out, ToBgra(image, size_t{4} * width * height));
    mlt_frame_close(frame);
    ++count;
  }
  mlt_consumer_stop(consumer);
  mlt_properties_set_int(properties, "running", 0);
  if (out) written = std::fclose(out) == 0 && written;
  mlt_consumer_connect(consumer, nullptr);
  mlt_producer_close(producer);
  mlt_consumer_close(consumer);
  mlt_profile_close(profile);
  if (!written || count == 0) {
    std::fprintf(stderr, "mlt_render --melt: cannot render into %s (%d frames)\n", target, count);
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool as_melt = argc >= 2 && !std::strcmp(argv[1], "--melt");
  if (!as_melt && argc < 6) {
    std::fprintf(stderr,
                 "usage: mlt_render PROFILE IN OUT.bgra THREADS FILTER [name=value ...]\n"
                 "       mlt_render --melt MELT-ARGUMENTS... -consumer avformat:OUT.bgra "
                 "f=rawvideo vcodec=rawvideo pix_fmt=bgra [name=value ...]\n");
    return 2;
  }
  if (!mlt_factory_init(nullptr)) return 1;
  const int result = as_melt ? RenderAsMelt(argv + 2) : RenderClip(argv);
  mlt_factory_close();
  return result;
}
