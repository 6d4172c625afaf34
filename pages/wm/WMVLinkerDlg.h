#pragma once
// WMV and WMA connection: files joined in list order.
#include <memory>

#include "ops/BaseKinds.h"
#include "pages/wm/WmEntries.h"

namespace vt::gui {

class CWMVLinkerDlg : public CBaseLinker {
    Q_OBJECT
  public:
    explicit CWMVLinkerDlg(QWidget* parentObject);
    ~CWMVLinkerDlg() override;

    // True while the worker thread of the last connection has not ended.
    bool OperationBusy() const { return run_.Busy(); }

  protected:
    bool OnInitDialog() override;
    void OnAdd() override;
    void OnBrowseOutput() override;
    // The start button: the connection.
    void OnStart() override;

  private:
    std::unique_ptr<WmEntryFrontEnd> frontEnd_;
    WmEntryRun run_;  // ends before the front end goes
};

}  // namespace vt::gui
