#pragma once
// A page as the front end of a WMV/WMA run it starts through its entry
// (pages/wm/WmEntries.h): its BeginOperation and EndOperation, and a function
// that reads the job from its fields.
#include <QCoreApplication>
#include <functional>

#include "ops/BaseOpe.h"
#include "pages/wm/WmEntries.h"

namespace vt::gui {

class CWmPageFrontEnd : public WmEntryFrontEnd {
  public:
    // `readJob` runs right after BeginOperation, on the user-interface thread
    // (which owns the page's fields), whichever thread began.
    CWmPageFrontEnd(CBaseOpe& page, std::function<void(OpJob&)> readJob)
        : page_(page), readJob_(std::move(readJob)) {}
    OperationHost& Host() override { return page_; }
    bool BeginOperation(OpJob& job) override {
        if (!page_.BeginOperation()) return false;
        page_.RunOnUiThread([&] { readJob_(job); });
        return true;
    }
    // The page's error box, then the end of the running state.
    void EndOperation(const OpResult& result) override {
        if (result.code != 0) page_.ReportError(result.detail, result.code);
        page_.EndOperation();
    }

  private:
    CBaseOpe& page_;
    std::function<void(OpJob&)> readJob_;
};

// Used by a page's destructor: asks a running operation to stop and lets it
// end, handling what it asks of the user-interface thread.
inline void StopAndWait(CBaseOpe& page, WmEntryRun& run) {
    while (run.Busy()) {
        // Again on every pass: a run that was only beginning clears the flag.
        page.OnStop();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    run.Wait();
}

}  // namespace vt::gui
