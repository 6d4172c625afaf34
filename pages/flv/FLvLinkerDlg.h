#pragma once
// FLV connection: FLV files joined in list order.
#include "ops/BaseKinds.h"

namespace vt::gui {

class CFLvLinkerDlg : public CBaseLinker {
    Q_OBJECT
  public:
    explicit CFLvLinkerDlg(QWidget* parentObject);

  protected:
    bool OnInitDialog() override;
    void OnAdd() override;
    void OnBrowseOutput() override;
    // The start button: the connection.
    void OnStart() override;
};

}  // namespace vt::gui
