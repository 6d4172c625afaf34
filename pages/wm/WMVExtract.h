#pragma once
// WMV and WMA section extraction: a time range of a file.
#include <memory>
#include <string>
#include <thread>

#include "ops/BaseKinds.h"
#include "pages/wm/WmEntries.h"

namespace vt::gui {

class CWMVExtract : public CBaseExtract {
    Q_OBJECT
  public:
    explicit CWMVExtract(QWidget* parentObject);
    ~CWMVExtract() override;

    // Takes the file and shows its length in the end fields, the start at 0;
    // a file that cannot be read empties the input and output quietly.
    void SetInputFile(std::string path) override;
    // True while the worker thread of the last extraction has not ended.
    bool OperationBusy() const { return run_.Busy(); }

  protected:
    bool OnInitDialog() override;
    void OnBrowseInput() override;
    void OnBrowseOutput() override;
    // The start button: the extraction.
    void OnStart() override;
    // The key frame the section would begin at, found on a worker thread
    // (it reads the file up to the start).
    void OnRangeTyped(const TimeFields& start, const TimeFields& end) override;

  private:
    // Starts the search of the latest request on the worker.
    void StartRealStartSearch();
    struct RealStartRequest {
        std::string input;
        TimeFields start;
    };
    RealStartRequest request_;
    bool requestPending_ = false;  // a request newer than the running search
    bool searching_ = false;
    std::thread searcher_;
    std::unique_ptr<WmEntryFrontEnd> frontEnd_;
    WmEntryRun run_;  // ends before the front end goes
};

}  // namespace vt::gui
