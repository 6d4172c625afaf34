#include "core/TimeFields.h"

#include <limits>

namespace vt {

int64_t ToMilliseconds(const TimeFields& t) {
    return ((int64_t(t.hours) * 60 + t.minutes) * 60 + t.seconds) * 1000 + t.milliseconds;
}

double ToSeconds(const TimeFields& t) {
    return double(t.hours) * 3600.0 + double(t.minutes) * 60.0 + double(t.seconds) +
           double(t.milliseconds) / 1000.0;
}

TimeFields SplitSeconds(uint64_t wholeSeconds, int milliseconds) {
    constexpr uint64_t kMaxHours = uint64_t(std::numeric_limits<int>::max());
    TimeFields t;
    const uint64_t hours = wholeSeconds / 3600;
    t.hours = int(hours > kMaxHours ? kMaxHours : hours);
    t.minutes = int((wholeSeconds % 3600) / 60);
    t.seconds = int(wholeSeconds % 60);
    t.milliseconds = milliseconds;
    return t;
}

TimeFields FromMilliseconds(int64_t ms) {
    if (ms <= 0) return TimeFields{};
    return SplitSeconds(uint64_t(ms / 1000), int(ms % 1000));
}

}  // namespace vt
