#pragma once
// WAV section extraction: a time range of a WAV file.
#include "ops/BaseKinds.h"

namespace vt::gui {

class CWAVExtract : public CBaseExtract {
    Q_OBJECT
  public:
    explicit CWAVExtract(QWidget* parentObject);

  protected:
    bool OnInitDialog() override;
    void OnBrowseInput() override;
    void OnBrowseOutput() override;
    // The start button: the extraction.
    void OnStart() override;
};

}  // namespace vt::gui
