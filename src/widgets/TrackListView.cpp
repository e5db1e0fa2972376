#include "widgets/TrackListView.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>
#include <algorithm>
#include <cmath>

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

// Letters that reach furthest above and below the line in the fonts of Latin scripts.
const QString kTallLetters = QStringLiteral("\u00c5\u00c9\u00c7Jgjpqy_|");

// The height of a row for letters of this font: a clear pixel above and below them, and the
// grid line at the bottom. The style centres a line of the font's metrics in the row, but the
// glyphs are drawn at the screen's own resolution and reach past those metrics (accents above,
// descenders and the underscore below, by more at 2x where hinting makes them taller), so the
// row is grown until the drawn letters fit.
int RowHeight(const QFont& font, qreal ratio) {
    QFont device = font;
    if (font.pixelSize() > 0)
        device.setPixelSize(static_cast<int>(std::lround(font.pixelSize() * ratio)));
    else
        device.setPointSizeF(font.pointSizeF() * ratio);
    const QFontMetricsF line(font);
    const QFontMetricsF drawn(device);
    const QRectF ink = drawn.tightBoundingRect(kTallLetters);
    const qreal above = std::max(drawn.ascent(), -ink.top()) / ratio;
    const qreal below = std::max(drawn.descent(), ink.bottom()) / ratio;
    const int lineHeight = static_cast<int>(std::lround(line.height()));
    int height = lineHeight;
    for (;; ++height) {
        const qreal baseline = (height - lineHeight) / 2 + line.ascent();
        if (baseline - above >= 1 && baseline + below <= height - 2) return height;
    }
}

// Draws each cell as usual, then its right and bottom grid lines; rows are tall enough for
// every letter at every scale.
class GridDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        const qreal ratio = option.widget ? option.widget->devicePixelRatioF() : 1.0;
        size.setHeight(std::max(size.height(), RowHeight(option.font, ratio)));
        return size;
    }

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

}  // namespace quillet
