#include "vxmeta/comm/etimer.h"

#include "vxmeta/foundation/clock.h"

namespace VxMeta {

ETimer::ETimer() { start(); }

void ETimer::start() { startTime = now(); }

void ETimer::stop() {
    stopTime = now();
    duration = *stopTime - startTime.value_or(*stopTime);
}

double ETimer::elapsedSeconds() const {
    return static_cast<double>(std::chrono::duration_cast<std::chrono::milliseconds>(duration).count()) * 0.001;
}

ETimer::TimePoint ETimer::now() { return std::chrono::milliseconds(nowMillis()); }

} // namespace VxMeta
