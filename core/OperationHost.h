#pragma once
// What an operation needs from whoever runs it: the window's page or the
// command line. Operation algorithms are written against this interface only,
// so the same code serves both front ends. Qt-free.
#include <cstdio>
#include <string>

namespace vt {

class OperationHost {
  public:
    virtual ~OperationHost() = default;

    // Percentage done, 0 to 100. Called as often as the algorithm likes; the
    // host throttles its display (and pumps the UI's messages when it has one).
    virtual void ReportProgress(double percent) = 0;

    // True once the user asked to stop (the Stop button, Ctrl-C), or after an
    // error was reported: the idle flag of the page.
    virtual bool StopRequested() const = 0;

    // Reports a failure once; `detail` may be empty (the page's error box or the
    // command line's message). Code 0 is ignored.
    virtual void ReportError(const std::string& detail, int code) = 0;

    // The OK/Cancel question (asked, for example, when an audio sample cannot be
    // read). True for OK.
    virtual bool AskOkCancel(const std::string& text, const std::string& caption) = 0;

    // A diagnostic line of the media layer (the Windows Media reader's notes,
    // without the line feed). The window writes them on standard output, where
    // no one sees them; the command line sends them to standard error, or
    // drops them when asked to be quiet. Any thread.
    virtual void Diagnostic(const std::string& line) {
        std::fprintf(stdout, "%s\n", line.c_str());
        std::fflush(stdout);
    }

    // Lets the user interface breathe during long steps that report no progress.
    virtual void PumpMessages() {}

    // Progress and the stop test in one call, in the shape the media layer's
    // callbacks want: 0 = go on, 1 = stop.
    int Tick(double percent) {
        ReportProgress(percent);
        return StopRequested() ? 1 : 0;
    }
};

}  // namespace vt
