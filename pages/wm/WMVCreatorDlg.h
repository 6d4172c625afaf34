#pragma once
// WMV union: a WMV video source and a WMA (or WMV) audio source into one WMV file.
#include <memory>

#include "ops/BaseKinds.h"
#include "pages/wm/WmEntries.h"

namespace vt::gui {

class CWMVCreatorDlg : public CBaseCreator {
    Q_OBJECT
  public:
    explicit CWMVCreatorDlg(QWidget* parentObject);
    ~CWMVCreatorDlg() override;

    // True while a worker thread of the last union has not ended.
    bool OperationBusy() const { return run_.Busy(); }

    // A file of the audio extension becomes the audio source, any other the
    // video source, which names the output.
    void SetInputFile(std::string path) override;

  protected:
    bool OnInitDialog() override;
    void OnBrowseVideo() override;
    void OnBrowseAudio() override;
    void OnBrowseOutput() override;
    // The start button: the union.
    void OnStart() override;

  private:
    std::unique_ptr<WmEntryFrontEnd> frontEnd_;
    WmEntryRun run_;  // ends before the front end goes
};

}  // namespace vt::gui
