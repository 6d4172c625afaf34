#pragma once
// AVI section extraction: a time range of an AVI file.
#include "ops/BaseKinds.h"

namespace vt::gui {

class CAVIExtract : public CBaseExtract {
    Q_OBJECT
  public:
    explicit CAVIExtract(QWidget* parentObject);

  protected:
    bool OnInitDialog() override;
    void OnBrowseInput() override;
    void OnBrowseOutput() override;
    // The start button: the extraction.
    void OnStart() override;
};

}  // namespace vt::gui
