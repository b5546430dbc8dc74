// The clock: scaled station time and sleeps that end when the thread's stop is requested.
#include <gtest/gtest.h>

#include <thread>

#include "platform/clock.h"

namespace nvl {
namespace {

TEST(Clock, StopEndsASleepAtOnceAndLaterSleepsFail) {
  Clock::SetTimeScale(1.0);
  std::stop_source source;
  bool first = true, second = true;
  std::thread worker([&] {
    StopScope scope(source.get_token());
    first = Clock::SleepMs(60'000);  // would take a minute
    second = Clock::SleepMs(1);
  });
  source.request_stop();
  worker.join();  // returns only because the stop woke the sleep
  EXPECT_FALSE(first);
  EXPECT_FALSE(second);
  EXPECT_FALSE(Clock::StopRequested());  // the test thread has no stop of its own
}

TEST(Clock, ScopeRestoresThePreviousToken) {
  std::stop_source outer, inner;
  StopScope a(outer.get_token());
  {
    StopScope b(inner.get_token());
    inner.request_stop();
    EXPECT_TRUE(Clock::StopRequested());
  }
  EXPECT_FALSE(Clock::StopRequested());
}

TEST(Clock, ScaleMapsStationTimeToRealTime) {
  Clock::SetTimeScale(0.001);
  const auto real0 = std::chrono::steady_clock::now();
  const int64_t station0 = Clock::NowMs();
  EXPECT_TRUE(Clock::SleepMs(5000));  // five station seconds at a thousandth: about 5 ms
  const int64_t station_elapsed = Clock::NowMs() - station0;
  const auto real_elapsed = std::chrono::steady_clock::now() - real0;
  Clock::SetTimeScale(1.0);
  EXPECT_GE(station_elapsed, 5000);
  EXPECT_LT(real_elapsed, std::chrono::seconds(5));  // far below the unscaled five seconds
  Clock::SetTimeScale(-3);                           // refused
  EXPECT_EQ(Clock::TimeScale(), 1.0);
}

TEST(Clock, ScaleFromEnvironmentOnlyForTheSimulatedStation) {
  setenv("NVL_TIME_SCALE", "0.01", 1);
  EXPECT_EQ(ApplyTimeScaleFromEnvironment(false), 1.0);
  EXPECT_EQ(ApplyTimeScaleFromEnvironment(true), 0.01);
  setenv("NVL_TIME_SCALE", "fast", 1);
  Clock::SetTimeScale(1.0);
  EXPECT_EQ(ApplyTimeScaleFromEnvironment(true), 1.0);
  unsetenv("NVL_TIME_SCALE");
}

}  // namespace
}  // namespace nvl
