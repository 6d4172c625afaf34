#pragma once
// AVI separation: the video stream of an AVI file into an AVI file, or its audio stream into a WAV file.
#include "ops/BaseKinds.h"

namespace vt::gui {

class CAVICutterDlg : public CBaseCutter {
    Q_OBJECT
  public:
    explicit CAVICutterDlg(QWidget* parentObject);

  protected:
    bool OnInitDialog() override;
    void OnBrowseInput() override;
    void OnBrowseOutput() override;
    // The start buttons: the separation of each stream.
    void OnVideoCut() override;
    void OnAudioCut() override;
};

}  // namespace vt::gui
