#include "cli/CliHost.h"

#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "core/ErrorCodes.h"

namespace vt {
namespace {

std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void OnInterrupt(int) {
    g_interrupted.store(true);
}

}  // namespace

std::atomic<bool>& CliHost::InterruptFlag() {
    return g_interrupted;
}

void InstallInterruptHandler() {
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESETHAND;  // the second Ctrl-C gets the default action
    sigaction(SIGINT, &sa, nullptr);
}

CliHost::CliHost(bool showProgress, bool interactive, std::FILE* out)
    : showProgress_(showProgress), interactive_(interactive), out_(out) {}

void CliHost::Begin() {
    std::lock_guard<std::mutex> lock(mutex_);
    watch_.Clear();
    watch_.SetInterval(500);
    watch_.Start();
}

void CliHost::ClearLineLocked() {
    if (!lineShown_) return;
    std::fputs("\r\033[K", out_);
    lineShown_ = false;
}

void CliHost::End(bool succeeded) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!showProgress_) return;
    if (succeeded) {
        ClearLineLocked();
        std::fputs("100 %\n", out_);
    } else if (lineShown_) {
        std::fputs("\n", out_);
        lineShown_ = false;
    }
    std::fflush(out_);
}

void CliHost::ReportProgress(double percent) {
    if (!showProgress_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    // At most one update per 500 ms, as on the page.
    if (!watch_.IsIntervalElapsed()) return;
    std::string text = FormatProgressText(percent, watch_.GetTotal() / 1000.0);
    std::fprintf(out_, "\r\033[K%s", text.c_str());
    std::fflush(out_);
    lineShown_ = true;
    watch_.Accumulate();
    watch_.Start();
}

bool CliHost::StopRequested() const {
    if (g_interrupted.load()) const_cast<CliHost*>(this)->stopByUser_ = true;
    return stopByUser_ || stopped_;
}

void CliHost::ReportError(const std::string& detail, int code) {
    if (code == 0) return;
    // Nothing is shown after a stop; the report itself stops the run
    // (atomically, as Windows Media workers may call the host).
    if (StopRequested() || stopped_.exchange(true)) return;
    errorReported_ = true;
    std::string text = ErrorBoxText(detail, code);
    std::lock_guard<std::mutex> lock(mutex_);
    if (showProgress_ && lineShown_) {
        std::fputs("\n", out_);
        lineShown_ = false;
    }
    if (!text.empty()) std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
}

void CliHost::Diagnostic(const std::string& line) {
    if (quiet_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    ClearLineLocked();
    std::fprintf(out_, "%s\n", line.c_str());
    std::fflush(out_);
}

bool CliHost::AskOkCancel(const std::string& text, const std::string& caption) {
    if (!interactive_) return false;  // Cancel
    std::lock_guard<std::mutex> lock(mutex_);
    if (lineShown_) {
        std::fputs("\n", out_);
        lineShown_ = false;
    }
    if (!caption.empty()) std::fprintf(out_, "%s\n", caption.c_str());
    std::fprintf(out_, "%s [y/N] ", text.c_str());
    std::fflush(out_);
    std::string answer;
    int c;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n') answer += char(c);
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "YES" || answer == "Yes";
}

}  // namespace vt
