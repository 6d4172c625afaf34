#pragma once
// WMV and WMA section extraction: a time range of a file.
#include <memory>

#include "ops/BaseKinds.h"
#include "pages/wm/WmOperations.h"

namespace vt::gui {

class CWMVExtract : public CBaseExtract {
    Q_OBJECT
  public:
    explicit CWMVExtract(QWidget* parentObject);
    ~CWMVExtract() override;

    // Takes the file and shows its length in the end fields, the start at 0;
    // a file that cannot be read empties the input and output quietly.
    void SetInputFile(std::string path) override;
    // True while the worker thread of the last extraction has not ended.
    bool OperationBusy() const { return op_.Busy(); }

  protected:
    bool OnInitDialog() override;
    void OnBrowseInput() override;
    void OnBrowseOutput() override;
    // The start button: the extraction.
    void OnStart() override;

  private:
    CWmExtraction op_;
    std::unique_ptr<WmFrontEnd> frontEnd_;
};

}  // namespace vt::gui
