#pragma once
// WMV and WMA connection: files joined in list order.
#include <memory>

#include "ops/BaseKinds.h"
#include "pages/wm/WmOperations.h"

namespace vt::gui {

class CWMVLinkerDlg : public CBaseLinker {
    Q_OBJECT
  public:
    explicit CWMVLinkerDlg(QWidget* parentObject);
    ~CWMVLinkerDlg() override;

    // True while the worker thread of the last connection has not ended.
    bool OperationBusy() const { return op_.Busy(); }

  protected:
    bool OnInitDialog() override;
    void OnAdd() override;
    void OnBrowseOutput() override;
    // The start button: the connection.
    void OnStart() override;

  private:
    CWmConnection op_;
    std::unique_ptr<WmFrontEnd> frontEnd_;
};

}  // namespace vt::gui
