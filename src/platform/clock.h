// The one clock of the program: every sleep and every elapsed-time measurement goes through it.
//
// With the simulated station a time scale may be set (NVL_TIME_SCALE, for example 0.01), so that
// a 200-second limit runs in two seconds; against real boards the scale is always 1.  Times given
// to and returned by the clock are station milliseconds, which equal real milliseconds at scale 1.
//
// A thread may carry a stop token (StopScope).  Once its stop is requested every sleep of that
// thread returns false at once, and the IO library refuses further calls from it, so a runner can
// end a worker cooperatively and then join it.
#pragma once

#include <cstdint>
#include <stop_token>

namespace nvl {

class Clock {
 public:
  // Sets the scale of station time to real time; values <= 0 are ignored.
  static void SetTimeScale(double scale);
  static double TimeScale();

  // Station milliseconds since an arbitrary fixed point (monotonic).
  static int64_t NowMs();

  // Sleeps for `ms` station milliseconds.  Returns false when the calling thread's stop was
  // requested before or during the sleep (it then returns early).
  static bool SleepMs(int64_t ms);

  // True when the calling thread's stop has been requested.
  static bool StopRequested();
};

// Gives the calling thread a stop token for its lifetime; restores the previous one on exit.
class StopScope {
 public:
  explicit StopScope(std::stop_token token);
  ~StopScope();
  StopScope(const StopScope&) = delete;
  StopScope& operator=(const StopScope&) = delete;

 private:
  std::stop_token previous_;
};

// Reads NVL_TIME_SCALE when the simulated station is in use; ignored otherwise.  Returns the
// scale now in force.
double ApplyTimeScaleFromEnvironment(bool simulated);

}  // namespace nvl
