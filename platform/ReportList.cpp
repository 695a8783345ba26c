#include "platform/ReportList.h"

#include <QHeaderView>
#include <QSettings>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableView>

#include <algorithm>

namespace vm {

void SetReportStyle(QTableView& view)
{
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setSelectionMode(QAbstractItemView::SingleSelection);
    view.setEditTriggers(QAbstractItemView::NoEditTriggers);
    view.setShowGrid(true);
    view.setAlternatingRowColors(true);
    view.setWordWrap(false);
    view.setIconSize(QSize(16, 16));
    view.setFrameShape(QFrame::NoFrame);
    view.verticalHeader()->hide();
    view.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view.verticalHeader()->setDefaultSectionSize(view.fontMetrics().height() + 8);
    view.horizontalHeader()->setHighlightSections(false);
    view.horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    view.horizontalHeader()->setStretchLastSection(true);

    // The selection stays visible while another window has the focus.
    QPalette pal = view.palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    view.setPalette(pal);
}

int StoredColumnWidth(QSettings& settings, const QString& key, int defaultWidth, int minWidth)
{
    const int w = settings.value(key, defaultWidth).toInt();
    return std::max(w > 0 ? w : defaultWidth, minWidth);
}

int IconAndDigitsWidth(const QTableView& view, int digits)
{
    // Measured the way the item delegate sizes a cell, so the style's margins are included.
    QStyleOptionViewItem option;
    option.initFrom(&view);
    option.font = view.font();
    option.fontMetrics = view.fontMetrics();
    option.features = QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
    option.text = QString(digits, QLatin1Char('0'));
    option.decorationSize = view.iconSize();
    option.decorationPosition = QStyleOptionViewItem::Left;
    option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    const QSize size = view.style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), &view);
    return size.width() + (view.showGrid() ? 1 : 0);
}

}  // namespace vm
