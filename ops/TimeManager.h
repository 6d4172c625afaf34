#pragma once
// The operation stopwatch and the progress text, shared by the window's pages
// and the command line. Qt-free.
#include <cstdint>
#include <string>

namespace vt {

// Millisecond stopwatch with an accumulated total and an interval test.
// Arithmetic is unsigned 32-bit, so it wraps with the millisecond clock.
class CTimeMmanager {
  public:
    CTimeMmanager();
    virtual ~CTimeMmanager() = default;

    virtual uint32_t Start();  // start time = now; returns it
    virtual void Clear();      // total = 0
    virtual void SetInterval(uint32_t ms);
    virtual uint32_t Accumulate();  // total += elapsed; returns the total
    virtual uint32_t GetTotal() const;
    virtual uint32_t GetElapsed() const;     // now - start
    virtual bool IsIntervalElapsed() const;  // interval < elapsed

    // The millisecond clock (monotonic); tests may replace it.
    using Clock = uint32_t (*)();
    void SetClock(Clock clock) { clock_ = clock; }
    static uint32_t SystemMilliseconds();

  private:
    Clock clock_ = &SystemMilliseconds;
    uint32_t start_ = 0;
    uint32_t interval_ = 0;
    uint32_t total_ = 0;
};

// "%02d:%02d:%02d" of the seconds truncated to an unsigned 32-bit integer;
// hours are not limited to two digits.
std::string FormatHMS(double seconds);

// The position the bar shows for a percentage while running: rounded, never
// above 99.
int ProgressPosition(double percent);

// "42 % (00:01:10/00:01:36)": position, elapsed time, the language's separator
// and the remaining time estimated from the raw percentage.
std::string FormatProgressText(double percent, double elapsedSeconds);

}  // namespace vt
