#pragma once
// WAV connection: WAV files (or the audio of AVI files) joined in list order.
#include "ops/BaseKinds.h"

namespace vt::gui {

class CWAVLinkerDlg : public CBaseLinker {
    Q_OBJECT
  public:
    explicit CWAVLinkerDlg(QWidget* parentObject);

  protected:
    bool OnInitDialog() override;
    void OnAdd() override;
    void OnBrowseOutput() override;
    // The start button: the connection.
    void OnStart() override;
};

}  // namespace vt::gui
