#pragma once
// WAV section extraction: a time range of a WAV file.
#include "ops/BaseKinds.h"

namespace vt::gui {

class CWAVExtract : public CBaseExtract {
    Q_OBJECT
  public:
    explicit CWAVExtract(QWidget* parentObject);

    // The kind's input and output, then the audio's duration into the time fields.
    void SetInputFile(std::string path) override;

  protected:
    bool OnInitDialog() override;
    void OnBrowseInput() override;
    void OnBrowseOutput() override;
    // The start button: the extraction.
    void OnStart() override;

  private:
    // The time fields from the input: 0 to the audio's duration.
    void ReadRange();
};

}  // namespace vt::gui
