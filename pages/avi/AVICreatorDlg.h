#pragma once
// AVI union: an AVI video source and a WAV (or AVI) audio source into one AVI file.
#include "ops/BaseKinds.h"

namespace vt::gui {

class CAVICreatorDlg : public CBaseCreator {
    Q_OBJECT
  public:
    explicit CAVICreatorDlg(QWidget* parentObject);

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
