#include "widgets/TrackListView.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QUrl>
#include <algorithm>
#include <cmath>

#include "common/FileNames.h"
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

// A row dragged inside the list carries "process view row", so that no other program's drop
// and no other list can pass for one.
const QString kRowMime = QStringLiteral("application/x-quillet-row");

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
    // Drags and drops are handled here, not by the model: it knows no drag data.
    setDragDropMode(QAbstractItemView::NoDragDrop);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
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
    const QModelIndex at = indexAt(event->position().toPoint());
    pressedRow_ = leftPressed_ && at.isValid() ? at.row() : -1;
    pressedAt_ = event->position().toPoint();
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

// Drag and drop

void TrackListView::SetDropChecks(std::function<bool()> filesAllowed,
                                  std::function<bool()> rowsAllowed) {
    filesAllowed_ = std::move(filesAllowed);
    rowsAllowed_ = std::move(rowsAllowed);
}

QMimeData* TrackListView::RowMimeData(int row) const {
    auto* data = new QMimeData;
    data->setData(kRowMime, QByteArray::number(QCoreApplication::applicationPid()) + ' ' +
                                QByteArray::number(reinterpret_cast<quintptr>(this)) + ' ' +
                                QByteArray::number(row));
    return data;
}

TrackListView::Carried TrackListView::WhatIsCarried(const QMimeData* data, int* row) const {
    if (!data) return Carried::Nothing;
    if (data->hasFormat(kRowMime)) {
        const QList<QByteArray> parts = data->data(kRowMime).split(' ');
        bool ok = parts.size() == 3;
        const bool ours = ok && parts[0].toLongLong(&ok) == QCoreApplication::applicationPid() &&
                          ok && parts[1].toULongLong(&ok) == reinterpret_cast<quintptr>(this) && ok;
        const int dragged = ours ? parts[2].toInt(&ok) : -1;
        if (!ours || !ok || dragged < 0 || dragged >= model()->rowCount()) return Carried::Nothing;
        if (row) *row = dragged;
        return rowsAllowed_ && !rowsAllowed_() ? Carried::Nothing : Carried::Row;
    }
    bool local = false;
    for (const QUrl& url : data->urls()) local = local || url.isLocalFile();
    if (!local) return Carried::Nothing;
    return filesAllowed_ && !filesAllowed_() ? Carried::Nothing : Carried::Files;
}

int TrackListView::DropPlace(const QPoint& at) const {
    const QModelIndex index = indexAt(at);
    if (!index.isValid()) return model()->rowCount();
    const QRect rect = visualRect(index);
    return at.y() < rect.center().y() ? index.row() : index.row() + 1;
}

void TrackListView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton) || pressedRow_ < 0) {
        QTreeView::mouseMoveEvent(event);
        return;
    }
    // A press on a row begins a drag of that row, not a sweep of the selection.
    if ((event->position().toPoint() - pressedAt_).manhattanLength() <
        QApplication::startDragDistance())
        return;
    const int row = pressedRow_;
    pressedRow_ = -1;
    if (rowsAllowed_ && !rowsAllowed_()) return;
    StartRowDrag(row);
}

void TrackListView::StartRowDrag(int row) {
    // The drag takes the button's release: no click follows it.
    leftPressed_ = false;
    auto* drag = new QDrag(this);
    drag->setMimeData(RowMimeData(row));
    drag->exec(Qt::MoveAction);
}

void TrackListView::dragEnterEvent(QDragEnterEvent* event) {
    switch (WhatIsCarried(event->mimeData())) {
        case Carried::Files:
            event->setDropAction(Qt::CopyAction);
            event->accept();
            return;
        case Carried::Row:
            event->setDropAction(Qt::MoveAction);
            event->accept();
            return;
        case Carried::Nothing:
            event->ignore();
            return;
    }
}

void TrackListView::dragMoveEvent(QDragMoveEvent* event) {
    const QPoint at = event->position().toPoint();
    switch (WhatIsCarried(event->mimeData())) {
        case Carried::Files:
            SetDropLine(-1);
            event->setDropAction(Qt::CopyAction);
            event->accept();
            return;
        case Carried::Row:
            SetDropLine(DropPlace(at));
            if (at.y() < autoScrollMargin() || at.y() > viewport()->height() - autoScrollMargin())
                startAutoScroll();
            event->setDropAction(Qt::MoveAction);
            event->accept();
            return;
        case Carried::Nothing:
            SetDropLine(-1);
            event->ignore();
            return;
    }
}

void TrackListView::dragLeaveEvent(QDragLeaveEvent* event) {
    stopAutoScroll();
    SetDropLine(-1);
    event->accept();
}

void TrackListView::dropEvent(QDropEvent* event) {
    stopAutoScroll();
    SetDropLine(-1);
    int row = -1;
    switch (WhatIsCarried(event->mimeData(), &row)) {
        case Carried::Files: {
            QStringList paths;
            for (const QUrl& url : event->mimeData()->urls()) {
                if (url.isLocalFile()) paths << LocalFilePath(url);
            }
            event->setDropAction(Qt::CopyAction);
            event->accept();
            emit FilesDropped(paths);
            return;
        }
        case Carried::Row:
            event->setDropAction(Qt::MoveAction);
            event->accept();
            emit RowDropped(row, DropPlace(event->position().toPoint()));
            return;
        case Carried::Nothing:
            event->ignore();
            return;
    }
}

void TrackListView::SetDropLine(int before) {
    if (before == dropLine_) return;
    dropLine_ = before;
    viewport()->update();
}

void TrackListView::paintEvent(QPaintEvent* event) {
    QTreeView::paintEvent(event);
    if (dropLine_ < 0) return;
    // The line between the rows where the dragged one would go.
    const int rows = model()->rowCount();
    int y = 0;
    if (rows > 0) {
        const QRect last = visualRect(model()->index(std::min(dropLine_, rows - 1), 0));
        y = dropLine_ < rows ? last.top() : last.bottom() + 1;
    }
    QPainter painter(viewport());
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawLine(0, y, viewport()->width(), y);
}

}  // namespace quillet
