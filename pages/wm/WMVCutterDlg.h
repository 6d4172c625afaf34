#pragma once
// WMV separation: the video or the audio of a WMV file into a file of its own.
#include <memory>

#include "ops/BaseKinds.h"
#include "pages/wm/WmOperations.h"

namespace vt::gui {

class CWMVCutterDlg : public CBaseCutter {
    Q_OBJECT
  public:
    explicit CWMVCutterDlg(QWidget* parentObject);
    ~CWMVCutterDlg() override;

    // True while a worker thread of the last separation has not ended.
    bool OperationBusy() const { return op_.Busy(); }

  protected:
    bool OnInitDialog() override;
    void OnBrowseInput() override;
    void OnBrowseOutput() override;
    // The start buttons: the separation of each stream.
    void OnVideoCut() override;
    void OnAudioCut() override;

  private:
    void Separate(bool video);

    CWmSeparation op_;
    std::unique_ptr<WmFrontEnd> frontEnd_;
};

}  // namespace vt::gui
