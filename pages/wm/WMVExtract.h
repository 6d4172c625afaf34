#pragma once
// WMV and WMA section extraction: a time range of a file.
#include "ops/BaseKinds.h"

namespace vt::gui {

class CWMVExtract : public CBaseExtract {
    Q_OBJECT
  public:
    explicit CWMVExtract(QWidget* parentObject);

  protected:
    bool OnInitDialog() override;
    void OnBrowseInput() override;
    void OnBrowseOutput() override;
    // The start button: the extraction.
    void OnStart() override;
};

}  // namespace vt::gui
