#pragma once
// FLV section extraction: a time range of an FLV file.
#include "ops/BaseKinds.h"

namespace vt::gui {

class CFLVExtract : public CBaseExtract {
    Q_OBJECT
  public:
    explicit CFLVExtract(QWidget* parentObject);
    // The extraction kind's input and output, then the file's length as the
    // range (0 to its duration), as the other extraction pages do.
    void SetInputFile(std::string path) override;

  protected:
    bool OnInitDialog() override;
    void OnBrowseInput() override;
    void OnBrowseOutput() override;
    void DoDataExchange(CDataExchange& dx) override;
    // The start button: the extraction.
    void OnStart() override;
    // The key frame the section would begin at, as the library's Extract finds it.
    void OnRangeTyped(const TimeFields& start, const TimeFields& end) override;
};

}  // namespace vt::gui
