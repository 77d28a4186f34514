#include "base/HighResClock.h"

#include <chrono>

namespace gq {
namespace {

struct Calibration {
  std::chrono::steady_clock::time_point counterAtStart;
  int64_t wallMicrosecondsAtStart;
};

const Calibration& TheCalibration() {
  static const Calibration calibration{std::chrono::steady_clock::now(),
                                       std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::system_clock::now().time_since_epoch())
                                               .count() *
                                           1000};
  return calibration;
}

int64_t ToMicroseconds(const HighResTime& time) {
  return time.seconds * 1000000 + time.microseconds;
}

}  // namespace

HighResTime HighResNow() {
  const Calibration& calibration = TheCalibration();
  int64_t elapsed = std::chrono::duration_cast<std::chrono::microseconds>(
                        std::chrono::steady_clock::now() - calibration.counterAtStart)
                        .count();
  int64_t now = calibration.wallMicrosecondsAtStart + elapsed;
  return HighResTime{now / 1000000, static_cast<int32_t>(now % 1000000)};
}

int64_t MillisecondsSince(const HighResTime& since) {
  return (ToMicroseconds(HighResNow()) - ToMicroseconds(since)) / 1000;
}

int64_t MillisecondsSinceAndUpdate(HighResTime* since) {
  HighResTime now = HighResNow();
  int64_t elapsed = (ToMicroseconds(now) - ToMicroseconds(*since)) / 1000;
  *since = now;
  return elapsed;
}

}  // namespace gq
