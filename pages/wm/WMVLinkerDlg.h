#pragma once
// WMV and WMA connection: files joined in list order.
#include "ops/BaseKinds.h"

namespace vt::gui {

class CWMVLinkerDlg : public CBaseLinker {
    Q_OBJECT
  public:
    explicit CWMVLinkerDlg(QWidget* parentObject);

  protected:
    bool OnInitDialog() override;
    void OnAdd() override;
    void OnBrowseOutput() override;
    // The start button: the connection.
    void OnStart() override;
};

}  // namespace vt::gui
