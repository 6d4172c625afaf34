#pragma once
// AVI section extraction: a time range of an AVI file.
#include "ops/BaseKinds.h"

namespace vt::gui {

class CAVIExtract : public CBaseExtract {
    Q_OBJECT
  public:
    explicit CAVIExtract(QWidget* parentObject);

    // The kind's input and output, then the file's range into the time fields.
    void SetInputFile(std::string path) override;
    // Frames per second of the loaded input; 0 when none is loaded.
    double FrameRate() const { return frameRate_; }

  protected:
    bool OnInitDialog() override;
    void OnBrowseInput() override;
    void OnBrowseOutput() override;
    // The start button: the extraction.
    void OnStart() override;
    // The key frame the section would begin at, as the extraction finds it.
    void OnRangeTyped(const TimeFields& start, const TimeFields& end) override;

  private:
    // The time fields from the input: its first frame to its length.
    void ReadRange();
    double frameRate_ = 0;
};

}  // namespace vt::gui
