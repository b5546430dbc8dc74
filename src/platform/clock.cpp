#include "platform/clock.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace nvl {
namespace {

std::atomic<double> g_scale{1.0};
thread_local std::stop_token t_stop;

using SteadyClock = std::chrono::steady_clock;

}  // namespace

void Clock::SetTimeScale(double scale) {
  if (scale > 0.0) g_scale.store(scale);
}

double Clock::TimeScale() {
  return g_scale.load();
}

int64_t Clock::NowMs() {
  const auto real =
      std::chrono::duration<double, std::milli>(SteadyClock::now().time_since_epoch());
  return static_cast<int64_t>(real.count() / g_scale.load());
}

bool Clock::StopRequested() {
  return t_stop.stop_requested();
}

bool Clock::SleepMs(int64_t ms) {
  if (t_stop.stop_requested()) return false;
  if (ms <= 0) return true;
  const auto real =
      std::chrono::duration<double, std::milli>(static_cast<double>(ms) * g_scale.load());
  const auto deadline =
      SteadyClock::now() + std::chrono::duration_cast<SteadyClock::duration>(real);
  if (!t_stop.stop_possible()) {
    std::this_thread::sleep_until(deadline);
    return true;
  }
  // Wake early when the stop is requested.
  std::mutex m;
  std::condition_variable_any cv;
  std::unique_lock lock(m);
  cv.wait_until(lock, t_stop, deadline, [] { return false; });
  return !t_stop.stop_requested();
}

StopScope::StopScope(std::stop_token token) : previous_(t_stop) {
  t_stop = std::move(token);
}

StopScope::~StopScope() {
  t_stop = previous_;
}

double ApplyTimeScaleFromEnvironment(bool simulated) {
  if (!simulated) {
    Clock::SetTimeScale(1.0);
    return 1.0;
  }
  if (const char* s = std::getenv("NVL_TIME_SCALE"); s != nullptr && *s != '\0') {
    char* end = nullptr;
    const double v = std::strtod(s, &end);
    if (end != s && v > 0.0) Clock::SetTimeScale(v);
  }
  return Clock::TimeScale();
}

}  // namespace nvl
