// When a frei0r host's frame times say that one frame directly follows
// another. frei0r hands a filter one frame at a time with its time in
// seconds and no frame rate, and hosts hand frames out of order (seeks,
// reversed play, one plug-in instance per render thread taking every
// second or third frame), so the restoring method keeps a frame only for
// the frame that follows it directly:
//  - the step between the two times is a frame duration of a video frame
//    rate (23.976, 24, 25, 29.97, 30, 48, 50, 59.94, 60, 100 or 120 frames
//    a second), within half a thousandth of it, in seconds (MLT, GStreamer)
//    or in milliseconds (ffmpeg hands its times over so); a step of two or
//    three frames at 25 or 30 frames a second (12.5, 15, 10 or 8.33 a
//    second) is none of them;
//  - and it is no longer than the shortest step the instance has seen:
//    once frames 1/50 s apart have come, 1/25 s means a frame was skipped.
#pragma once

#include <cmath>

inline bool FollowsDirectly(double earlier, double later, double* shortest_step) {
  const double step = later - earlier;
  if (!(step > 0) || !std::isfinite(step)) return false;
  if (step < *shortest_step) *shortest_step = step;
  if (step > *shortest_step * 1.0005) return false;
  static constexpr double kRates[] = {
      24000.0 / 1001, 24, 25, 30000.0 / 1001, 30, 48, 50, 60000.0 / 1001, 60, 100, 120};
  for (double unit : {1.0, 1000.0}) {
    for (double rate : kRates) {
      if (std::fabs(step * rate / unit - 1) <= 0.0005) return true;
    }
  }
  return false;
}
