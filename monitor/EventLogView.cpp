#include "monitor/EventLogView.h"

#include <QAction>
#include <QListWidget>
#include <QToolBar>
#include <QVBoxLayout>

namespace vm {

CEventLogView::CEventLogView(const EventLog& log, QAction* start, QAction* stop, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("EventLogView"));
    setMinimumSize(200, 120);
    toolBar_ = new QToolBar(this);
    toolBar_->setIconSize(QSize(16, 16));
    toolBar_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    toolBar_->addAction(start);
    toolBar_->addAction(stop);

    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("EventLogList"));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setUniformItemSizes(true);  // cheap appends and scrolling with 200 lines
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list_->setSortingEnabled(false);
    list_->addItems(log.Lines());
    if (list_->count() > 0)
        list_->setCurrentRow(list_->count() - 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolBar_);
    layout->addWidget(list_);
}

void CEventLogView::AppendLine(const QString& line)
{
    list_->addItem(line);
    while (list_->count() > EventLog::kMaxListLines)
        delete list_->takeItem(0);
    list_->setCurrentRow(list_->count() - 1);
    list_->scrollToBottom();
}

}  // namespace vm
