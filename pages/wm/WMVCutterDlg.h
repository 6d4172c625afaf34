#pragma once
// WMV separation: the video or the audio of a WMV file into a file of its own.
#include "ops/BaseKinds.h"

namespace vt::gui {

class CWMVCutterDlg : public CBaseCutter {
    Q_OBJECT
  public:
    explicit CWMVCutterDlg(QWidget* parentObject);

  protected:
    bool OnInitDialog() override;
    void OnBrowseInput() override;
    void OnBrowseOutput() override;
    // The start buttons: the separation of each stream.
    void OnVideoCut() override;
    void OnAudioCut() override;
};

}  // namespace vt::gui
