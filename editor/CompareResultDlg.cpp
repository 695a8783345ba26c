#include "editor/CompareResultDlg.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace vm {

CCompareResultDlg::CCompareResultDlg(const std::vector<CompareRow>& rows, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Compare Result"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("This list is for compare result between inverter and selected file"), this));
    list_ = new QTreeWidget(this);
    list_->setRootIsDecorated(false);
    list_->setAlternatingRowColors(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Grid lines, as the report list shows them. Styling the items takes their selection colours
    // away, so the selected row names its own, or its text would be white on white.
    list_->setStyleSheet(
        QStringLiteral("QTreeView::item { border-right: 1px solid #d4d4d4; "
                       "border-bottom: 1px solid #d4d4d4; }"
                       "QTreeView::item:selected { background: palette(highlight); "
                       "color: palette(highlighted-text); }"));
    list_->setHeaderLabels({"Group Name", "Address", "Parameter Name", "Inverter", "File", "Unit"});
    const int widths[] = {80, 50, 130, 80, 120, 50};
    for (int i = 0; i < 6; ++i)
        list_->setColumnWidth(i, widths[i] * 3 / 2);  // the widths were dialog units
    for (const CompareRow& r : rows) {
        auto* item = new QTreeWidgetItem(list_);
        item->setText(0, QString::fromStdString(r.group));
        item->setText(1, QString::number(r.code));
        item->setText(2, QString::fromStdString(r.name));
        item->setText(3, r.failed ? QString::fromLatin1(kReadFailed) : QString::fromStdString(r.driveText));
        item->setText(4, QString::fromStdString(r.fileText));
        item->setText(5, QString::fromStdString(r.unit));
        if (r.failed)
            item->setForeground(3, QBrush(Qt::red));
    }
    // Names are read whole: the group and parameter name columns widen to their longest text.
    for (int column : {0, 2}) {
        const int given = list_->columnWidth(column);
        list_->resizeColumnToContents(column);
        list_->setColumnWidth(column, std::max(given, list_->columnWidth(column)));
    }
    if (list_->topLevelItemCount() > 0)
        list_->setCurrentItem(list_->topLevelItem(0));
    list_->setMinimumSize(800, 300);
    layout->addWidget(list_);
    auto* close = new QPushButton(QStringLiteral("&Close"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(close, 0, Qt::AlignRight);
}

}  // namespace vm
