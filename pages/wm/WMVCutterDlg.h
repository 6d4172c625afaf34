#pragma once
// WMV separation: the video or the audio of a WMV file into a file of its own.
#include <memory>

#include "ops/BaseKinds.h"
#include "pages/wm/WmEntries.h"

namespace vt::gui {

class CWMVCutterDlg : public CBaseCutter {
    Q_OBJECT
  public:
    explicit CWMVCutterDlg(QWidget* parentObject);
    ~CWMVCutterDlg() override;

    // True while a worker thread of the last separation has not ended.
    bool OperationBusy() const { return run_.Busy(); }

  protected:
    bool OnInitDialog() override;
    void OnBrowseInput() override;
    void OnBrowseOutput() override;
    // The start buttons: the separation of each stream.
    void OnVideoCut() override;
    void OnAudioCut() override;

  private:
    void Separate(bool video);

    bool video_ = true;  // the stream the last start asked for

    std::unique_ptr<WmEntryFrontEnd> frontEnd_;
    WmEntryRun run_;  // ends before the front end goes
};

}  // namespace vt::gui
