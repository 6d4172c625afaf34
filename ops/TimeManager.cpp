#include "ops/TimeManager.h"

#include <chrono>
#include <cstdio>

#include "core/Strings.h"
#include "core/TimeFields.h"

namespace vt {

uint32_t CTimeMmanager::SystemMilliseconds() {
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

CTimeMmanager::CTimeMmanager() : start_(SystemMilliseconds()) {}

uint32_t CTimeMmanager::Start() {
    return start_ = clock_();
}
void CTimeMmanager::Clear() {
    total_ = 0;
}
void CTimeMmanager::SetInterval(uint32_t ms) {
    interval_ = ms;
}
uint32_t CTimeMmanager::Accumulate() {
    return total_ += GetElapsed();
}
uint32_t CTimeMmanager::GetTotal() const {
    return total_;
}
uint32_t CTimeMmanager::GetElapsed() const {
    return clock_() - start_;
}
bool CTimeMmanager::IsIntervalElapsed() const {
    return interval_ < GetElapsed();
}

std::string FormatHMS(double seconds) {
    uint32_t s = seconds <= 0 ? 0 : seconds >= 4294967295.0 ? 4294967295u : uint32_t(seconds);
    char buf[48];
    const TimeFields t = SplitSeconds(s, 0);
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hours, t.minutes, t.seconds);
    return buf;
}

int ProgressPosition(double percent) {
    int pos = int(percent + 0.5);
    if (pos >= 99) pos = 99;
    if (pos < 0) pos = 0;
    return pos;
}

std::string FormatProgressText(double percent, double elapsedSeconds) {
    double remaining = 0;
    if (percent > 0) remaining = double(int64_t(elapsedSeconds * (100.0 - percent) / percent));
    char head[32];
    std::snprintf(head, sizeof head, "%d %% (", ProgressPosition(percent));
    return head + FormatHMS(elapsedSeconds) + LoadStringPair(43065, 43066) + FormatHMS(remaining) + ")";
}

}  // namespace vt
