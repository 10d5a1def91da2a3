#include "app/windows/columnsharing.h"

#include <QEvent>
#include <QHeaderView>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTextLayout>
#include <QTimer>
#include <QtMath>
#include <QTreeView>

#include <algorithm>

namespace quillory {

namespace {

// Each column's wish, all within `room`: a column that wants less than an equal share keeps
// its width; the others share what is left in proportion to what they want, so that their texts
// wrap onto about as many lines each.
QList<int> sharedWidths(const QList<int> &wanted, int room)
{
    QList<int> widths = wanted;
    QList<qsizetype> sharing;
    for (qsizetype column = 0; column < wanted.size(); ++column)
        sharing.append(column);
    int left = room;
    for (;;) {
        if (sharing.isEmpty())
            return widths;
        const int share = left / int(sharing.size());
        const auto narrow = std::stable_partition(sharing.begin(), sharing.end(),
                                                  [&](qsizetype c) { return wanted[c] > share; });
        if (narrow == sharing.end())
            break;
        for (auto it = narrow; it != sharing.end(); ++it)
            left -= wanted[*it];
        sharing.erase(narrow, sharing.end());
    }
    qint64 wantedTogether = 0;
    for (const qsizetype column : sharing)
        wantedTogether += wanted[column];
    for (const qsizetype column : sharing)
        widths[column] = int(qint64(left) * wanted[column] / wantedTogether);
    return widths;
}

// The height of `text` as an item view paints it wrapped within `width`: at word boundaries, and
// anywhere in a word too long for a line, as in a path.
qreal wrappedHeight(const QString &text, const QFont &font, qreal width)
{
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    qreal height = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        height += line.height();
    }
    layout.endLayout();
    return height;
}

// A tree view measures its rows with the width of no column, and the style measures a wrapped
// text at word boundaries only while it paints it broken anywhere too: either way a row would be
// too low for its texts. The delegate measures each text wrapped at its column's width as it is
// painted, unless the columns are being measured for the width their texts want.
class WrappingDelegate : public QStyledItemDelegate {
public:
    explicit WrappingDelegate(QTreeView &view) : QStyledItemDelegate(&view), m_view(view) {}

    bool measuring = false;

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const QSize oneLine = QStyledItemDelegate::sizeHint(option, index);
        if (measuring)
            return oneLine;
        QStyleOptionViewItem item(option);
        initStyleOption(&item, index);
        const QStyle *style = m_view.style();
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, &item, &m_view) + 1;
        int width = m_view.header()->sectionSize(index.column()) - 2 * margin;
        if (item.features & QStyleOptionViewItem::HasDecoration)
            width -= item.decorationSize.width() + 2 * margin;
        const int height = qCeil(wrappedHeight(item.text, item.font, std::max(width, 1)));
        return QSize(oneLine.width(), std::max(oneLine.height(), height));
    }

private:
    QTreeView &m_view;
};

class ColumnSharing : public QObject {
public:
    explicit ColumnSharing(QTreeView &view)
        : QObject(&view), m_view(view), m_delegate(new WrappingDelegate(view))
    {
        view.setItemDelegate(m_delegate);
        m_fit.setSingleShot(true);
        m_fit.setInterval(0);
        connect(&m_fit, &QTimer::timeout, this, &ColumnSharing::fit);
        view.setWordWrap(true);
        view.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        view.header()->setStretchLastSection(true);
        view.viewport()->installEventFilter(this);
        QAbstractItemModel *model = view.model();
        const auto later = [this] { m_fit.start(); };
        connect(model, &QAbstractItemModel::rowsInserted, this, later);
        connect(model, &QAbstractItemModel::rowsRemoved, this, later);
        connect(model, &QAbstractItemModel::modelReset, this, later);
        connect(model, &QAbstractItemModel::dataChanged, this, later);
        connect(model, &QAbstractItemModel::layoutChanged, this, later);
        fit();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Resize)
            m_fit.start();
        return QObject::eventFilter(watched, event);
    }

private:
    void fit()
    {
        QHeaderView *header = m_view.header();
        // The tree view hides what its base offers to anyone.
        const QAbstractItemView &view = m_view;
        QList<int> wanted;
        m_delegate->measuring = true;
        for (int column = 0; column < header->count(); ++column)
            wanted.append(
                header->isSectionHidden(column)
                    ? 0
                    : std::max(view.sizeHintForColumn(column), header->sectionSizeHint(column)));
        m_delegate->measuring = false;
        const QList<int> widths = sharedWidths(wanted, m_view.viewport()->width());
        for (int column = 0; column < header->count(); ++column)
            if (!header->isSectionHidden(column))
                header->resizeSection(column, widths[column]);
        // Rows take the height of their texts as now wrapped.
        m_view.doItemsLayout();
    }

    QTreeView &m_view;
    WrappingDelegate *m_delegate;
    QTimer m_fit;
};

} // namespace

void shareColumnWidths(QTreeView &view)
{
    new ColumnSharing(view);
}

} // namespace quillory
