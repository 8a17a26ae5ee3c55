// ETimer: the stopwatch of one exchange, read by the response log line.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace VxMeta {

class ETimer {
public:
    using Micros = std::chrono::microseconds;
    using TimePoint = Micros; // wall-clock time since the Unix epoch

    // Zero duration, then start.
    ETimer();
    void start();
    // stopTime = now; duration = stopTime - startTime.
    void stop();
    // The whole milliseconds of the duration times 0.001 (parts of a millisecond are dropped).
    double elapsedSeconds() const;
    static TimePoint now();

    Micros duration{0};
    std::optional<TimePoint> startTime;
    std::optional<TimePoint> stopTime;
};

} // namespace VxMeta
