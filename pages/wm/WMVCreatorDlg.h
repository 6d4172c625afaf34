#pragma once
// WMV union: a WMV video source and a WMA (or WMV) audio source into one WMV file.
#include "ops/BaseKinds.h"

namespace vt::gui {

class CWMVCreatorDlg : public CBaseCreator {
    Q_OBJECT
  public:
    explicit CWMVCreatorDlg(QWidget* parentObject);

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
};

}  // namespace vt::gui
