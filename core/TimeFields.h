#pragma once
// The time fields of the extraction pages and the command line (hours,
// minutes, seconds, milliseconds), and the one place where a time is split
// into them or joined from them. Qt-free.
#include <cstdint>

namespace vt {

struct TimeFields {
    int hours = 0;         // 0 to 2147483647
    int minutes = 0;       // 0 to 59
    int seconds = 0;       // 0 to 59
    int milliseconds = 0;  // 0 to 999
};

// ((hours x 60 + minutes) x 60 + seconds) x 1000 + milliseconds. 64-bit:
// the largest hour value does not overflow.
int64_t ToMilliseconds(const TimeFields& t);

// hours x 3600 + minutes x 60 + seconds + milliseconds / 1000, in that order
// of additions: what frame and sample positions are computed from.
double ToSeconds(const TimeFields& t);

// The fields of a whole number of seconds and the milliseconds past it
// (hours capped at 2147483647). For clocks that count in other units
// (frames, samples, 100-ns ticks), which work out both parts themselves.
TimeFields SplitSeconds(uint64_t wholeSeconds, int milliseconds);

// The fields of a millisecond count (hours capped at 2147483647; negative
// counts give zero), as pages fill the range from a file's length.
TimeFields FromMilliseconds(int64_t ms);

}  // namespace vt
