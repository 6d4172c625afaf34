#pragma once
// The file list of the connection pages: an owner-drawn list of full paths
// with alternating row colours, reordered by dragging, with a title tip that
// shows a hovered path in full when the list is too narrow for it.
#include <QEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <string>
#include <vector>

#include "ui/MemDC.h"

namespace vt {

class CDragListBoxEx;

// The small popup that shows a list item's whole text. It never takes input:
// moves, clicks and drags over it reach the list below, which moves the tip
// with the pointer and hides it when the pointer leaves the item or the list,
// or a button is pressed.
class CExtTitleTip : public QWidget {
    Q_OBJECT
  public:
    CExtTitleTip();
    ~CExtTitleTip() override;

    bool CreateTip(CDragListBoxEx* owner);
    // itemRect and position are in the owner's viewport coordinates. Shown
    // again for the item it already shows, the tip only moves to `position`.
    void ShowTip(const QRect& itemRect, const QString& text, const QPoint& position);
    void HideTip();
    const QRect& HotRect() const { return hot_; }
    const QString& Text() const { return text_; }
    // The text's rectangle: (0, 0, width + 1, height + 3) of its extent in the
    // owner's font; empty for an empty text.
    QRect CalcTipRect(const QString& text) const;
    // Where a tip window whose top-left corner would be at `global` is put:
    // moved right and down onto the screen holding that point.
    static QPoint KeepOnScreen(const QPoint& global);

  protected:
    void paintEvent(QPaintEvent*) override;
    void DrawTipText(QPainter& dc, const QString& text, const QRect& rect);

  private:
    QPointer<CDragListBoxEx> owner_;
    QRect hot_;
    QString text_;
};

class CDragListBoxEx : public QListWidget {
    Q_OBJECT
  public:
    explicit CDragListBoxEx(QWidget* parent = nullptr);
    ~CDragListBoxEx() override;

    // Inserts at `index` (-1 appends); returns the new item's index.
    virtual int InsertItem(int index, const QString& text);
    // Removes the selected item; the remaining count, or -1 when nothing is selected.
    virtual int RemoveSelected();
    // Removes item `index` and selects the item now at that place (the new
    // last item when the last was removed, nothing when the list is empty);
    // returns the remaining count, or -1 for an index that does not exist.
    virtual int RemoveItem(int index);
    virtual void ResetItems();
    // Appends; returns the new item's index.
    virtual int AddItem(const QString& text);
    virtual void AddPath(const std::string& path) { AddItem(QString::fromStdString(path)); }
    // Makes the horizontal scroll range reach the end of the widest text + 5.
    virtual void UpdateExtent();

    int HorizontalExtent() const { return extent_; }
    QStringList Items() const;
    std::vector<std::string> ItemPaths() const;
    CExtTitleTip& TitleTip() { return tip_; }

    // Drag reordering. The insertion position for a point of the viewport:
    // before the item under it, the item count below the last item, -1
    // outside the list.
    int InsertionIndexAt(const QPoint& viewportPos) const;
    // Moves item `source` to insertion position `dest` as a drop does: no
    // change when dest is source or source + 1 or not a position of the list;
    // otherwise the item (text and data) is re-inserted at dest - 1 when it
    // came from above, at dest otherwise, and becomes the selection. Returns
    // whether anything moved.
    bool MoveByDrop(int source, int dest);
    bool IsDragging() const { return dragSource_ >= 0 && dragging_; }
    int DragInsertion() const { return dragInsert_; }

    // Row colours.
    static constexpr COLORREF kEvenRowColor = 0xF5EADC;
    static constexpr COLORREF kOddRowColor = 0xFFFFFF;
    static constexpr COLORREF kSelectedRowColor = 0x00FF00;

  protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;

  private:
    friend class CDragListDelegate;
    void EndDrag();
    bool TextCutOff(const QRect& itemRect, const QString& text) const;

    CExtTitleTip tip_;
    int extent_ = 6;
    int dragSource_ = -1;
    bool dragging_ = false;
    int dragInsert_ = -1;
    QPoint pressPos_;
};

}  // namespace vt
