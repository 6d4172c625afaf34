#include "app/BaseDialogList.h"

#include "app/BaseDialog.h"

namespace vt::gui {

CBaseDialogList::~CBaseDialogList() {
    RemoveAll();
}

int CBaseDialogList::Add(std::unique_ptr<CBaseDialog> page) {
    for (const auto& p : pages_)
        if (p.get() == page.get()) {
            (void)page.release();  // already owned
            return 0;
        }
    pages_.push_back(std::move(page));
    return int(pages_.size()) - 1;
}

void CBaseDialogList::RemoveAt(int first, int count) {
    if (first < 0 || count <= 0) return;
    const int last = std::min(first + count, GetSize()) - 1;
    for (int i = last; i >= first; --i) pages_.erase(pages_.begin() + i);
}

void CBaseDialogList::RemoveAll() {
    while (!pages_.empty()) pages_.erase(pages_.begin());
}

int CBaseDialogList::CreateAll(const QRect& rect, QWidget* parent) {
    for (size_t i = 0; i < pages_.size(); ++i) {
        CBaseDialog* p = pages_[i].get();
        p->CreateDlg(parent);
        p->setVisible(i == 0);
    }
    return MoveAll(rect);
}

int CBaseDialogList::MoveAll(const QRect& rect) {
    for (const auto& p : pages_) p->setGeometry(rect);
    return GetSize();
}

int CBaseDialogList::ShowOnly(const QWidget* page) {
    for (const auto& p : pages_) {
        if (p.get() == page) {
            p->show();
            p->setFocus();
        } else {
            p->hide();
        }
    }
    return GetSize();
}

int CBaseDialogList::ShowIndex(int n) {
    for (int i = 0; i < GetSize(); ++i) pages_[size_t(i)]->setVisible(i == n);
    return GetSize();
}

int CBaseDialogList::HideAll() {
    for (const auto& p : pages_) p->hide();
    return GetSize();
}

CBaseDialog* CBaseDialogList::GetAt(int n) const {
    return n >= 0 && n < GetSize() ? pages_[size_t(n)].get() : nullptr;
}

}  // namespace vt::gui
