#pragma once
// AVI connection: AVI files joined in list order.
#include "ops/BaseKinds.h"

namespace vt::gui {

class CAVILinkerDlg : public CBaseLinker {
    Q_OBJECT
  public:
    explicit CAVILinkerDlg(QWidget* parentObject);

  protected:
    bool OnInitDialog() override;
    void OnAdd() override;
    void OnBrowseOutput() override;
    // The start button: the connection.
    void OnStart() override;
};

}  // namespace vt::gui
