#pragma once
// FLV separation: the audio of an FLV file as MP3 or AAC (ADTS), or its video as AVI.
#include "ops/BaseKinds.h"
#include "pages/flv/FlvOperations.h"

namespace vt::gui {

class CFLVCutterDlg : public CBaseCutter {
    Q_OBJECT
  public:
    explicit CFLVCutterDlg(QWidget* parentObject);

  protected:
    bool OnInitDialog() override;
    void OnBrowseInput() override;
    void OnBrowseOutput() override;
    // The start buttons: the separation of each stream.
    void OnVideoCut() override;
    void OnAudioCut() override;

  private:
    void Separate(FlvSeparationPart part);
};

}  // namespace vt::gui
