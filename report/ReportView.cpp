#include "report/ReportView.h"

#include "report/ReportModel.h"

#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>

namespace vm {

namespace {

class BoxDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        if (index.data(ReportModel::kBoxedRole).toBool()) {
            painter->save();
            painter->setPen(QPen(Qt::black, 0));
            painter->drawRect(QRectF(option.rect).adjusted(0, 0, -0.5, -0.5));
            painter->restore();
        }
    }
};

}  // namespace

CReportView::CReportView(ReportModel& model, QWidget* parent) : QTableView(parent), model_(model)
{
    setModel(&model_);
    setItemDelegate(new BoxDelegate(this));
    setShowGrid(false);
    setWordWrap(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    connect(&model_, &QAbstractItemModel::modelReset, this, &CReportView::Relayout);
    Relayout();
}

void CReportView::Relayout()
{
    clearSpans();
    const ReportSheet& sheet = model_.Sheet();
    const double px = logicalDpiX() / 1440.0;
    for (int c = 1; c <= ReportSheet::kColumns; ++c)
        setColumnWidth(c - 1, static_cast<int>(ReportSheet::ColumnWidth(c) * px + 0.5));
    verticalHeader()->setDefaultSectionSize(
        static_cast<int>(ReportSheet::kRowHeight * logicalDpiY() / 1440.0 + 0.5));
    for (const ReportSpan& s : sheet.Spans())
        setSpan(s.row - 1, s.column - 1, s.rows, s.columns);
    scrollToTop();
    horizontalScrollBar()->setValue(0);
}

}  // namespace vm
