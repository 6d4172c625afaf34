#include "ui/DragListBox.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>

namespace vt {

// ---- item drawing -----------------------------------------------------------

class CDragListDelegate : public QStyledItemDelegate {
  public:
    explicit CDragListDelegate(CDragListBoxEx* list) : QStyledItemDelegate(list), list_(list) {}

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return QSize(list_->extent_, RowHeight());
    }

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        if (!index.isValid()) return;
        const bool selected = option.state & QStyle::State_Selected;
        const int row = index.row();
        // The row spans the whole visible width as well as the item's own.
        const QRect r = option.rect;
        const int left = std::min(0, r.left());
        const int right = std::max(r.left() + r.width(), list_->viewport()->width());
        const QRect row_rect(left, r.top(), right - left, r.height());
        const COLORREF back = selected         ? CDragListBoxEx::kSelectedRowColor
                              : (row % 2 == 0) ? CDragListBoxEx::kEvenRowColor
                                               : CDragListBoxEx::kOddRowColor;
        FillRectColor(*p, row_rect, back);
        DrawTextColor(*p, index.data(Qt::DisplayRole).toString(), r, 0,
                      Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, &list_->font());
        if (selected) DrawFocusRectInset(*p, QRect(0, r.top(), right, r.height()), 1);
    }

    int RowHeight() const { return QFontMetrics(list_->font()).height() + 2; }

  private:
    CDragListBoxEx* list_;
};

// ---- list -------------------------------------------------------------------

CDragListBoxEx::CDragListBoxEx(QWidget* parent) : QListWidget(parent) {
    setFont(GetGuiLogFont());
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setUniformItemSizes(true);
    setDragDropMode(QAbstractItemView::NoDragDrop);  // reordering is ours
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Dropped files go to the page that owns the list.
    setAcceptDrops(false);
    setMouseTracking(true);
    setItemDelegate(new CDragListDelegate(this));
    tip_.CreateTip(this);
    // Scrolling moves the rows away from under the tip.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { tip_.HideTip(); });
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { tip_.HideTip(); });
}

CDragListBoxEx::~CDragListBoxEx() {
    tip_.HideTip();
}

int CDragListBoxEx::InsertItem(int index, const QString& text) {
    if (index < 0 || index > count()) index = count();
    insertItem(index, text);
    UpdateExtent();
    return index;
}

int CDragListBoxEx::AddItem(const QString& text) {
    return InsertItem(-1, text);
}

int CDragListBoxEx::RemoveItem(int index) {
    if (index < 0 || index >= count()) return -1;
    delete takeItem(index);
    UpdateExtent();
    const int n = count();
    if (index == n) --index;
    if (index >= 0) {
        setCurrentRow(index);
    } else {
        clearSelection();
        setCurrentRow(-1);
    }
    return n;
}

int CDragListBoxEx::RemoveSelected() {
    const QList<QListWidgetItem*> sel = selectedItems();
    if (sel.isEmpty()) return -1;
    return RemoveItem(row(sel.front()));
}

void CDragListBoxEx::ResetItems() {
    clear();
    UpdateExtent();
}

void CDragListBoxEx::UpdateExtent() {
    int widest = 1;
    for (int i = 0; i < count(); ++i) widest = std::max(widest, GetTextSize(this, item(i)->text()).width());
    extent_ = widest + 5;
    doItemsLayout();
}

QStringList CDragListBoxEx::Items() const {
    QStringList out;
    for (int i = 0; i < count(); ++i) out << item(i)->text();
    return out;
}

std::vector<std::string> CDragListBoxEx::ItemPaths() const {
    std::vector<std::string> out;
    for (int i = 0; i < count(); ++i) out.push_back(item(i)->text().toStdString());
    return out;
}

int CDragListBoxEx::InsertionIndexAt(const QPoint& pos) const {
    if (!viewport()->rect().contains(pos)) return -1;
    const QModelIndex at = indexAt(pos);
    if (at.isValid()) return at.row();
    return count();  // the free space below the last item
}

bool CDragListBoxEx::MoveByDrop(int source, int dest) {
    const int n = count();
    if (source < 0 || source >= n || dest < 0 || dest > n) return false;
    if (dest == source || dest == source + 1) return false;
    QListWidgetItem* it = takeItem(source);
    const int at = source < dest ? dest - 1 : dest;
    insertItem(at, it);
    setCurrentRow(at);
    return true;
}

void CDragListBoxEx::mousePressEvent(QMouseEvent* e) {
    tip_.HideTip();
    QListWidget::mousePressEvent(e);
    EndDrag();
    if (e->button() == Qt::LeftButton) {
        const QModelIndex at = indexAt(e->position().toPoint());
        if (at.isValid()) {
            dragSource_ = at.row();
            pressPos_ = e->position().toPoint();
        }
    }
}

void CDragListBoxEx::mouseMoveEvent(QMouseEvent* e) {
    const QPoint pos = e->position().toPoint();
    if (dragSource_ >= 0) {
        if (!(e->buttons() & Qt::LeftButton)) {
            EndDrag();  // the release went elsewhere
        } else {
            if (!dragging_ && (pos - pressPos_).manhattanLength() >= QApplication::startDragDistance())
                dragging_ = true;
            if (dragging_) {
                const int insert = InsertionIndexAt(pos);
                if (insert != dragInsert_) {
                    dragInsert_ = insert;
                    viewport()->update();
                }
                viewport()->setCursor(insert < 0 ? Qt::ForbiddenCursor : Qt::DragMoveCursor);
                // Scroll while the pointer is above or below the list.
                if (pos.y() < 0)
                    verticalScrollBar()->setValue(verticalScrollBar()->value() - 1);
                else if (pos.y() >= viewport()->height())
                    verticalScrollBar()->setValue(verticalScrollBar()->value() + 1);
                return;  // no rubber-band selection while dragging
            }
        }
    }
    if (e->buttons() == Qt::NoButton) {
        const QModelIndex at = indexAt(pos);
        const QRect itemRect = at.isValid() ? visualRect(at) : QRect();
        if (!itemRect.contains(pos)) {
            tip_.HideTip();
        } else {
            const QString text = at.data(Qt::DisplayRole).toString();
            // A tip of another item goes; the tip of this item follows the pointer.
            if (tip_.HotRect() != itemRect || tip_.Text() != text) tip_.HideTip();
            if (TextCutOff(itemRect, text))
                tip_.ShowTip(itemRect, text, QPoint(pos.x() - 30, itemRect.top() + itemRect.height()));
            else
                tip_.HideTip();
        }
    } else {
        tip_.HideTip();
    }
    QListWidget::mouseMoveEvent(e);
}

void CDragListBoxEx::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && dragging_ && dragSource_ >= 0) {
        const int source = dragSource_;
        const int dest = InsertionIndexAt(e->position().toPoint());
        EndDrag();
        QListWidget::mouseReleaseEvent(e);
        MoveByDrop(source, dest);
        return;
    }
    EndDrag();
    QListWidget::mouseReleaseEvent(e);
}

void CDragListBoxEx::leaveEvent(QEvent* e) {
    tip_.HideTip();
    QListWidget::leaveEvent(e);
}

void CDragListBoxEx::hideEvent(QHideEvent* e) {
    tip_.HideTip();
    QListWidget::hideEvent(e);
}

void CDragListBoxEx::wheelEvent(QWheelEvent* e) {
    // The rows move under the pointer: the tip's item is no longer there.
    tip_.HideTip();
    QListWidget::wheelEvent(e);
}

void CDragListBoxEx::EndDrag() {
    const bool was = dragging_;
    dragSource_ = -1;
    dragging_ = false;
    dragInsert_ = -1;
    viewport()->unsetCursor();
    if (was) viewport()->update();
}

bool CDragListBoxEx::TextCutOff(const QRect& itemRect, const QString& text) const {
    const int width = GetTextSize(this, text).width();
    return itemRect.left() < 0 || itemRect.left() + width > viewport()->width();
}

void CDragListBoxEx::paintEvent(QPaintEvent* e) {
    QListWidget::paintEvent(e);
    if (!dragging_ || dragInsert_ < 0) return;
    // The insertion mark: a bar between the rows, with a notch at the left.
    int y;
    if (dragInsert_ < count()) {
        y = visualRect(model()->index(dragInsert_, 0)).top();
    } else if (count() > 0) {
        const QRect last = visualRect(model()->index(count() - 1, 0));
        y = last.top() + last.height();
    } else {
        y = 0;
    }
    QPainter p(viewport());
    const int w = viewport()->width();
    p.fillRect(QRect(0, y - 1, w, 2), Qt::black);
    p.fillRect(QRect(0, y - 3, 2, 6), Qt::black);
    p.fillRect(QRect(w - 2, y - 3, 2, 6), Qt::black);
}

// ---- title tip --------------------------------------------------------------

CExtTitleTip::CExtTitleTip()
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowTransparentForInput |
                           Qt::WindowDoesNotAcceptFocus) {
    // The tip never takes the mouse or the keyboard: the pointer's moves,
    // clicks and drags go through it to the list (and to nothing else), and
    // the list decides when the tip goes.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    resize(0, 0);
}

CExtTitleTip::~CExtTitleTip() = default;

bool CExtTitleTip::CreateTip(CDragListBoxEx* owner) {
    owner_ = owner;
    return owner != nullptr;
}

QRect CExtTitleTip::CalcTipRect(const QString& text) const {
    if (text.isEmpty() || !owner_) return QRect();
    const QFontMetrics fm(owner_->font());
    const int w = fm.horizontalAdvance(text), h = fm.height();
    if (h <= 0) return QRect();
    return QRect(0, 0, w + 1, h + 3);
}

QPoint CExtTitleTip::KeepOnScreen(const QPoint& global) {
    QPoint p = global;
    // The screen the tip belongs to: the one holding the point, else the
    // nearest one, else the primary one.
    QScreen* screen = QGuiApplication::screenAt(global);
    if (!screen) {
        int best = -1;
        for (QScreen* s : QGuiApplication::screens()) {
            const QRect g = s->geometry();
            const int dx = std::max({g.left() - p.x(), 0, p.x() - g.right()});
            const int dy = std::max({g.top() - p.y(), 0, p.y() - g.bottom()});
            if (best < 0 || dx + dy < best) {
                best = dx + dy;
                screen = s;
            }
        }
    }
    const QRect g = screen ? screen->geometry() : QRect(0, 0, 1, 1);
    if (p.x() < g.left()) p.setX(g.left());
    if (p.y() < g.top()) p.setY(g.top());
    return p;
}

void CExtTitleTip::ShowTip(const QRect& itemRect, const QString& text, const QPoint& position) {
    if (!owner_ || text.isEmpty()) return;
    if (!QApplication::activeWindow()) return;  // the program is not active
    if (QApplication::mouseButtons() != Qt::NoButton) return;
    const QRect textRect = CalcTipRect(text);
    if (textRect.isEmpty()) return;
    const QPoint global = KeepOnScreen(owner_->viewport()->mapToGlobal(position));
    if (isVisible() && itemRect == hot_ && text == text_) {
        move(global);  // the same item: the tip follows the pointer
        return;
    }
    hot_ = itemRect;
    text_ = text;
    setFont(owner_->font());
    setGeometry(QRect(global, QSize(textRect.width() + 2, textRect.height() + 2)));
    show();
    raise();
}

void CExtTitleTip::HideTip() {
    if (isVisible()) hide();
    hot_ = QRect();
    text_.clear();
}

void CExtTitleTip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::ToolTipBase));
    p.setPen(palette().color(QPalette::ToolTipText));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    DrawTipText(p, text_, QRect(1, 1, width() - 2, height() - 2));
}

void CExtTitleTip::DrawTipText(QPainter& dc, const QString& text, const QRect& rect) {
    dc.save();
    dc.setFont(owner_ ? owner_->font() : font());
    dc.setBackgroundMode(Qt::TransparentMode);
    dc.setPen(palette().color(QPalette::ToolTipText));
    dc.drawText(rect, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, text);
    dc.restore();
}

}  // namespace vt
