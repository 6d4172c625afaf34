#include <gtest/gtest.h>
#include <stdlib.h>

#include "ops/TimeManager.h"

using namespace vt;

namespace {
uint32_t g_now = 0;
uint32_t FakeClock() {
    return g_now;
}
}  // namespace

TEST(FormatHMS, Values) {
    EXPECT_EQ(FormatHMS(3725), "01:02:05");
    EXPECT_EQ(FormatHMS(360000), "100:00:00");
    EXPECT_EQ(FormatHMS(0.99), "00:00:00");
    EXPECT_EQ(FormatHMS(-3), "00:00:00");
}

TEST(ProgressText, PositionNeverReaches100AndRemainingFromRawPercent) {
    setenv("LC_ALL", "en_US.UTF-8", 1);
    EXPECT_EQ(FormatProgressText(0, 0), "0 % (00:00:00/00:00:00)");
    EXPECT_EQ(FormatProgressText(99.6, 10), "99 % (00:00:10/00:00:00)");
    EXPECT_EQ(FormatProgressText(42, 70), "42 % (00:01:10/00:01:36)");
    setenv("LC_ALL", "ja_JP.UTF-8", 1);
    EXPECT_EQ(FormatProgressText(50, 60), "50 % (00:01:00／00:01:00)");
    setenv("LC_ALL", "C.UTF-8", 1);
}

TEST(CTimeMmanager, IntervalIsStrictAndWraps) {
    CTimeMmanager t;
    t.SetClock(&FakeClock);
    g_now = 0xFFFFFF00u;  // about to wrap
    t.Start();
    t.SetInterval(500);
    g_now += 500;
    EXPECT_FALSE(t.IsIntervalElapsed());
    g_now += 1;  // wraps past zero
    EXPECT_TRUE(t.IsIntervalElapsed());
    EXPECT_EQ(t.GetElapsed(), 501u);
    EXPECT_EQ(t.Accumulate(), 501u);
    t.Start();
    g_now += 100;
    EXPECT_EQ(t.Accumulate(), 601u);
    t.Clear();
    EXPECT_EQ(t.GetTotal(), 0u);
}
