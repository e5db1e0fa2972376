#include "widgets/TrackListView.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>

#include "tracks/TrackList.h"

namespace quillet {

namespace {

struct Column {
    const char* caption;  // as the list's header gives it, for the font fit
    int width;
    // The widest texts the rows show in this column.
    std::initializer_list<const char*> samples;
};

const Column kColumns[] = {
    {"File Name", 125, {}},
    {"Start Time - End Time", 120, {"  00:00:00 - 00:00:00"}},
    {"Length", 62, {"00:00:00"}},
    {"Status", 75, {"unconverted", "Converting"}},
};

constexpr qreal kSmallestPointSize = 6.5;

// Draws each cell as usual, then its right and bottom grid lines.
class GridDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(option.palette.color(QPalette::Mid));
        const QRect r = option.rect;
        painter->drawLine(r.topRight(), r.bottomRight());
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        painter->restore();
    }
};

}  // namespace

TrackListView::TrackListView(TrackList& tracks, QWidget* parent) : QTreeView(parent) {
    setModel(&tracks);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragDropMode(QAbstractItemView::NoDragDrop);
    setItemDelegate(new GridDelegate(this));

    QHeaderView* head = header();
    head->setSectionsClickable(false);
    head->setSectionsMovable(false);
    head->setStretchLastSection(false);
    head->setSectionResizeMode(QHeaderView::Fixed);
    for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
        setColumnWidth(i, kColumns[i].width);
    }
    FitFont();
}

int TrackListView::SelectedRow() const {
    int first = -1;
    for (const QModelIndex& index : selectionModel()->selectedRows()) {
        if (first < 0 || index.row() < first) first = index.row();
    }
    return first;
}

void TrackListView::SelectRow(int row) {
    const QModelIndex index = model()->index(row, 0);
    if (!index.isValid()) return;
    selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TrackListView::changeEvent(QEvent* event) {
    QTreeView::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) FitFont();
}

void TrackListView::FitFont() {
    if (fitting_) return;
    fitting_ = true;
    QFont fitted = parentWidget() ? parentWidget()->font() : font();
    while (!Fits(fitted) && fitted.pointSizeF() > kSmallestPointSize)
        fitted.setPointSizeF(fitted.pointSizeF() - 0.5);
    setFont(fitted);
    fitting_ = false;
}

bool TrackListView::Fits(const QFont& font) const {
    const QFontMetrics metrics(font);
    const int headerMargins = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header());
    const int cellMargins =
        2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1);
    for (const Column& column : kColumns) {
        if (metrics.horizontalAdvance(QString::fromLatin1(column.caption)) + headerMargins >
            column.width)
            return false;
        for (const char* sample : column.samples) {
            if (metrics.horizontalAdvance(QString::fromLatin1(sample)) + cellMargins > column.width)
                return false;
        }
    }
    return true;
}

void TrackListView::mousePressEvent(QMouseEvent* event) {
    QTreeView::mousePressEvent(event);
    leftPressed_ = event->button() == Qt::LeftButton;
    emit Pressed();
}

void TrackListView::mouseReleaseEvent(QMouseEvent* event) {
    QTreeView::mouseReleaseEvent(event);
    const bool click = leftPressed_ && event->button() == Qt::LeftButton;
    leftPressed_ = false;
    if (click) emit Clicked();
}

void TrackListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) emit DoubleClicked();
}

// A row the keys select becomes the current row as a click makes it: otherwise the editor
// would stay on the row that was clicked last.
void TrackListView::keyPressEvent(QKeyEvent* event) {
    const int before = SelectedRow();
    QTreeView::keyPressEvent(event);
    const int after = SelectedRow();
    if (after >= 0 && after != before) emit KeySelected();
}

}  // namespace quillet
