#pragma once
// The main window's page list: owns the operation pages; the index of a page
// is its page number.
#include <QRect>
#include <memory>
#include <vector>

class QWidget;

namespace vt::gui {

class CBaseDialog;

class CBaseDialogList {
  public:
    CBaseDialogList() = default;
    CBaseDialogList(const CBaseDialogList&) = delete;
    CBaseDialogList& operator=(const CBaseDialogList&) = delete;
    virtual ~CBaseDialogList();

    // Appends the page and takes it over; returns its index. A page already
    // in the list gives 0 and nothing is added.
    virtual int Add(std::unique_ptr<CBaseDialog> page);
    // Removes and deletes the pages from first to first + count - 1.
    virtual void RemoveAt(int first, int count = 1);
    virtual void RemoveAll();
    // Creates every page as a child of `parent`, shows page 0, hides the
    // others and moves all of them to `rect`. Returns the count.
    virtual int CreateAll(const QRect& rect, QWidget* parent);
    virtual int MoveAll(const QRect& rect);
    // Shows that page (with the focus) and hides the others.
    virtual int ShowOnly(const QWidget* page);
    // Shows page n and hides the others.
    virtual int ShowIndex(int n);
    virtual int HideAll();

    int GetSize() const { return int(pages_.size()); }
    CBaseDialog* GetAt(int n) const;

  private:
    std::vector<std::unique_ptr<CBaseDialog>> pages_;
};

}  // namespace vt::gui
