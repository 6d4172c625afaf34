#include "pages/wm/WMVExtract.h"

#include "ops/PageTable.h"
#include "pages/wm/WmFilters.h"
#include "pages/wm/WmOperations.h"
#include "pages/wm/WmPageFrontEnd.h"

namespace vt::gui {

CWMVExtract::CWMVExtract(QWidget* parentObject) : CBaseExtract(parentObject, kColorWm) {
    frontEnd_ = std::make_unique<CWmPageFrontEnd>(*this, [this](OpJob& job) {
        job = JobOf(fields_);
        job.onRealStart = [this](const TimeFields& start) {
            // Where the section really begins: the key frame at or before the
            // start (called on a worker thread).
            RunOnUiThread([&] {
                fields_.start = start;
                UpdateData(false);
            });
        };
    });
}

CWMVExtract::~CWMVExtract() {
    StopAndWait(*this, run_);
    // The search reads no further than the start; its answer is dropped.
    if (searcher_.joinable()) searcher_.join();
}

void CWMVExtract::OnRangeTyped(const TimeFields& start, const TimeFields&) {
    request_ = {fields_.input, start};
    requestPending_ = true;
    if (!searching_) StartRealStartSearch();
}

void CWMVExtract::StartRealStartSearch() {
    if (searcher_.joinable()) searcher_.join();  // it has ended: its answer came
    requestPending_ = false;
    searching_ = true;
    const RealStartRequest request = request_;
    searcher_ = std::thread([this, request] {
        int code = 0;
        const uint64_t start = WmKeyFrameStart(request.input, WmRangeTime(request.start), &code);
        QMetaObject::invokeMethod(
            this,
            [this, request, start, code] {
                searching_ = false;
                if (requestPending_) return StartRealStartSearch();  // the fields changed meanwhile
                if (code || request.input != fields_.input) return ShowRealStart();
                ShowRealStart(request.start, WmDurationFields(start));
            },
            Qt::QueuedConnection);
    });
}

void CWMVExtract::SetInputFile(std::string path) {
    if (IsRunning() || run_.Busy()) return;
    CBaseExtract::SetInputFile(std::move(path));
    // The entry's preparation proposes the range: the whole file.
    OpJob job;
    job.inputs = {fields_.input};
    const OpResult r = FindEntry(WmEntries(), kWmExtractionPage)->prepare(job, *this);
    ShowRangeRead(r.code, TimeFields{}, r.code == 0 && job.end ? *job.end : TimeFields{});
}

bool CWMVExtract::OnInitDialog() {
    CBaseExtract::OnInitDialog();
    SetFormatLabels("WMV or WMA", "WMV or WMA");
    return true;
}

void CWMVExtract::OnBrowseInput() {
    BrowseInputFile(fields_.input, WmFilter(), ".wmv");
}

void CWMVExtract::OnBrowseOutput() {
    BrowseOutputFile(WmFilter(), ".wmv");
}

void CWMVExtract::OnStart() {
    if (IsRunning()) return;
    run_.Start(kWmExtractionPage, *frontEnd_);
}

}  // namespace vt::gui
