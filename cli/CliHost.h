#pragma once
// The command line's operation host: progress on standard error in the
// page's words, the stop flag that Ctrl-C sets, one error report, and the
// OK/Cancel question as y/N. Safe to call from worker threads. Qt-free.
#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

#include "core/OperationHost.h"
#include "ops/TimeManager.h"

namespace vt {

class CliHost : public OperationHost {
  public:
    // showProgress: print the progress line (a terminal, not --quiet).
    // interactive: the question may be asked (standard input and error are terminals).
    CliHost(bool showProgress, bool interactive, std::FILE* out = stderr);

    // Starts the stopwatch; call before running the operation.
    void Begin();
    // Ends the progress line: "100 %" after a run that was neither stopped
    // nor failed.
    void End(bool succeeded);

    void ReportProgress(double percent) override;
    bool StopRequested() const override;
    void ReportError(const std::string& detail, int code) override;
    bool AskOkCancel(const std::string& text, const std::string& caption) override;
    // On the host's stream (standard error), not on standard output, which
    // stays for what scripts read; nothing when quiet.
    void Diagnostic(const std::string& line) override;
    // --quiet: no diagnostics.
    void SetQuiet(bool quiet) { quiet_ = quiet; }

    // Set by Ctrl-C (the Stop button).
    void RequestStop() { stopByUser_ = true; }
    bool StoppedByUser() const { return stopByUser_; }
    bool ErrorReported() const { return errorReported_; }
    // The stop flag that a signal handler may set; polled as well.
    static std::atomic<bool>& InterruptFlag();

  private:
    void ClearLineLocked();

    bool showProgress_;
    bool interactive_;
    bool quiet_ = false;
    std::FILE* out_;
    std::mutex mutex_;
    CTimeMmanager watch_;
    bool lineShown_ = false;
    std::atomic<bool> stopByUser_{false};
    std::atomic<bool> errorReported_{false};
    std::atomic<bool> stopped_{false};  // the idle flag: stop or error
};

// Installs the Ctrl-C handler: the first SIGINT sets CliHost::InterruptFlag(),
// the second ends the program.
void InstallInterruptHandler();

}  // namespace vt
