#pragma once
// A page as the front end of a WMV/WMA operation: its BeginOperation and
// EndOperation, and a function that reads the job from its fields.
#include <QCoreApplication>
#include <functional>

#include "ops/BaseOpe.h"
#include "pages/wm/WmOperations.h"

namespace vt::gui {

class CWmPageFrontEnd : public WmFrontEnd {
  public:
    // `readJob` runs right after BeginOperation, on the user-interface thread
    // (which owns the page's fields), whichever thread began.
    CWmPageFrontEnd(CBaseOpe& page, std::function<void(WmJob&)> readJob)
        : page_(page), readJob_(std::move(readJob)) {}
    OperationHost& Host() override { return page_; }
    bool BeginOperation(WmJob& job) override {
        if (!page_.BeginOperation()) return false;
        page_.RunOnUiThread([&] { readJob_(job); });
        return true;
    }
    void EndOperation() override { page_.EndOperation(); }
    void RealStart(uint64_t start) override {
        if (onRealStart_) onRealStart_(start);
    }
    // What the page does when an extraction begins earlier than asked (worker thread).
    void SetRealStartHandler(std::function<void(uint64_t)> handler) { onRealStart_ = std::move(handler); }

  private:
    CBaseOpe& page_;
    std::function<void(WmJob&)> readJob_;
    std::function<void(uint64_t)> onRealStart_;
};

// Used by a page's destructor: asks a running operation to stop and lets its
// workers finish, handling what they ask of the user-interface thread.
inline void StopAndWait(CBaseOpe& page, CWmOperationBase& op) {
    while (op.Busy()) {
        // Again on every pass: a worker that was only beginning clears the flag.
        page.OnStop();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    op.Wait();
}

}  // namespace vt::gui
