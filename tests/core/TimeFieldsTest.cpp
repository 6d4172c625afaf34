// The time fields split from and joined to milliseconds and seconds: one
// table both ways, then the ends of the ranges.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "core/TimeFields.h"

using namespace vt;

namespace {

void ExpectFields(const TimeFields& t, const TimeFields& want, int64_t ms) {
    EXPECT_EQ(t.hours, want.hours) << ms;
    EXPECT_EQ(t.minutes, want.minutes) << ms;
    EXPECT_EQ(t.seconds, want.seconds) << ms;
    EXPECT_EQ(t.milliseconds, want.milliseconds) << ms;
}

}  // namespace

TEST(TimeFields, MillisecondsBothWays) {
    struct Case {
        int64_t ms;
        TimeFields fields;
    };
    const Case cases[] = {
        {0, {0, 0, 0, 0}},
        {46, {0, 0, 0, 46}},  // typed "46" and shown "046": 46 ms either way
        {5046, {0, 0, 5, 46}},
        {59999, {0, 0, 59, 999}},
        {62345, {0, 1, 2, 345}},
        {3600000, {1, 0, 0, 0}},
        {3723004, {1, 2, 3, 4}},
        {int64_t(INT_MAX) * 3600000 + 3599999, {INT_MAX, 59, 59, 999}},  // the largest the fields hold
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ToMilliseconds(c.fields), c.ms);
        ExpectFields(FromMilliseconds(c.ms), c.fields, c.ms);
        ExpectFields(SplitSeconds(uint64_t(c.ms / 1000), int(c.ms % 1000)), c.fields, c.ms);
    }
}

TEST(TimeFields, OutsideTheFieldsRange) {
    // Negative counts are zero; hours stop at the largest int, the rest is the remainder.
    ExpectFields(FromMilliseconds(-1), {0, 0, 0, 0}, -1);
    ExpectFields(FromMilliseconds(INT64_MAX), {INT_MAX, 12, 55, 807}, INT64_MAX);
    ExpectFields(SplitSeconds(UINT64_MAX, 0), {INT_MAX, 0, 15, 0}, 0);
    // The largest 32-bit second count, as frame and sample positions give it.
    ExpectFields(SplitSeconds(UINT32_MAX, 999), {1193046, 28, 15, 999}, 0);
}

TEST(TimeFields, Seconds) {
    EXPECT_DOUBLE_EQ(ToSeconds({1, 2, 3, 500}), 3723.5);
    EXPECT_DOUBLE_EQ(ToSeconds({0, 0, 0, 46}), 0.046);
    EXPECT_DOUBLE_EQ(ToSeconds({INT_MAX, 59, 59, 999}), double(INT_MAX) * 3600.0 + 3599.999);
}
